#pragma once

// The machine's account policy, login.defs, read as the shadow suite reads it:
// "NAME value" lines, '#' comments, a value optionally in double quotes, and
// numbers in C notation (0700 octal, 0x1F hexadecimal).

#include <QByteArray>
#include <QByteArrayView>
#include <map>
#include <optional>
#include <string>

namespace orvane::host {

struct IdRange {
    long first = 0;
    long last = 0;
    bool contains(long id) const { return id >= first && id <= last; }
};

// The libcrypt setting a new password is hashed under: the method's prefix
// and its cost (rounds, or yescrypt's cost factor; 0 for the method's default).
struct HashMethod {
    QByteArray prefix;
    unsigned long cost = 0;
};

class LoginDefs {
public:
    static LoginDefs parse(QByteArrayView text);
    // The NAME=value form of /etc/default/useradd.
    static LoginDefs parseAssignments(QByteArrayView text);

    std::optional<QByteArray> value(const std::string& name) const;
    // The number, or the fallback when it is missing or not a whole number.
    long number(const std::string& name, long fallback) const;
    // "yes" in any letter case is on; any other value is off.
    bool flag(const std::string& name, bool fallback) const;

    // UID_MIN..UID_MAX and GID_MIN..GID_MAX, with the shadow suite's defaults.
    IdRange uids() const;
    IdRange gids() const;
    // ENCRYPT_METHOD and its cost; without it MD5_CRYPT_ENAB picks MD5 or DES,
    // as the suite does.
    HashMethod hashMethod() const;

private:
    std::map<std::string, QByteArray> m_values;
};

} // namespace orvane::host
