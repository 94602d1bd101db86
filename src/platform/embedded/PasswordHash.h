#pragma once

// Passwords are kept only as salted libcrypt hashes.

#include <QByteArray>
#include <QStringView>

namespace orvane::embedded {

// A fresh salt and the hash of the password under it; empty for an empty
// password. Throws std::runtime_error when libcrypt cannot hash.
QByteArray hashPassword(QStringView password);

// Whether the password hashes to the stored hash (an empty hash matches only
// the empty password).
bool passwordMatches(QStringView password, const QByteArray& hash);

} // namespace orvane::embedded
