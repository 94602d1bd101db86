// uses-programs: smbpasswd
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

bool SambaAccounts::add(const QString& name, QStringView password, bool locked) {
    const PasswordInput input(password);
    if (!run({QStringLiteral("-L"), QStringLiteral("-s"), QStringLiteral("-a"), name},
             input.bytes()))
        return false;
    return !locked || run({QStringLiteral("-L"), QStringLiteral("-d"), name});
}

bool SambaAccounts::setPassword(const QString& name, QStringView password) {
    const PasswordInput input(password);
    return run({QStringLiteral("-L"), QStringLiteral("-s"), name}, input.bytes());
}

bool SambaAccounts::remove(const QString& name) {
    const ProcessResult result =
        runProcess(m_tool, {QStringLiteral("-c"), m_smbConf, QStringLiteral("-L"),
                            QStringLiteral("-x"), name});
    // smbpasswd says "Failed to find entry for user" for one it never held.
    return result.succeeded() || result.errors.contains("Failed to find entry") ||
           result.output.contains("Failed to find entry");
}

} // namespace orvane::host
