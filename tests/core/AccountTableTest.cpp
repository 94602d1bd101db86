#include "core/AccountTable.h"

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

TEST(AccountTableDecode, DecodingStopsAtTheFirstNul) {
    // A lead byte just before the NUL ends as it would in the whole text: as
    // a replacement character, not dropped as an unfinished sequence.
    EXPECT_EQ(decodeAccountTable(QByteArray("a\x81\0b,c,d", 8), 936),
              QString::fromUtf16(u"a\uFFFD"));
    EXPECT_EQ(decodeAccountTable(QByteArray("\xEF\xBB\xBF"
                                            "a\xE4\xB8\0b",
                                            8),
                                 1252),
              QString::fromUtf8(QByteArrayView("a\xE4\xB8\0b", 5)).left(3));
    // In UTF-16 only a whole NUL unit ends the text; a zero byte does not.
    EXPECT_EQ(decodeAccountTable(QByteArray("\xFF\xFE"
                                            "a\0\0b\0\0",
                                            8),
                                 1252),
              QString::fromUtf16(u"a\u6200"));
    EXPECT_EQ(decodeAccountTable(QByteArray("\xFE\xFF"
                                            "\0a\0\0\0b",
                                            8),
                                 1252),
              QStringLiteral("a"));
    // A table of NULs (a sparse file, say) is empty however long it is.
    EXPECT_EQ(decodeAccountTable(QByteArray(1 << 20, '\0'), 936), QString());
    EXPECT_EQ(decodeAccountTable(QByteArray("x,y,z\n") + QByteArray(1 << 20, '\0'), 1252),
              QStringLiteral("x,y,z\n"));
}

TEST(AccountTableFields, KeptFieldsAreTheFirstOnesAndAllAreCounted) {
    for (const char16_t* line :
         {u"u1,pw,Users,a,b", u"\"a,b\",\"c\"\"d\",e,", u" a b\tc,,\"open, still", u"x,",
          u"\"a\"b,c", u"\"\",x,y,", u"", u" \t "}) {
        const QStringList all = fields(line);
        for (qsizetype keep : {0, 1, 2, 3, 21}) {
            QStringList kept;
            EXPECT_EQ(splitFields(QString::fromUtf16(line), keep, kept), all.size())
                << QString::fromUtf16(line).toStdString() << " keep " << keep;
            EXPECT_EQ(kept, all.mid(0, keep))
                << QString::fromUtf16(line).toStdString() << " keep " << keep;
        }
    }
    // The empty field of a trailing comma counts when it is not kept.
    QStringList kept;
    EXPECT_EQ(splitFields(u"a,b,", 2, kept), 3);
    EXPECT_EQ(kept, list({u"a", u"b"}));
    // Commas and doubled quotes inside a quoted field that is not kept do
    // not count.
    kept.clear();
    EXPECT_EQ(splitFields(u"a,\"b,c\",\"d\"\",e\" f", 1, kept), 4);
    EXPECT_EQ(kept, list({u"a"}));
    // Kept fields are appended to what the list holds.
    EXPECT_EQ(splitFields(u"x y", 5, kept), 2);
    EXPECT_EQ(kept, list({u"a", u"x", u"y"}));
}

TEST(AccountTableParse, AccountLinesOnly) {
    const QList<QStringList> table =
        parseAccountTable("name,pw,group\r\nshort,line\r\n\r\na,b,c,d,e\r\nlast,x,y", 1252)
            .toLists();
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table[0], (QStringList{"name", "pw", "group"}));
    EXPECT_EQ(table[1], (QStringList{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(table[2], (QStringList{"last", "x", "y"}));
    EXPECT_EQ(parseAccountTable("\xd5\xc5\xc8\xfd,\xc3\xdc\xc2\xeb,Users", 936).toLists(),
              QList<QStringList>{list({u"张三", u"密码", u"Users"})});
    EXPECT_EQ(parseAccountTable(QByteArray(), 936).toLists(), QList<QStringList>());
}

TEST(AccountTableParse, WideLinesKeepTheirFirstFieldsAndAreCountedWhole) {
    QByteArray thirty;
    for (int i = 1; i <= 30; ++i)
        thirty += (i > 1 ? "," : "") + QByteArray("f") + QByteArray::number(i);
    // Thousands of fields; and two fields with thousands of blanks and commas
    // hidden inside a quoted third field, which makes it an account line.
    const QByteArray many = QByteArray("a,").repeated(5000);
    const QByteArray quoted = "q1 q2 \"" + QByteArray(",").repeated(5000) + "\"";
    const QByteArray two = "t1," + QByteArray(" \t").repeated(5000) + "t2";
    const QList<QStringList> table =
        parseAccountTable(thirty + "\r\n" + many + "\n" + quoted + "\n" + two + "\r", 1252)
            .toLists();
    ASSERT_EQ(table.size(), 3);
    QStringList first21;
    for (int i = 1; i <= 21; ++i)
        first21.append(QStringLiteral("f%1").arg(i));
    EXPECT_EQ(table[0], first21);
    EXPECT_EQ(table[1], QStringList(21, QStringLiteral("a")));
    EXPECT_EQ(table[2], (QStringList{"q1", "q2", QString(5000, u',')}));
    // Exactly at the kept number and one over it.
    EXPECT_EQ(
        parseAccountTable(QByteArray("x,").repeated(20) + "x", 1252).toLists().value(0).size(), 21);
    EXPECT_EQ(
        parseAccountTable(QByteArray("x,").repeated(21) + "y", 1252).toLists().value(0).size(), 21);
    EXPECT_EQ(
        parseAccountTable(QByteArray("x,").repeated(21) + "y", 1252).toLists().value(0).last(),
        QStringLiteral("x"));
}
