// uses-programs: pdbedit samba-tool net smbclient
#include "support/SambaTestServer.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace orvane::test {

namespace {

QString env(const char* name) {
    return qEnvironmentVariable(name);
}

QStringList lines(const QString& text) {
    return text.split(u'\n', Qt::SkipEmptyParts);
}

bool standalone() {
    return SambaTestServer::kind() == u"sa";
}

} // namespace

QString SambaTestServer::kind() {
    return env("ORVANE_TEST_SAMBA");
}

std::string SambaTestServer::unavailable() {
    if (kind().isEmpty())
        return "no Samba test server here: scripts/test-samba runs these tests against "
               "throwaway servers in namespaces of their own";
    return {};
}

QString SambaTestServer::address() {
    return env("ORVANE_TEST_SAMBA_SERVER");
}

QString SambaTestServer::user() {
    return env("ORVANE_TEST_SAMBA_USER");
}

QString SambaTestServer::password() {
    return env("ORVANE_TEST_SAMBA_PASSWORD");
}

QString SambaTestServer::configFile() {
    return env("ORVANE_TEST_SAMBA_CONF");
}

samba::lib::Credentials SambaTestServer::credentials() {
    return {user().toStdString(), password().toStdString(), false};
}

CommandResult SambaTestServer::run(const QStringList& command) {
    QProcess process;
    // The clients take the password from the environment, never from argv.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("USER"), user());
    environment.insert(QStringLiteral("PASSWD"), password());
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(
        env("ORVANE_TEST_SAMBA_CONTROL"),
        QStringList{QStringLiteral("exec"), env("ORVANE_TEST_SAMBA_DIR"), QStringLiteral("--")} +
            command);
    CommandResult result;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        result.output = QStringLiteral("timed out: ") + command.join(u' ');
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromUtf8(process.readAll());
    return result;
}

namespace {

bool control(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(env("ORVANE_TEST_SAMBA_CONTROL"), arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

bool SambaTestServer::restart() {
    return control({QStringLiteral("restart"), env("ORVANE_TEST_SAMBA_DIR")});
}

bool SambaTestServer::stop() {
    return control({QStringLiteral("stop"), env("ORVANE_TEST_SAMBA_DIR")});
}

bool SambaTestServer::start() {
    return control({QStringLiteral("start"), kind(), env("ORVANE_TEST_SAMBA_DIR")});
}

QStringList SambaTestServer::accounts() {
    QStringList names;
    if (standalone()) {
        // name:uid:full name
        for (const QString& line : lines(run({"pdbedit", "-s", configFile(), "-L"}).output))
            if (line.count(u':') >= 2)
                names << line.section(u':', 0, 0);
    } else {
        names = lines(run({"samba-tool", "user", "list", "-s", configFile()}).output);
    }
    return names;
}

QStringList SambaTestServer::members(const QString& group) {
    QStringList names;
    if (standalone()) {
        for (const QString& line :
             lines(run({"net", "-s", configFile(), "sam", "listmem", "BUILTIN\\" + group}).output))
            names << line.trimmed().section(u'\\', -1);
    } else {
        for (const QString& line :
             lines(run({"samba-tool", "group", "listmembers", group, "-s", configFile()}).output))
            names << line.trimmed();
    }
    return names;
}

QStringList SambaTestServer::shareNames() {
    QStringList names;
    // -g: one "type|name|comment" line per share.
    for (const QString& line :
         lines(run({"smbclient", "-g", "-L", address(), "-U", user()}).output))
        if (line.startsWith(u"Disk|"))
            names << line.section(u'|', 1, 1);
    return names;
}

QString SambaTestServer::homeDirectory(const QString& account) {
    const QString output =
        standalone() ? run({"pdbedit", "-s", configFile(), "-v", "-u", account}).output
                     : run({"samba-tool", "user", "show", account, "-s", configFile()}).output;
    static const QRegularExpression pattern(
        QStringLiteral("^(?:Home Directory|homeDirectory):[ \\t]*(.*)$"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = pattern.match(output);
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

} // namespace orvane::test
