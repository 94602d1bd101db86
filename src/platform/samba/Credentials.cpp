#include "platform/samba/Credentials.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace orvane::samba {

namespace {

// Overwrites the value where the process was started with it too, which is
// what /proc shows, then removes the variable.
void erase(const char* variable, std::size_t from = 0) {
    if (char* value = std::getenv(variable))
        std::memset(value + from, 0, std::strlen(value) - from);
}

// A ticket cache that can be there: a file cache that exists, or a cache of
// another type (keyring, KCM), which only the Kerberos library can look into.
bool ticketCacheExists() {
    QString name = qEnvironmentVariable("KRB5CCNAME");
    if (name.isEmpty())
        name = QStringLiteral("FILE:/tmp/krb5cc_%1").arg(::getuid());
    if (name.startsWith(u"FILE:"))
        name.remove(0, 5);
    else if (name.contains(u':') && !name.startsWith(u'/'))
        return true;
    return QFileInfo(name).isFile();
}

} // namespace

std::optional<lib::Credentials> takeCredentialsFromEnvironment(std::string& why) {
    lib::Credentials credentials;
    std::string user = qgetenv("USER").toStdString();
    std::optional<std::string> password;
    if (const auto split = user.find('%'); split != std::string::npos) {
        password = user.substr(split + 1);
        user.erase(split);
        erase("USER", split);
    }
    if (qEnvironmentVariableIsSet("PASSWD")) {
        password = qgetenv("PASSWD").toStdString();
        erase("PASSWD");
        qunsetenv("PASSWD");
    }
    if (password) {
        if (user.empty()) {
            why = "a password is set but USER names no account";
            return std::nullopt;
        }
        credentials.user = user;
        credentials.password = std::move(*password);
        return credentials;
    }
    if (ticketCacheExists()) {
        credentials.user = user;
        credentials.useTicketCache = true;
        return credentials;
    }
    why = "no credentials: set USER and PASSWD, or get a Kerberos ticket with kinit";
    return std::nullopt;
}

} // namespace orvane::samba
