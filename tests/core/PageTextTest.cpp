#include "core/PageText.h"

#include <gtest/gtest.h>

using namespace orvane;

namespace {

// As UTF-8, so that a failure shows the text itself.
std::string joined(const PageText& page) {
    QStringList paragraphs;
    for (const PageParagraph& paragraph : page.paragraphs) {
        QString text;
        for (const PageRun& run : paragraph)
            text += run.href.isEmpty() ? run.text : "[" + run.text + "|" + run.href + "]";
        paragraphs.append(text);
    }
    return paragraphs.join(u'/').toStdString();
}

QString repeated(const char* piece, qsizetype times) {
    return QString::fromLatin1(piece).repeated(times);
}

} // namespace

TEST(PageTextFromHtml, TextLinksEntitiesAndWhatIsLeftOut) {
    const PageText page = pageTextFromHtml(QString::fromUtf16(
        u"<html><head><title>T</title><style>p { color: red }</style>"
        u"<script>document.write('<p>SCRIPT</p>')</script></head><body>\n"
        u"<p>  Hello&nbsp;<b>world</b>\n  again </p><!-- <p>comment</p> -->"
        u"<p>a &amp; b&#33;&#x4e2d;&unknown; <a HREF='/next?a=1&amp;b=2'>next <i>page</i></a>"
        u" end<br>line 2</p><div><a name=x>plain</a><a href=\"\">empty</a> 支持</div>"
        u"<table><tr><td>c1</td><td>c2</td></tr></table>3 < 4 &lt; 5</body></html>"));
    EXPECT_EQ(joined(page), "Hello\u00a0world again/a & b!中&unknown; [next page|/next?a=1&b=2] "
                            "end/line 2/plainempty 支持/c1 c2/3 < 4 < 5");
    EXPECT_FALSE(page.truncated);
}

TEST(PageTextFromHtml, NestingOfAnyDepthComesOutFlat) {
    // The page that overflowed the rich-text layout's stack.
    const QString tables =
        repeated("<table><tr><td>", 3000) + "innermost" + repeated("</td></tr></table>", 3000);
    const PageText page = pageTextFromHtml(tables);
    EXPECT_EQ(joined(page), "innermost");
    // Nothing closed, a hundred thousand levels of inline and block markup.
    const PageText open = pageTextFromHtml(repeated("<div><span><b>x", 100000));
    EXPECT_TRUE(open.truncated);
    EXPECT_EQ(open.paragraphs.size(), PageTextLimits().paragraphs);
    EXPECT_EQ(open.paragraphs.first(), (PageParagraph{{QStringLiteral("x"), QString()}}));
}

TEST(PageTextFromHtml, EverythingStaysWithinItsLimits) {
    const PageTextLimits limits{1000, 20, 5, 100};
    const PageText links = pageTextFromHtml(repeated("<a href=/x>y</a> ", 10000), limits);
    qsizetype linked = 0, characters = 0;
    for (const PageParagraph& paragraph : links.paragraphs) {
        for (const PageRun& run : paragraph) {
            linked += run.href.isEmpty() ? 0 : 1;
            characters += run.text.size();
        }
    }
    EXPECT_EQ(linked, 5);
    EXPECT_LE(characters, 1000);
    EXPECT_TRUE(links.truncated);
    EXPECT_EQ(pageTextFromHtml(repeated("<p>x", 100), limits).paragraphs.size(), 20);
    EXPECT_EQ(joined(pageTextFromHtml(QString(5000, u'z'), limits)), std::string(1000, 'z'));
    // An address longer than the bound makes no link.
    const PageText longHref =
        pageTextFromHtml("<a href=\"/" + QString(200, u'a') + "\">long</a>", limits);
    EXPECT_EQ(joined(longHref), std::string("long"));
}

TEST(PageTextFromHtml, LongParagraphsAreCutAndLinksDoNotEndThePass) {
    // One line of 4 MiB took the view's layout 12 s: pieces of 2,000.
    const PageText line = pageTextFromHtml("<p><a href=/x>" + QString(5000, u'y'));
    ASSERT_EQ(line.paragraphs.size(), 3);
    EXPECT_EQ(line.paragraphs[1], (PageParagraph{{QString(2000, u'y'), QStringLiteral("/x")}}));
    EXPECT_EQ(line.paragraphs[2].first().text.size(), 1000);
    const PageText plain = pageTextFromPlain(QString(4500, u'y'));
    EXPECT_EQ(plain.paragraphs.size(), 3);
    // Past the last link the text still comes, without links.
    const PageText links = pageTextFromHtml(repeated("<p><a href=/x>link</a> text", 2000));
    EXPECT_EQ(links.paragraphs.size(), 2000);
    EXPECT_EQ(links.paragraphs.last(), (PageParagraph{{QStringLiteral("link"), QString()},
                                                      {QStringLiteral(" text"), QString()}}));
    EXPECT_TRUE(links.truncated);
}

TEST(PageTextFromHtml, UnfinishedMarkupEndsThePassWithoutHarm) {
    EXPECT_EQ(joined(pageTextFromHtml(QStringLiteral("before<!-- never closed <p>x"))),
              std::string("before"));
    EXPECT_EQ(joined(pageTextFromHtml(QStringLiteral("before<a href=\"never closed>x"))),
              std::string("before"));
    EXPECT_EQ(joined(pageTextFromHtml(QStringLiteral("before<script>x<p>y"))),
              std::string("before"));
    EXPECT_EQ(joined(pageTextFromHtml(QStringLiteral("a <3 b<"))), std::string("a <3 b<"));
    EXPECT_EQ(joined(pageTextFromHtml(QStringLiteral("&#99999999; &#0; &#xd800;"))),
              "\ufffd \ufffd \ufffd");
    // Inputs that would be quadratic for a pass that looked back or re-scanned:
    // four million characters each, read once.
    for (const char* piece : {"<", "&", "<a", "<!", "<script", "'", "<a href='"}) {
        const PageText page = pageTextFromHtml(repeated(piece, (qsizetype(4) << 20) / 8));
        EXPECT_LE(page.paragraphs.size(), PageTextLimits().paragraphs) << piece;
    }
}

TEST(PageTextFromPlain, LinesAsTheyAre) {
    const PageText page = pageTextFromPlain(QStringLiteral("one  two\r\n\n<p>three</p>\n"));
    EXPECT_EQ(joined(page), std::string("one  two//<p>three</p>"));
    EXPECT_FALSE(page.truncated);
    EXPECT_TRUE(pageTextFromPlain(QString(300000, u'x')).truncated);
}
