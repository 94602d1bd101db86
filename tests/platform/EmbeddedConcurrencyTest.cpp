// The embedded machine under load: many threads at once, a writer killed
// mid-work, and the listing of a large machine.

// uses-programs: (only the project's own writer)

#include "EmbeddedTestMachine.h"
#include "NetApiCalls.h"

#include "platform/embedded/MachineDatabase.h"

#include <QRandomGenerator>
#include <QThread>
#include <gtest/gtest.h>
#include <latch>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace orvane::test {
namespace {

TEST(EmbeddedConcurrency, ThreadsAddingAtOnceEachGetOneAnswer) {
    EmbeddedTestMachine m;
    constexpr int kThreads = 101;
    std::vector<NET_API_STATUS> results(kThreads);
    std::latch start(kThreads);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait();
                // Names 0 and 1 come three and two times.
                results[i] = addUser(m.api(), QStringLiteral("thr%1").arg(i % 99));
            });
    }
    EXPECT_EQ(std::count(results.begin(), results.end(), NERR_Success), 99);
    EXPECT_EQ(std::count(results.begin(), results.end(), NERR_UserExists), 2);
    const auto users = listUsers(m.api(), {}).users;
    EXPECT_EQ(users.size(), 2u + 99u);
    for (int i = 0; i < 99; ++i)
        EXPECT_TRUE(findUser(users, QStringLiteral("thr%1").arg(i))) << i;
    EXPECT_EQ(m.text("PRAGMA integrity_check"), "ok");
}

// The helper process, killed with SIGKILL when the test is done with it.
class Writer {
public:
    Writer(const QString& folder, const QString& prefix) {
        const QByteArray f = QFile::encodeName(folder), p = prefix.toUtf8();
        char* argv[] = {const_cast<char*>(ORVANE_CREATE_ACCOUNTS_FOREVER),
                        const_cast<char*>(f.constData()), const_cast<char*>(p.constData()),
                        nullptr};
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv, environ) != 0)
            m_pid = -1;
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;
    ~Writer() { kill(); }
    bool running() const { return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; }
    void kill() {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
};

TEST(EmbeddedConcurrency, AKilledWriterLeavesEveryAccountWhole) {
    EmbeddedTestMachine m;
    for (int round = 0; round < 20; ++round) {
        const std::int64_t before = m.integer("SELECT count(*) FROM accounts");
        Writer writer(m.folder(), QStringLiteral("k%1_").arg(round));
        QElapsedTimer waited;
        waited.start();
        while (m.integer("SELECT count(*) FROM accounts") < before + 5 + round % 4 * 3) {
            ASSERT_TRUE(writer.running());
            ASSERT_LT(waited.elapsed(), 30000);
            QThread::msleep(2);
        }
        QThread::usleep(QRandomGenerator::global()->bounded(20000));
        writer.kill();

        EXPECT_EQ(m.text("PRAGMA integrity_check"), "ok");
        EXPECT_EQ(m.integer("SELECT count(*) FROM pragma_foreign_key_check"), 0);
        EXPECT_EQ(m.integer("SELECT count(*) FROM accounts WHERE rid >= 1000 AND ("
                            "password_hash NOT LIKE '$y$%' OR password_set <= 0 OR priv != 1 "
                            "OR flags != 66049 OR name_key != lower(name))"),
                  0);
    }
    // The machine still works, and lists what the writers left.
    EXPECT_EQ(addUser(m.api(), "after"), NERR_Success);
    EXPECT_EQ(std::int64_t(listUsers(m.api(), {}).users.size()),
              m.integer("SELECT count(*) FROM accounts"));
}

} // namespace
} // namespace orvane::test
