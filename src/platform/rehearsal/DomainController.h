#pragma once

// Whether a server is an Active Directory domain controller, as it answers
// itself over CLDAP, and what a copy of it is called.

#include <QString>
#include <optional>

namespace orvane::rehearsal {

struct DomainController {
    QString realm;   // ORVANE.TEST
    QString dnsName; // the DC's own DNS name, dc1.orvane.test
};

// What a DC answers to "net ads info" (its realm and its own name, when the
// LDAP server that answered has the server's address); nothing else.
std::optional<DomainController> parseAdsInfo(const QString& text,
                                             const QStringList& serverAddresses);

// Asks the server; nullopt when it is no domain controller or does not
// answer as one.
std::optional<DomainController> askDomainController(const QString& server);

// The copy's NetBIOS name and its DNS name in the realm.
QString copyServerName();
QString copyHostName(const DomainController& dc);

} // namespace orvane::rehearsal
