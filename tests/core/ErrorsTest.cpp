#include "core/Errors.h"
#include "core/SystemErrors.h"

#include <cerrno>
#include <gtest/gtest.h>

using namespace orvane;

TEST(InOutError, AccessDeniedHasItsOwnTextOthersTheirCode) {
    EXPECT_EQ(EInOutError(5).message(), QStringLiteral("File access denied"));
    EXPECT_EQ(EInOutError(183).message(), QStringLiteral("I/O error 183"));
    EXPECT_EQ(EInOutError(183).errorCode(), 183u);
    EXPECT_STREQ(EInOutError(112).what(), "I/O error 112");
}

TEST(SystemErrors, PosixErrorsMapOntoTheWindowsCodes) {
    EXPECT_EQ(windowsErrorFromErrno(EACCES), 5u);
    EXPECT_EQ(windowsErrorFromErrno(EPERM), 5u);
    EXPECT_EQ(windowsErrorFromErrno(EEXIST), 183u);
    EXPECT_EQ(windowsErrorFromErrno(ENOENT), 3u);
    EXPECT_EQ(windowsErrorFromErrno(ENOSPC), 112u);
    EXPECT_EQ(windowsErrorFromErrno(ENAMETOOLONG), 206u);
    EXPECT_EQ(windowsErrorFromErrno(EROFS), 19u);
    EXPECT_EQ(windowsErrorFromErrno(0), 0u);
    // Without a counterpart the POSIX number is kept.
    EXPECT_EQ(windowsErrorFromErrno(EMLINK), unsigned(EMLINK));
}

TEST(Exceptions, CarryTheirMessageAsUtf8) {
    const EConvertError error(QString::fromUtf16(u"''abc'' is not a valid integer value"));
    EXPECT_STREQ(error.what(), "''abc'' is not a valid integer value");
    const ERegistryException chinese(QString::fromUtf16(u"用户"));
    EXPECT_EQ(QString::fromUtf8(chinese.what()), QString::fromUtf16(u"用户"));
}
