#pragma once

// An embedded machine of its own for one test, in a temporary folder, with a
// second connection to its database for what no call shows.

#include "platform/embedded/EmbeddedNetApi.h"
#include "platform/embedded/Sqlite.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace orvane::test {

class EmbeddedTestMachine {
public:
    EmbeddedTestMachine()
        : m_folder(m_temp.filePath(QStringLiteral("machine"))),
          m_api(std::make_unique<embedded::EmbeddedNetApi>(m_folder)) {}

    embedded::EmbeddedNetApi& api() { return *m_api; }
    QString server() const { return QStringLiteral("\\\\") + m_api->machineName(); }
    const QString& folder() const { return m_folder; }
    QString database() const { return m_folder + QStringLiteral("/machine.db"); }
    // A path inside the test's temporary folder, outside the machine folder.
    QString path(const QString& leaf) const { return m_temp.filePath(leaf); }
    QString makeFolder(const QString& leaf) const {
        QDir().mkpath(path(leaf));
        return path(leaf);
    }

    void exec(const char* sql) { db().exec(sql); }
    std::int64_t integer(const char* sql) {
        sqlite::Statement query(db(), sql);
        return query.step() ? query.integer(0) : -1;
    }
    QString text(const char* sql) {
        sqlite::Statement query(db(), sql);
        return query.step() ? query.text(0) : QString();
    }
    void complexity(bool on) {
        exec(on ? "UPDATE policy SET value = 1 WHERE name = 'password_complexity'"
                : "UPDATE policy SET value = 0 WHERE name = 'password_complexity'");
    }

private:
    sqlite::Database& db() {
        if (!m_db)
            m_db = std::make_unique<sqlite::Database>(database(), false);
        return *m_db;
    }

    QTemporaryDir m_temp;
    QString m_folder;
    std::unique_ptr<embedded::EmbeddedNetApi> m_api;
    std::unique_ptr<sqlite::Database> m_db;
};

} // namespace orvane::test
