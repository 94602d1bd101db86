#pragma once

#include <QByteArray>
#include <optional>
#include <sys/types.h>

namespace orvane {

// The user a process works for. Started as root through pkexec, that is the
// user who asked (pkexec names them in PKEXEC_UID), not root; otherwise it is
// the process's own real user. nullopt when PKEXEC_UID is set but names no
// uid: then nothing may be done on anyone's behalf.
std::optional<uid_t> askingUid();

// A user's account as a process started for them takes it on.
struct UserAccount {
    uid_t uid = 0;
    gid_t gid = 0;
    QByteArray name;
    QByteArray home;
    QByteArray shell;
};

// The account of uid from the passwd database; nullopt when there
// is no such user.
std::optional<UserAccount> lookUpUser(uid_t uid);

} // namespace orvane
