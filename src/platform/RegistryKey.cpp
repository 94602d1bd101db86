#include "platform/RegistryKey.h"

#include "core/Errors.h"

#include <QtEndian>

namespace orvane {

namespace {

QString decodeUtf16Le(const QByteArray& data) {
    const qsizetype units = data.size() / 2;
    QString text;
    text.reserve(units);
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = qFromLittleEndian<char16_t>(data.constData() + 2 * i);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

QByteArray encodeUtf16LeWithNull(const QString& text) {
    QByteArray data(2 * (text.size() + 1), '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        qToLittleEndian<char16_t>(text[i].unicode(), data.data() + 2 * i);
    return data;
}

} // namespace

RegistryKey::RegistryKey(Registry& registry, const QString& path, bool canCreate)
    : m_registry(registry), m_path(path), m_open(registry.openKey(path, canCreate)) {}

QString RegistryKey::ReadString(const QString& name) const {
    if (!m_open)
        return QString();
    const std::optional<RegistryValue> value = m_registry.queryValue(m_path, name);
    if (!value)
        return QString();
    if (value->type != RegSz && value->type != RegExpandSz)
        throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    return decodeUtf16Le(value->data);
}

void RegistryKey::WriteString(const QString& name, const QString& value) {
    if (!m_open || !m_registry.setValue(m_path, name, {RegSz, encodeUtf16LeWithNull(value)}))
        throw ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(name));
}

} // namespace orvane
