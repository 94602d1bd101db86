#pragma once

// The account files' entries, parsed as the C library parses them: one entry
// a line, fields split at ':', members at ','. A line that is not a whole
// entry (a field missing, an id that is no number, a NIS "+" or "-" line) is
// passed over, as getpwent passes it over.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <vector>

namespace orvane::host {

struct PasswdEntry {
    QByteArray name;
    long uid = 0;
    long gid = 0;
    QByteArray gecos;
    QByteArray home;
    QByteArray shell;
};

struct ShadowEntry {
    QByteArray name;
    QByteArray hash;
    // Days; -1 where the field is empty.
    long lastChange = -1;
    long maxDays = -1;
};

struct GroupEntry {
    QByteArray name;
    long gid = 0;
    std::vector<QByteArray> members;
};

std::vector<PasswdEntry> parsePasswd(QByteArrayView text);
// The first whole entry of this name, the one the C library finds; only that
// entry is parsed.
std::optional<PasswdEntry> findPasswd(QByteArrayView text, QByteArrayView name);
// Every whole entry of this name, in file order; only those are parsed.
std::vector<PasswdEntry> passwdEntriesNamed(QByteArrayView text, QByteArrayView name);
// The names of the whole entries, in file order: views into `text`.
std::vector<QByteArrayView> passwdNames(QByteArrayView text);
std::vector<ShadowEntry> parseShadow(QByteArrayView text);
std::vector<GroupEntry> parseGroup(QByteArrayView text);
// The first whole group entry of this name; only that entry is parsed.
std::optional<GroupEntry> findGroup(QByteArrayView text, QByteArrayView name);

// Whether a shadow hash locks the account: passwd -l and usermod -L put a '!'
// before it.
inline bool isLocked(const ShadowEntry& entry) {
    return entry.hash.startsWith('!');
}

// Whether the password never has to change: no maximum age, or one of 99999
// days and more, which the suite's tools show as never.
inline bool neverExpires(const ShadowEntry& entry) {
    return entry.maxDays < 0 || entry.maxDays >= 99999;
}

} // namespace orvane::host
