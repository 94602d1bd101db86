#pragma once

// Passwords are kept only as salted libcrypt hashes, and the clear text and
// libcrypt's scratch space are wiped before they are released.

#include <QByteArray>
#include <QStringView>

namespace orvane {

// A fresh salt for the method (libcrypt's prefix: "$y$", "$6$", ...; "" for
// traditional DES) at its cost (0: the method's default), and the hash of the
// password under it; empty for an empty password. Throws std::runtime_error
// when libcrypt cannot hash.
QByteArray hashPassword(QStringView password, const QByteArray& prefix, unsigned long cost);

// Whether the password hashes to the stored hash (an empty hash matches only
// the empty password).
bool passwordMatches(QStringView password, const QByteArray& hash);

} // namespace orvane
