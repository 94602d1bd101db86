// The machine's database as other programs meet it: an administrator's
// sqlite3 reading and writing while the program runs, a second copy of the
// program on the same folder, and kill -9. Every process here is a real one.
// uses-programs: sqlite3

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <ostream>
#include <signal.h>

// Failure messages show texts as text.
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << '"' << text.toStdString() << '"';
}

namespace {

// sqlite3 with the statements, as an administrator runs it; its output.
QString sqlite3(const QString& database, const QString& sql) {
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {database, sql});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("sqlite3 failed: ") + QString::fromLocal8Bit(process.readAll());
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QProcessEnvironment embeddedEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("ORVANE_NETAPI"));
    return environment;
}

// What the process has open that the file system no longer has: a live
// write-ahead log deleted under the program shows up here.
QStringList deletedFilesOf(qint64 pid) {
    QStringList deleted;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fds).entryList(QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFile::symLinkTarget(fds + u'/' + fd);
        if (target.contains(QStringLiteral("machine.db")) && target.endsWith(u" (deleted)"))
            deleted << target;
    }
    return deleted;
}

// The test driver: the machine opened as the program opens it, one command
// per line, one answer per command.
class Driver {
public:
    explicit Driver(const QString& folder) {
        m_process.setProcessEnvironment(embeddedEnvironment());
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(ORVANE_MACHINE_DRIVER), {folder});
        m_process.waitForStarted();
    }
    ~Driver() { kill(); }

    QString ask(const QString& command) {
        m_process.write(command.toUtf8() + '\n');
        QElapsedTimer waited;
        waited.start();
        while (!m_process.canReadLine() && waited.elapsed() < 60000 &&
               m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(1000);
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    // The account is created and in Users: the program reported it done.
    bool add(const QString& name, const QString& password = QStringLiteral("Kq7!zt4817")) {
        return ask(QStringLiteral("add %1 %2").arg(name, password)) == name + QStringLiteral(" 0");
    }
    qint64 pid() const { return m_process.processId(); }
    void kill() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_process.processId()), SIGKILL);
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

class OutsideProcess : public testing::Test {
protected:
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("machine"));
    QString database = folder + QStringLiteral("/machine.db");

    QString count(const char* sql) { return sqlite3(database, QString::fromLatin1(sql)); }
};

TEST_F(OutsideProcess, WhatTheProgramReportedDoneOutlivesAnOutsideReaderAndKill9) {
    Driver program(folder);
    ASSERT_TRUE(program.add(QStringLiteral("early0")));
    ASSERT_TRUE(program.add(QStringLiteral("early1")));

    // The administrator looks, as the README shows.
    EXPECT_EQ(count("SELECT count(*) FROM accounts"), QStringLiteral("4"));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(program.add(QStringLiteral("later%1").arg(i)));
    ASSERT_EQ(program.ask(QStringLiteral("home /srv/homes")), QStringLiteral("home 0"));
    EXPECT_EQ(deletedFilesOf(program.pid()), QStringList());
    // The program sees what the outside writes, at its next call.
    EXPECT_EQ(count("SELECT count(*) FROM accounts"), QStringLiteral("9"));

    // The password policy switched with sqlite3 takes effect at the next creation.
    EXPECT_EQ(program.ask(QStringLiteral("add weak0 abc")), QStringLiteral("weak0 2245"));
    sqlite3(database, QStringLiteral("UPDATE policy SET value = 0 WHERE name = "
                                     "'password_complexity'"));
    EXPECT_TRUE(program.add(QStringLiteral("weak1"), QStringLiteral("abc")));
    sqlite3(database, QStringLiteral("UPDATE policy SET value = 1 WHERE name = "
                                     "'password_complexity'"));
    EXPECT_EQ(program.ask(QStringLiteral("add weak2 abc")), QStringLiteral("weak2 2245"));

    // A row written from outside is there for the program too.
    sqlite3(database, QStringLiteral("UPDATE accounts SET comment = 'outside' WHERE name = "
                                     "'later4'"));
    ASSERT_TRUE(program.add(QStringLiteral("last")));
    program.kill();

    EXPECT_EQ(count("PRAGMA integrity_check"), QStringLiteral("ok"));
    EXPECT_EQ(count("SELECT group_concat(name, ' ') FROM (SELECT name FROM accounts "
                    "WHERE rid >= 1000 ORDER BY rid)"),
              QStringLiteral("early0 early1 later0 later1 later2 later3 later4 weak1 last"));
    EXPECT_EQ(count("SELECT count(*) FROM memberships WHERE group_rid = 545"), QStringLiteral("9"));
    EXPECT_EQ(count("SELECT comment FROM accounts WHERE name = 'later4'"),
              QStringLiteral("outside"));
    EXPECT_EQ(Driver(folder).ask(QStringLiteral("home?")), QStringLiteral("home /srv/homes"));
}

