#include "core/LogLine.h"

#include <gtest/gtest.h>

using namespace orvane;

namespace {
const QDateTime may6(QDate(2013, 5, 6), QTime(9, 3, 21, 250));
const QDateTime midnight(QDate(2013, 5, 6), QTime(0, 0, 0, 0));
} // namespace

TEST(LogLine, BracketsTheTimeAndKeepsTheMessageUnchanged) {
    const QLocale c = QLocale::c();
    const QString stamp = DateTimeText(may6, c);
    EXPECT_EQ(LogLine(may6, c, QStringLiteral("x")), u'【' + stamp + QStringLiteral("】 x"));
    EXPECT_EQ(LogLine(may6, c, QString()), u'【' + stamp + QStringLiteral("】 "));
    EXPECT_EQ(LogLine(may6, c, QStringLiteral(" 用户目录 ")),
              u'【' + stamp + QString::fromUtf16(u"】  用户目录 "));
}

TEST(LogLine, ChineseLocaleShortDateAndTimeWithoutZone) {
    const QLocale zh(QLocale::Chinese, QLocale::China);
    const QString text = DateTimeText(may6, zh);
    EXPECT_TRUE(text.startsWith(QStringLiteral("2013/5/6 "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("9:03:21"))) << text.toStdString();
    // No zone name or offset survives.
    EXPECT_FALSE(text.contains(u'C') || text.contains(u'+') || text.contains(u'U'))
        << text.toStdString();
}

TEST(LogLine, ExactlyMidnightGivesTheDateAlone) {
    const QLocale zh(QLocale::Chinese, QLocale::China);
    EXPECT_EQ(DateTimeText(midnight, zh), QStringLiteral("2013/5/6"));
    // One millisecond later it is no longer midnight.
    EXPECT_NE(DateTimeText(midnight.addMSecs(1), zh), QStringLiteral("2013/5/6"));
}

TEST(LogLine, ZoneFieldIsRemovedFromEveryFormShape) {
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Chinese, QLocale::China),
                                  QLocale(QLocale::English, QLocale::UnitedStates),
                                  QLocale(QLocale::German, QLocale::Germany)}) {
        const QString format = timeFormatWithoutZone(locale);
        EXPECT_FALSE(format.contains(u't')) << format.toStdString();
        EXPECT_EQ(format, format.trimmed());
        EXPECT_TRUE(format.contains(QStringLiteral("ss"))) << format.toStdString();
    }
}
