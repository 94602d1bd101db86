// uses-programs: sh cat env ls
// Running a system program: its input only from us, its outputs whole, its
// environment our own, its descriptors not ours, and a deadline.

#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace orvane {
namespace {

TEST(Process, InputGoesInAndBothOutputsComeBackWhole) {
    // More than a pipe holds, both ways, so nothing may wait on the other.
    const QByteArray big(1 << 20, 'x');
    const ProcessResult cat = runProcess(QStringLiteral("/bin/cat"), {}, big);
    EXPECT_EQ(cat.status, 0);
    EXPECT_EQ(cat.output.size(), big.size());
    const ProcessResult sh =
        runProcess(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QStringLiteral("echo out; echo err >&2; exit 3")});
    EXPECT_EQ(sh.status, 3);
    EXPECT_EQ(sh.output, "out\n");
    EXPECT_EQ(sh.errors, "err\n");
}

TEST(Process, ItsEnvironmentAndDescriptorsAreNotOurs) {
    ::setenv("PASSWD", "secret", 1);
    const int opened = ::open("/dev/null", O_RDONLY);
    const int ours = ::dup2(opened, 57); // without close-on-exec
    ASSERT_EQ(ours, 57);
    const ProcessResult env = runProcess(QStringLiteral("/usr/bin/env"), {});
    const ProcessResult fds =
        runProcess(QStringLiteral("/bin/ls"), {QStringLiteral("/proc/self/fd")});
    ::close(ours);
    ::close(opened);
    ::unsetenv("PASSWD");
    EXPECT_EQ(env.output, "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nLC_ALL=C\n");
    EXPECT_EQ(fds.status, 0);
    EXPECT_FALSE(('\n' + fds.output).contains("\n57\n")) << fds.output.constData();
}

TEST(Process, AChildThatReadsNothingOrHangsEndsCleanly) {
    // It exits without reading: no SIGPIPE may end this test.
    const ProcessResult early =
        runProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exit 0")},
                   QByteArray(4 << 20, 'y'));
    EXPECT_EQ(early.status, 0);
    const ProcessResult hung =
        runProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("sleep 30")},
                   {}, std::chrono::milliseconds(200));
    EXPECT_TRUE(hung.timedOut);
    EXPECT_EQ(hung.status, -1);
    const ProcessResult missing = runProcess(QStringLiteral("/nonexistent/tool"), {});
    EXPECT_EQ(missing.startError, ENOENT);
}

} // namespace
} // namespace orvane
