// uses-programs: net
#include "platform/rehearsal/DomainController.h"

#include "platform/Process.h"

#include <QStringList>
#include <netdb.h>
#include <sys/socket.h>

namespace orvane::rehearsal {

namespace {

// Every address the name stands for, as this machine resolves it.
QStringList addressesOf(const QString& name) {
    QStringList found;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name.toUtf8().constData(), nullptr, &hints, &list) != 0)
        return found;
    for (const addrinfo* entry = list; entry; entry = entry->ai_next) {
        char text[NI_MAXHOST];
        if (::getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0,
                          NI_NUMERICHOST) == 0)
            found << QString::fromLatin1(text);
    }
    ::freeaddrinfo(list);
    return found;
}

} // namespace

std::optional<DomainController> parseAdsInfo(const QString& text,
                                             const QStringList& serverAddresses) {
    QString address, dnsName, realm;
    for (const QString& line : text.split(u'\n')) {
        const QString value = line.section(u':', 1).trimmed();
        if (line.startsWith(u"LDAP server:"))
            address = value;
        else if (line.startsWith(u"LDAP server name:"))
            dnsName = value;
        else if (line.startsWith(u"Realm:"))
            realm = value;
    }
    // A member server's client may find its domain's DC instead: only the
    // server itself answering counts.
    if (address.isEmpty() || dnsName.isEmpty() || realm.isEmpty() ||
        !serverAddresses.contains(address))
        return std::nullopt;
    return DomainController{realm.toUpper(), dnsName.toLower()};
}

std::optional<DomainController> askDomainController(const QString& server) {
    const ProcessResult answer =
        runProcess(QStringLiteral("/usr/bin/net"),
                   {QStringLiteral("ads"), QStringLiteral("info"), QStringLiteral("-S"), server},
                   {}, std::chrono::seconds(30));
    if (!answer.succeeded())
        return std::nullopt;
    return parseAdsInfo(QString::fromUtf8(answer.output), addressesOf(server));
}

QString copyServerName() {
    return QStringLiteral("REHEARSAL");
}

QString copyHostName(const DomainController& dc) {
    return copyServerName().toLower() + u'.' + dc.realm.toLower();
}

} // namespace orvane::rehearsal