TEST_F(OutsideProcess, TwoProgramsOnOneFolderLoseNothing) {
    constexpr int kEach = 40;
    Driver first(folder);
    Driver second(folder);
    int done = 0;
    // Interleaved: each program's writes land between the other's.
    for (int i = 0; i < kEach; ++i) {
        done += first.add(QStringLiteral("one%1").arg(i)) ? 1 : 0;
        done += second.add(QStringLiteral("two%1").arg(i)) ? 1 : 0;
        if (i == kEach / 2) {
            EXPECT_EQ(count("SELECT count(*) FROM accounts"), QString::number(2 + 2 * (i + 1)));
        }
    }
    EXPECT_EQ(done, 2 * kEach);
    EXPECT_EQ(first.ask(QStringLiteral("home /first")), QStringLiteral("home 0"));
    EXPECT_EQ(second.ask(QStringLiteral("home?")), QStringLiteral("home /first"));
    EXPECT_EQ(deletedFilesOf(first.pid()), QStringList());
    EXPECT_EQ(deletedFilesOf(second.pid()), QStringList());
    first.kill();
    ASSERT_TRUE(second.add(QStringLiteral("after")));
    second.kill();

    EXPECT_EQ(count("PRAGMA integrity_check"), QStringLiteral("ok"));
    EXPECT_EQ(count("SELECT count(*) FROM accounts WHERE name LIKE 'one%'"),
              QString::number(kEach));
    EXPECT_EQ(count("SELECT count(*) FROM accounts WHERE name LIKE 'two%'"),
              QString::number(kEach));
    EXPECT_EQ(count("SELECT count(*) FROM memberships WHERE group_rid = 545"),
              QString::number(2 * kEach + 1));
}

// The program itself, idle in its event loop after start-up, then read from
// outside: it still holds its locks, so the reader leaves the log alone.
TEST_F(OutsideProcess, TheWindowKeepsItsDatabaseWhenReadFromOutside) {
    QProcess program;
    QProcessEnvironment environment = embeddedEnvironment();
    environment.insert(QStringLiteral("ORVANE_MACHINE"), folder);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QStringLiteral(ORVANE_BINARY), {});
    ASSERT_TRUE(program.waitForStarted());
    const QString wchan = QStringLiteral("/proc/%1/wchan").arg(program.processId());
    const auto idle = [&] {
        QFile file(wchan);
        return QFile::exists(folder + QStringLiteral("/machine.db-wal")) &&
               file.open(QIODevice::ReadOnly) && file.readAll().contains("poll");
    };
    QElapsedTimer waited;
    waited.start();
    int idleChecks = 0;
    // Idle three times in a row: the window is up and waits for the user.
    while (idleChecks < 3 && waited.elapsed() < 60000) {
        QThread::msleep(100);
        idleChecks = idle() ? idleChecks + 1 : 0;
    }
    ASSERT_EQ(idleChecks, 3);

    EXPECT_EQ(count("SELECT count(*) FROM accounts"), QStringLiteral("2"));
    EXPECT_EQ(deletedFilesOf(program.processId()), QStringList());
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/machine.db-wal")));
    program.kill();
    program.waitForFinished(10000);
}

} // namespace
