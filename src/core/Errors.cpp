#include "core/Errors.h"

#include "core/SystemErrors.h"

namespace orvane {

Exception::Exception(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toStdString()) {}

namespace {
QString inOutText(unsigned code) {
    if (code == ERROR_ACCESS_DENIED_CODE)
        return QStringLiteral("File access denied");
    return QStringLiteral("I/O error %1").arg(code);
}
} // namespace

EInOutError::EInOutError(unsigned code) : Exception(inOutText(code)), m_code(code) {}

} // namespace orvane
