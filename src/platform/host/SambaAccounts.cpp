// uses-programs: smbpasswd
// (only where Samba's account database cannot be changed in process)
#include "platform/host/SambaAccounts.h"

#include "platform/Process.h"
#include "platform/Secret.h"

#include <QFile>
#include <cstdio>
#include <cstring>

namespace orvane::host {

namespace {

// The password twice, as smbpasswd -s reads a new one; wiped when it goes.
class PasswordInput {
public:
    explicit PasswordInput(QStringView password) {
        const Secret text(password);
        m_bytes = text.bytes() + '\n' + text.bytes() + '\n';
    }
    PasswordInput(const PasswordInput&) = delete;
    PasswordInput& operator=(const PasswordInput&) = delete;
    ~PasswordInput() { Secret::wipe(m_bytes); }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

} // namespace

SambaAccounts::SambaAccounts(QString smbConf, QString server, QString tool)
    : m_smbConf(std::move(smbConf)), m_server(std::move(server)), m_tool(std::move(tool)) {}

bool SambaAccounts::installed() const {
    return QFile::exists(m_server) && QFile::exists(m_smbConf) && QFile::exists(m_tool);
}

bool SambaAccounts::run(const QStringList& arguments, const QByteArray& input) {
    const ProcessResult result =
        runProcess(m_tool, QStringList{QStringLiteral("-c"), m_smbConf} + arguments, input);
    if (result.succeeded())
        return true;
    std::fprintf(stderr, "orvane: smbpasswd %s refused: %s\n",
                 arguments.join(u' ').toUtf8().constData(),
                 (result.errors + result.output).trimmed().constData());
    return false;
}

bool SambaAccounts::throughTool(const SambaPassdb::Result& result) {
    if (result.outcome != SambaPassdb::Outcome::Unreachable)
        return false;
    if (result.words != m_toolBecause) {
        std::fprintf(stderr, "orvane: Samba's accounts through smbpasswd, not in process: %s\n",
                     result.words.toUtf8().constData());
        m_toolBecause = result.words;
    }
    return true;
}

bool SambaAccounts::refused(const char* what, const QString& name, const QString& words) {
    std::fprintf(stderr, "orvane: Samba refused %s %s: %s\n", what, name.toUtf8().constData(),
                 words.toUtf8().constData());
    return false;
}

bool SambaAccounts::add(const QString& name, QStringView password, bool locked) {
    const SambaPassdb::Result result = m_passdb.add(name, password, locked);
    if (result.outcome == SambaPassdb::Outcome::Done)
        return true;
    if (!throughTool(result))
        return refused("to add", name, result.words);
    const PasswordInput input(password);
    if (!run({QStringLiteral("-L"), QStringLiteral("-s"), QStringLiteral("-a"), name},
             input.bytes()))
        return false;
    return !locked || run({QStringLiteral("-L"), QStringLiteral("-d"), name});
}

bool SambaAccounts::setPassword(const QString& name, QStringView password) {
    const SambaPassdb::Result result = m_passdb.setPassword(name, password);
    if (result.outcome == SambaPassdb::Outcome::Done)
        return true;
    if (!throughTool(result))
        return refused("a new password for", name, result.words);
    const PasswordInput input(password);
    return run({QStringLiteral("-L"), QStringLiteral("-s"), name}, input.bytes());
}

bool SambaAccounts::remove(const QString& name) {
    const SambaPassdb::Result removed = m_passdb.remove(name);
    if (removed.outcome == SambaPassdb::Outcome::Done ||
        removed.outcome == SambaPassdb::Outcome::NoSuchAccount)
        return true;
    if (!throughTool(removed))
        return refused("to delete", name, removed.words);
    const ProcessResult result =
        runProcess(m_tool, {QStringLiteral("-c"), m_smbConf, QStringLiteral("-L"),
                            QStringLiteral("-x"), name});
    // smbpasswd says "Failed to find entry for user" for one it never held.
    return result.succeeded() || result.errors.contains("Failed to find entry") ||
           result.output.contains("Failed to find entry");
}

} // namespace orvane::host
