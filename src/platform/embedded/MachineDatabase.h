#pragma once

#include "platform/embedded/Sqlite.h"

#include <QString>
#include <memory>

namespace orvane::embedded {

// The file name of the machine's database inside the machine folder.
inline constexpr char kDatabaseFile[] = "machine.db";

// Opens the machine's database in the folder, creating the folder (0700), the
// file (0600), the schema and the seed of a freshly installed server on first
// use. Throws sqlite::Error when the folder or the file cannot be had.
std::unique_ptr<sqlite::Database> openMachineDatabase(const QString& folder);

// The case-insensitive key under which names are unique, as on Windows.
QString nameKey(const QString& name);

} // namespace orvane::embedded
