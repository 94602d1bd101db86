#include "core/Text.h"

#include <gtest/gtest.h>

using namespace orvane;

TEST(Trim, RemovesEveryCodeUpTo32FromBothEndsOnly) {
    EXPECT_EQ(Trim(QStringLiteral("  a b\t")), QStringLiteral("a b"));
    EXPECT_EQ(Trim(QString::fromUtf16(u"\x01\x1f x \r\n\x20")), QStringLiteral("x"));
    EXPECT_EQ(Trim(QStringLiteral(" \t\r\n")), QString());
    EXPECT_EQ(Trim(QString()), QString());
    // Code 33 and the ideographic space are not blanks.
    EXPECT_EQ(Trim(QStringLiteral("!x!")), QStringLiteral("!x!"));
    EXPECT_EQ(Trim(QString::fromUtf16(u"\u3000x")), QString::fromUtf16(u"\u3000x"));
}

TEST(TrailingSeparator, AppendedOnceAndEmptyBecomesSeparator) {
    const QString sep(PathDelimiter);
    EXPECT_EQ(IncludeTrailingPathDelimiter(QString()), sep);
    EXPECT_EQ(IncludeTrailingPathDelimiter(sep), sep);
    EXPECT_EQ(IncludeTrailingPathDelimiter(QStringLiteral("Home")), QStringLiteral("Home") + sep);
    EXPECT_EQ(IncludeTrailingPathDelimiter(QStringLiteral("Home") + sep),
              QStringLiteral("Home") + sep);
    EXPECT_EQ(IncludeTrailingPathDelimiter(QStringLiteral("a") + sep + sep),
              QStringLiteral("a") + sep + sep);
}

TEST(TopOfTheFileSystem, SeparatorsAloneOnly) {
    const QString sep(PathDelimiter);
    EXPECT_TRUE(NamesTheTop(QString()));
    EXPECT_TRUE(NamesTheTop(sep));
    EXPECT_TRUE(NamesTheTop(sep + sep + sep));
    EXPECT_FALSE(NamesTheTop(sep + QStringLiteral("home")));
    EXPECT_FALSE(NamesTheTop(QStringLiteral(" ") + sep));
    EXPECT_FALSE(NamesTheTop(QStringLiteral(".")));
}

TEST(FullStop, AppendedOnlyAfterACharacterAboveTheFullStop) {
    EXPECT_EQ(WithFullStop(QStringLiteral("File access denied")),
              QStringLiteral("File access denied."));
    EXPECT_EQ(WithFullStop(QStringLiteral("I/O error 183")), QStringLiteral("I/O error 183."));
    // ' is 39, ) 41, . 46 itself: no full stop after them.
    EXPECT_EQ(WithFullStop(QStringLiteral("Invalid data type for 'MHomePath'")),
              QStringLiteral("Invalid data type for 'MHomePath'"));
    EXPECT_EQ(WithFullStop(QStringLiteral("done.")), QStringLiteral("done."));
    EXPECT_EQ(WithFullStop(QStringLiteral("x)")), QStringLiteral("x)"));
    EXPECT_EQ(WithFullStop(QStringLiteral("x/")), QStringLiteral("x/."));
    EXPECT_EQ(WithFullStop(QString()), QString());
    EXPECT_EQ(WithFullStop(QString::fromUtf16(u"失败")), QString::fromUtf16(u"失败."));
}
