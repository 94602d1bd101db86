#include "platform/Environment.h"
#include "platform/MachineFolder.h"
#include "platform/netapi/Backend.h"
#include "support/TestMachine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace orvane;

using orvane::test::ScopedEnv;

TEST(Environment, MissingIsEmptyAndUserStandsForUsername) {
    ScopedEnv server("LOGONSERVER", std::nullopt);
    EXPECT_EQ(environmentValue("LOGONSERVER"), QString());
    {
        ScopedEnv username("USERNAME", std::nullopt);
        ScopedEnv user("USER", QStringLiteral("alice"));
        EXPECT_EQ(environmentValue("USERNAME"), QStringLiteral("alice"));
    }
    {
        ScopedEnv username("USERNAME", QStringLiteral("Bob"));
        ScopedEnv user("USER", QStringLiteral("alice"));
        EXPECT_EQ(environmentValue("USERNAME"), QStringLiteral("Bob"));
    }
    {
        ScopedEnv username("USERNAME", std::nullopt);
        ScopedEnv user("USER", std::nullopt);
        EXPECT_EQ(environmentValue("USERNAME"), QString());
    }
    const QByteArray longValue(5000, 'x');
    ScopedEnv domain("USERDOMAIN", QString::fromLatin1(longValue));
    EXPECT_EQ(environmentValue("USERDOMAIN").size(), 5000);
}

TEST(MachineFolder, ChosenByTheEnvironment) {
    {
        ScopedEnv machine("ORVANE_MACHINE", QStringLiteral("/tmp/somewhere"));
        EXPECT_EQ(machineFolder(), QStringLiteral("/tmp/somewhere"));
    }
    ScopedEnv machine("ORVANE_MACHINE", std::nullopt);
    if (geteuid() == 0) {
        EXPECT_EQ(machineFolder(), QStringLiteral("/var/lib/orvane"));
    } else {
        ScopedEnv state("XDG_STATE_HOME", QStringLiteral("/tmp/state"));
        EXPECT_EQ(machineFolder(), QStringLiteral("/tmp/state/orvane"));
    }
}

TEST(Backend, EmbeddedByDefaultAndUnknownNamesRefused) {
    QTemporaryDir dir;
    {
        ScopedEnv backend("ORVANE_NETAPI", std::nullopt);
        EXPECT_NE(createNetApi(dir.path() + QStringLiteral("/a")), nullptr);
    }
    {
        ScopedEnv backend("ORVANE_NETAPI", QStringLiteral("embedded"));
        EXPECT_NE(createNetApi(dir.path() + QStringLiteral("/b")), nullptr);
    }
    ScopedEnv backend("ORVANE_NETAPI", QStringLiteral("Embedded "));
    EXPECT_THROW(createNetApi(dir.path() + QStringLiteral("/c")), BackendError);
}
