#pragma once

// Reading the account table's file: only a regular file, only up to a size, and
// never blocking on what is not a file.

#include "core/AccountTable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace orvane {

// The largest account table read: 256 MiB. Reading one takes a few times its
// size while it is decoded and split.
inline constexpr qint64 kAccountTableLimit = qint64(256) << 20;

// The whole of a regular file, when it holds no more than `limit` bytes; a
// file that grows while read is still cut off at the limit. Throws
// EFOpenError "Cannot open file "%s". %s" with the full path and the reason:
// the system's text for a file that cannot be opened; for a FIFO or a socket,
// that of an illegal seek; for a device, that of no such device; for a file
// over the limit, that of a file too large with the limit after it.
QByteArray readRegularFile(const QString& path, qint64 limit);

// The account lines of the table in the file (see parseAccountTable), read
// with kAccountTableLimit.
AccountTable readAccountTable(const QString& path, unsigned ansiCodePage);

} // namespace orvane
