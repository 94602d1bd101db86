#pragma once

// The calls as the program makes them, wrapped for tests: QString in, plain
// values out, every returned buffer released.

#include "platform/netapi/NetApi.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <ostream>
#include <vector>

// Failure messages show texts as text.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << '"' << text.toStdString() << '"';
}

namespace orvane::test {

// A complex password that contains none of the tests' account names.
inline const QString kGoodPassword = QStringLiteral("Kq7!zt4817");

struct User {
    QString name, comment, homeDir;
    DWORD priv, flags, passwordAge;
};

struct Share {
    QString name, path;
};

// Every account, listed like the program does: level 1, filter 0, a resume
// handle, called again while the result is 234. `results` has one result per call.
struct Listing {
    std::vector<User> users;
    std::vector<NET_API_STATUS> results;
    std::vector<DWORD> resumeHandles;
};
// `betweenBatches` runs after each batch that returned 234.
Listing listUsers(NetApi& api, const QString& server, DWORD prefmaxlen = 0,
                  const std::function<void()>& betweenBatches = {});

// A null QString passes a null pointer.
NET_API_STATUS addUser(NetApi& api, const QString& name, const QString& password = kGoodPassword,
                       const QString& comment = {}, const QString& homeDir = {},
                       DWORD flags = UF_DONT_EXPIRE_PASSWD, const QString& server = {},
                       DWORD priv = USER_PRIV_USER);
// NetUserSetInfo level 1 as the program sets a home folder: everything else null.
NET_API_STATUS setHomeDir(NetApi& api, const QString& name, const QString& homeDir);
NET_API_STATUS userGroups(NetApi& api, const QString& name, QStringList& groups);
NET_API_STATUS localGroups(NetApi& api, const QString& server, QStringList& groups);
NET_API_STATUS addMembers(NetApi& api, const QString& server, const QString& group,
                          const QStringList& members);
NET_API_STATUS delMembers(NetApi& api, const QString& server, const QString& group,
                          const QStringList& members);
NET_API_STATUS addShare(NetApi& api, const QString& server, const QString& name,
                        const QString& path, LPDWORD parmErr = nullptr);
NET_API_STATUS shares(NetApi& api, const QString& server, std::vector<Share>& out);
NET_API_STATUS delShare(NetApi& api, const QString& server, const QString& name);

// The account by that name, copied: a listing is often a temporary that is
// gone by the next statement, and a pointer into it would be left dangling.
inline std::optional<User> findUser(const std::vector<User>& users, const QString& name) {
    for (const User& user : users)
        if (user.name == name)
            return user;
    return std::nullopt;
}

} // namespace orvane::test
