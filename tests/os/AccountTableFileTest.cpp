// Reading the account table's file: only regular files, never blocking, never
// more than the limit.
#include "platform/AccountTableFile.h"
#include "core/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orvane;
using namespace std::chrono_literals;

namespace {

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& bytes) {
    const QString path = dir.filePath(QLatin1String(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

// A file of the given size that holds only NULs and takes no room on disk.
QString sparseFile(const QTemporaryDir& dir, const char* name, qint64 size) {
    const QString path = dir.filePath(QLatin1String(name));
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0 || ::ftruncate(fd, size) != 0)
        ADD_FAILURE() << "cannot make " << path.toStdString();
    if (fd >= 0)
        ::close(fd);
    return path;
}

std::string openError(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason).toStdString();
}

// The read's error message, "(read N bytes)" when it succeeds. It runs on a
// thread of its own so that a read that blocks fails the test rather than
// hanging it: after a bounded wait `unblock` is tried, and a read still
// blocked then ends the test program, the one way left to stop it.
std::string readOutcome(const QString& path, qint64 limit,
                        const std::function<void()>& unblock = {}) {
    auto outcome = std::make_shared<std::promise<std::string>>();
    std::future<std::string> done = outcome->get_future();
    std::thread([outcome, path, limit] {
        try {
            const QByteArray bytes = readRegularFile(path, limit);
            outcome->set_value("(read " + std::to_string(bytes.size()) + " bytes)");
        } catch (const EFOpenError& e) {
            outcome->set_value(e.message().toStdString());
        } catch (const std::exception& e) {
            outcome->set_value(std::string("(failed: ") + e.what() + ")");
        }
    }).detach();
    if (done.wait_for(30s) == std::future_status::ready)
        return done.get();
    ADD_FAILURE() << "reading " << path.toStdString() << " blocks";
    if (unblock) {
        unblock();
        if (done.wait_for(30s) == std::future_status::ready)
            return "(blocked) " + done.get();
    }
    std::fprintf(stderr, "reading %s is still blocked: giving up\n", qPrintable(path));
    std::_Exit(1);
}

} // namespace

TEST(AccountTableFile, AccountLinesOnlyAndTheOpenError) {
    QTemporaryDir dir;
    const QString path =
        writeFile(dir, "t.csv", "name,pw,group\r\nshort,line\r\n\r\na,b,c,d,e\r\nlast,x,y");
    const QList<QStringList> table = readAccountTable(path, 1252).toLists();
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table[0], (QStringList{"name", "pw", "group"}));
    EXPECT_EQ(table[1].size(), 5);
    EXPECT_EQ(table[2], (QStringList{"last", "x", "y"}));

    const QString missing = dir.path() + QStringLiteral("/missing.csv");
    try {
        readAccountTable(missing, 1252).toLists();
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(
            e.message(),
            QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    }
    EXPECT_THROW(readAccountTable(dir.path(), 1252).toLists(), EFOpenError);
    EXPECT_THROW(readAccountTable(QString(), 1252).toLists(), EFOpenError);
}

TEST(AccountTableFile, FoldersFifosAndDevicesAreRefusedAtOnce) {
    QTemporaryDir dir;
    EXPECT_EQ(readOutcome(dir.path(), 1 << 20), openError(dir.path(), "Is a directory"));

    // A FIFO with no writer: opening it for reading must not wait for one.
    const QString fifo = dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const auto writeOnce = [&] {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    };
    EXPECT_EQ(readOutcome(fifo, 1 << 20, writeOnce), openError(fifo, "Illegal seek"));

    // Devices would be read without end or give nothing that is a table.
    EXPECT_EQ(readOutcome(QStringLiteral("/dev/zero"), 1 << 20),
              openError(QStringLiteral("/dev/zero"), "No such device"));
    EXPECT_EQ(readOutcome(QStringLiteral("/dev/null"), 1 << 20),
              openError(QStringLiteral("/dev/null"), "No such device"));
    // A link is read as what it points to.
    const QString link = dir.filePath(QStringLiteral("link.csv"));
    ASSERT_EQ(::symlink("/dev/zero", QFile::encodeName(link).constData()), 0);
    EXPECT_EQ(readOutcome(link, 1 << 20), openError(link, "No such device"));
}

TEST(AccountTableFile, FilesUpToTheLimitAreReadWhole) {
    QTemporaryDir dir;
    const QByteArray bytes = QByteArray("u,p,g\n").repeated(1000);
    const QString path = writeFile(dir, "t.csv", bytes);
    EXPECT_EQ(readRegularFile(path, bytes.size()), bytes);
    EXPECT_EQ(readRegularFile(path, 1 << 20), bytes);
    EXPECT_EQ(readOutcome(path, bytes.size() - 1), openError(path, "File too large (> 5999 B)"));
    EXPECT_EQ(readRegularFile(writeFile(dir, "empty.csv", {}), 0), QByteArray());
    EXPECT_EQ(readOutcome(path, 0), openError(path, "File too large (> 0 B)"));
}

TEST(AccountTableFile, AFileLargerThanItsSizeSaysIsCutAtTheLimit) {
    // Files under /proc say they hold nothing and hold more: the read goes
    // on past the stated size, as for a file that grows, but only up to the
    // limit.
    const QString status = QStringLiteral("/proc/self/status");
    struct stat st;
    ASSERT_EQ(::stat("/proc/self/status", &st), 0);
    ASSERT_EQ(st.st_size, 0);
    EXPECT_TRUE(readRegularFile(status, 1 << 20).startsWith("Name:"));
    EXPECT_EQ(readOutcome(status, 64), openError(status, "File too large (> 64 B)"));
}

TEST(AccountTableFile, TheTableLimit) {
    QTemporaryDir dir;
    const QString over = sparseFile(dir, "over.csv", kAccountTableLimit + 1);
    try {
        readAccountTable(over, 936).toLists();
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.message().toStdString(), openError(over, "File too large (> 256 MiB)"));
    }
    // At the limit it is read; a text of NULs is empty.
    EXPECT_EQ(readAccountTable(sparseFile(dir, "at.csv", kAccountTableLimit), 936).toLists(),
              QList<QStringList>());
}
