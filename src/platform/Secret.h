#pragma once

// A password's clear text, held as briefly as it is needed and wiped before
// its memory is given back.

#include <QByteArray>
#include <QStringView>
#include <cstring>

namespace orvane {

class Secret {
public:
    explicit Secret(QStringView text) : m_bytes(text.toUtf8()) {}
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(m_bytes); }

    const char* get() const { return m_bytes.constData(); }
    const QByteArray& bytes() const { return m_bytes; }

    // Wipes bytes this object does not hold, such as a copy made for a tool.
    static void wipe(QByteArray& bytes) { explicit_bzero(bytes.data(), size_t(bytes.size())); }

private:
    QByteArray m_bytes;
};

} // namespace orvane
