#include "platform/embedded/Sqlite.h"

#include <sqlite3.h>

namespace orvane::sqlite {

namespace {
[[noreturn]] void fail(sqlite3* db, int code) {
    throw Error(code, db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}
} // namespace

Database::Database(const QString& path, bool create) {
    const int flags =
        SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw Error(rc, message);
    }
    sqlite3_extended_result_codes(m_db, 1);
    // Another process may hold the write lock for a moment.
    sqlite3_busy_timeout(m_db, 10000);
}

Database::~Database() {
    sqlite3_close_v2(m_db);
}

void Database::exec(const char* sql) {
    char* message = nullptr;
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const std::string text = message ? message : sqlite3_errstr(rc);
        sqlite3_free(message);
        throw Error(rc, text);
    }
}

std::int64_t Database::lastInsertRowid() const {
    return sqlite3_last_insert_rowid(m_db);
}

int Database::changes() const {
    return sqlite3_changes(m_db);
}

Statement::Statement(Database& db, const char* sql) : m_db(db) {
    const int rc =
        sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        fail(db.handle(), rc);
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
}

Statement& Statement::reset() {
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    return *this;
}

Statement& Statement::bind(int index, const QString& text) {
    // SQLITE_TRANSIENT: the statement keeps its own copy.
    const int rc =
        sqlite3_bind_text16(m_stmt, index, text.utf16(),
                            static_cast<int>(text.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value) {
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

Statement& Statement::bind(int index, const QByteArray& blob) {
    const int rc = sqlite3_bind_blob(m_stmt, index, blob.constData(), static_cast<int>(blob.size()),
                                     SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

Statement& Statement::bindNull(int index) {
    const int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK)
        fail(m_db.handle(), rc);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    // Keep the error text before the reset clears it.
    const Error error(rc, sqlite3_errmsg(m_db.handle()));
    sqlite3_reset(m_stmt);
    throw error;
}

void Statement::run() {
    while (step()) {
    }
}

QString Statement::text(int column) const {
    const void* data = sqlite3_column_text16(m_stmt, column);
    const int bytes = sqlite3_column_bytes16(m_stmt, column);
    if (!data)
        return QString();
    return QString(reinterpret_cast<const QChar*>(data), bytes / int(sizeof(char16_t)));
}

std::int64_t Statement::integer(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QByteArray Statement::blob(int column) const {
    const void* data = sqlite3_column_blob(m_stmt, column);
    const int bytes = sqlite3_column_bytes(m_stmt, column);
    return data ? QByteArray(static_cast<const char*>(data), bytes) : QByteArray();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Transaction::Transaction(Database& db) : m_db(db) {
    m_db.exec("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!m_done) {
        try {
            m_db.exec("ROLLBACK");
        } catch (const Error&) {
            // The transaction is gone already (SQLite rolled it back itself).
        }
    }
}

void Transaction::commit() {
    m_db.exec("COMMIT");
    m_done = true;
}

} // namespace orvane::sqlite
