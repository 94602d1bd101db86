#pragma once

// The throwaway Samba server scripts/test-samba starts for the samba tests,
// as its environment describes it, and the independent clients that check
// what the program did.

#include "platform/samba/LibNetApi.h"

#include <QString>
#include <QStringList>
#include <string>

namespace orvane::test {

struct CommandResult {
    int status = -1;
    QString output;
};

class SambaTestServer {
public:
    // "sa" for a standalone server, "dc" for a domain controller.
    static QString kind();
    // Why no server is there to test against, or empty.
    static std::string unavailable();
    static QString address();
    static QString user();
    static QString password();
    static QString configFile();
    static samba::lib::Credentials credentials();

    // Runs a program where it sees what the server sees.
    static CommandResult run(const QStringList& command);
    // Stops and starts the server, keeping its accounts.
    static bool restart();
    static bool stop();
    static bool start();

    // Cross-checks with Samba's own tools, over the network or on its files.
    static QStringList accounts();
    static QStringList members(const QString& group);
    static QStringList shareNames();
    static QString homeDirectory(const QString& account);
};

} // namespace orvane::test
