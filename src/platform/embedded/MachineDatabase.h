#pragma once

#include "platform/embedded/Sqlite.h"

#include <QString>
#include <memory>
#include <mutex>

namespace orvane::embedded {

// The file name of the machine's database inside the machine folder.
inline constexpr char kDatabaseFile[] = "machine.db";

// The one connection of this process to a machine folder's database, shared
// by everything in the process that uses the folder (the service and the
// registry). Any open() and close() of the file outside SQLite while it is
// connected would drop the POSIX locks SQLite holds: another process would
// then take this one for gone and delete the live write-ahead log.
//
// The connection is not thread-safe on its own: hold mutex() while using it,
// its statements included (finalising them too).
class MachineDatabase {
public:
    // The folder's connection, opened when the process has none: creates the
    // folder (0700), the file (0600), the schema and the seed of a freshly
    // installed server on first use. Throws sqlite::Error when the folder or
    // the file cannot be had.
    static std::shared_ptr<MachineDatabase> open(const QString& folder);

    MachineDatabase(const MachineDatabase&) = delete;
    MachineDatabase& operator=(const MachineDatabase&) = delete;
    ~MachineDatabase();

    sqlite::Database& db() { return *m_db; }
    std::mutex& mutex() { return m_mutex; }
    const QString& path() const { return m_path; }

private:
    MachineDatabase(QString path, std::unique_ptr<sqlite::Database> db);

    std::mutex m_mutex;
    QString m_path;
    std::unique_ptr<sqlite::Database> m_db;
};

// The case-insensitive key under which names are unique, as on Windows.
QString nameKey(const QString& name);

} // namespace orvane::embedded
