#pragma once

// A thin RAII layer over SQLite: a connection, prepared statements and
// transactions. Text goes in and out as UTF-16.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <stdexcept>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane::sqlite {

class Error : public std::runtime_error {
public:
    Error(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const noexcept { return m_code; }

private:
    int m_code;
};

class Statement;

class Database {
public:
    // Opens (creating when asked) the database file; throws Error on failure.
    Database(const QString& path, bool create);
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    void exec(const char* sql);
    std::int64_t lastInsertRowid() const;
    int changes() const;
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(Database& db, const char* sql);
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Resets the statement and clears its bindings, ready for a new use.
    Statement& reset();
    Statement& bind(int index, const QString& text);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, const QByteArray& blob);
    Statement& bindNull(int index);

    // True while a row is available; false once the statement is done.
    bool step();
    // Runs a statement that returns no rows.
    void run();

    QString text(int column) const;
    std::int64_t integer(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;

private:
    Database& m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// BEGIN IMMEDIATE on construction; ROLLBACK unless commit() was called.
class Transaction {
public:
    explicit Transaction(Database& db);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void commit();

private:
    Database& m_db;
    bool m_done = false;
};

} // namespace orvane::sqlite
