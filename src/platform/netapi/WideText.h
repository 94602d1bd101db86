#pragma once

// Between Qt's UTF-16 text and the service's null-terminated wide strings.

#include "platform/netapi/LmTypes.h"

#include <QString>

namespace orvane {

// Valid while the QString lives and is not changed.
inline LPCWSTR wideText(const QString& text) {
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

inline QString fromWide(LPCWSTR text) {
    return text ? QString::fromUtf16(reinterpret_cast<const char16_t*>(text)) : QString();
}

// A writable, null-terminated copy for the calls that take a non-const string.
class WideBuffer {
public:
    explicit WideBuffer(const QString& text) : m_text(text) { m_text.detach(); }
    LMSTR get() { return reinterpret_cast<LMSTR>(m_text.data()); }

private:
    QString m_text;
};

} // namespace orvane
