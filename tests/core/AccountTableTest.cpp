#include "core/AccountTable.h"
#include "core/Errors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvane;

namespace {

QStringList fields(const char16_t* line) {
    return splitFields(QString::fromUtf16(line));
}
QStringList list(std::initializer_list<const char16_t*> items) {
    QStringList out;
    for (const char16_t* item : items)
        out.append(QString::fromUtf16(item));
    return out;
}

QByteArray utf16(const QString& text, bool bigEndian) {
    QByteArray out;
    for (QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xff);
        out.append(bigEndian ? hi : lo);
        out.append(bigEndian ? lo : hi);
    }
    return out;
}

} // namespace

TEST(AccountTableDecode, ByteOrderMarksAndTheAnsiCodePage) {
    const QString text = QString::fromUtf16(u"张三,密码,Users");
    EXPECT_EQ(decodeAccountTable("\xEF\xBB\xBF" + text.toUtf8(), 1252), text);
    EXPECT_EQ(decodeAccountTable("\xFF\xFE" + utf16(text, false), 1252), text);
    EXPECT_EQ(decodeAccountTable("\xFE\xFF" + utf16(text, true), 1252), text);
    // Excel on a Chinese Windows: no mark, code page 936 (GBK bytes).
    const QByteArray gbk("\xd5\xc5\xc8\xfd,\xc3\xdc\xc2\xeb,Users");
    EXPECT_EQ(decodeAccountTable(gbk, 936), text);
    // UTF-8 without its mark is read as the ANSI code page, not as UTF-8.
    EXPECT_NE(decodeAccountTable(text.toUtf8(), 936), text);
    EXPECT_EQ(decodeAccountTable("caf\xe9", 1252), QString::fromUtf16(u"café"));
    // The text ends at the first NUL; an odd last UTF-16 byte is dropped.
    EXPECT_EQ(decodeAccountTable(QByteArray("a,b,c\0d,e,f", 11), 1252), QStringLiteral("a,b,c"));
    EXPECT_EQ(decodeAccountTable(QByteArray("\xFF\xFE"
                                            "a\0b",
                                            5),
                                 1252),
              QStringLiteral("a"));
}

TEST(AccountTableDecode, CodePagesOfTheLocales) {
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("zh_CN.UTF-8")), 936u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("zh_SG")), 936u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("zh_TW.UTF-8")), 950u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("zh_HK")), 950u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("ja_JP.eucJP")), 932u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("ko_KR")), 949u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("ru_RU.UTF-8")), 1251u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("pl_PL")), 1250u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("C.UTF-8")), 1252u);
    EXPECT_EQ(ansiCodePageForLocale(QStringLiteral("en_US")), 1252u);
    for (unsigned page :
         {936u, 950u, 932u, 949u, 1250u, 1251u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u, 874u})
        EXPECT_FALSE(decodeAccountTable("A\x80\xa1\xfe", page).isEmpty()) << page;
}

TEST(AccountTableLines, EveryLineBreakAndTheLastLine) {
    EXPECT_EQ(splitLines(u"a\r\nb\rc\nd"), list({u"a", u"b", u"c", u"d"}));
    EXPECT_EQ(splitLines(u"a\n\nb\n"), list({u"a", u"", u"b"}));
    EXPECT_EQ(splitLines(u"\r\n\r\n"), list({u"", u""}));
    EXPECT_EQ(splitLines(u""), QStringList());
    // CR CR LF is a lone CR and then a CR LF.
    EXPECT_EQ(splitLines(u"a\r\r\nb"), list({u"a", u"", u"b"}));
}

TEST(AccountTableFields, CommasAndBlanksSeparate) {
    EXPECT_EQ(fields(u"u1,pw,Users"), list({u"u1", u"pw", u"Users"}));
    EXPECT_EQ(fields(u"u1 pw\tUsers"), list({u"u1", u"pw", u"Users"}));
    EXPECT_EQ(fields(u"  u1 ,  pw ,Users  "), list({u"u1", u"pw", u"Users"}));
    EXPECT_EQ(fields(u"u1,pw"), list({u"u1", u"pw"}));
    // The comma that ends the line gives an empty last field; with a blank
    // after it there is none.
    EXPECT_EQ(fields(u"u1,pw,"), list({u"u1", u"pw", u""}));
    EXPECT_EQ(fields(u"u1,pw, "), list({u"u1", u"pw"}));
    EXPECT_EQ(fields(u"u1,,Users"), list({u"u1", u"", u"Users"}));
    EXPECT_EQ(fields(u",,"), list({u"", u"", u""}));
    EXPECT_EQ(fields(u""), QStringList());
    EXPECT_EQ(fields(u" \t "), QStringList());
    EXPECT_EQ(fields(u"用户名,密码,隶属组"), list({u"用户名", u"密码", u"隶属组"}));
}

TEST(AccountTableFields, QuotedFields) {
    EXPECT_EQ(fields(u"u1,\"p, w \"\"x\"\"\",Users"), list({u"u1", u"p, w \"x\"", u"Users"}));
    EXPECT_EQ(fields(u"\" spaced name \",pw,Users"), list({u" spaced name ", u"pw", u"Users"}));
    // A quote inside a field is an ordinary character.
    EXPECT_EQ(fields(u"a\"b,c,d"), list({u"a\"b", u"c", u"d"}));
    // Text right after a closing quote starts a new field.
    EXPECT_EQ(fields(u"\"a\"b,c"), list({u"a", u"b", u"c"}));
    // Without its closing quote the field runs to the end of the line.
    EXPECT_EQ(fields(u"u1,\"open, still"), list({u"u1", u"open, still"}));
    EXPECT_EQ(fields(u"\"\",x,y"), list({u"", u"x", u"y"}));
}

TEST(AccountTableFile, AccountLinesOnlyAndTheOpenError) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/t.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("name,pw,group\r\nshort,line\r\n\r\na,b,c,d,e\r\nlast,x,y");
    file.close();
    const QList<QStringList> table = readAccountTable(path, 1252);
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table[0], (QStringList{"name", "pw", "group"}));
    EXPECT_EQ(table[1].size(), 5);
    EXPECT_EQ(table[2], (QStringList{"last", "x", "y"}));

    const QString missing = dir.path() + QStringLiteral("/missing.csv");
    try {
        readAccountTable(missing, 1252);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(
            e.message(),
            QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
    }
    EXPECT_THROW(readAccountTable(dir.path(), 1252), EFOpenError);
    EXPECT_THROW(readAccountTable(QString(), 1252), EFOpenError);
}
