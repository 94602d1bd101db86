#include "platform/samba/ServerNames.h"

#include "platform/netapi/WideText.h"

#include <QSysInfo>

namespace orvane::samba {

namespace {

QString bareName(QString name) {
    name = name.trimmed();
    while (name.startsWith(u'\\'))
        name.remove(0, 1);
    return name;
}

} // namespace

ServerNames::ServerNames(const QString& target, const QStringList& localNames)
    : m_localNames(localNames) {
    const QString bare = bareName(target);
    // Null reaches this machine: a target that names it is spelled null too.
    if (!bare.isEmpty() && !isLocal(bare))
        m_target = bare.toStdString();
}

QStringList ServerNames::thisMachine() {
    QStringList names{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"),
                      QStringLiteral("::1")};
    const QString host = QSysInfo::machineHostName();
    if (!host.isEmpty())
        names << host << host.section(u'.', 0, 0);
    return names;
}

lib::Server ServerNames::spell(LPCWSTR servername) const {
    return spell(fromWide(servername));
}

lib::Server ServerNames::spell(const QString& servername) const {
    const QString bare = bareName(servername);
    if (bare.isEmpty() ||
        (m_target && bare.compare(QString::fromStdString(*m_target), Qt::CaseInsensitive) == 0))
        return m_target;
    if (isLocal(bare))
        return std::nullopt;
    return bare.toStdString();
}

QString ServerNames::target() const {
    return m_target ? QString::fromStdString(*m_target) : QStringLiteral("localhost");
}

bool ServerNames::isLocal(const QString& name) const {
    return m_localNames.contains(name, Qt::CaseInsensitive);
}

} // namespace orvane::samba
