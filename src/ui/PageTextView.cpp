#include "ui/PageTextView.h"

#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

namespace orvane::ui {

namespace {

// Each paragraph a block of its own, the first in the document's first.
void startBlock(QTextCursor& cursor, bool& first) {
    if (!first)
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    first = false;
}

} // namespace

void showPageText(QTextBrowser& view, const PageText& page) {
    view.clear();
    QTextCursor cursor(view.document());
    cursor.beginEditBlock();
    QTextCharFormat link;
    link.setAnchor(true);
    link.setFontUnderline(true);
    link.setForeground(view.palette().link());
    bool first = true;
    for (const PageParagraph& paragraph : page.paragraphs) {
        startBlock(cursor, first);
        for (const PageRun& run : paragraph) {
            if (run.href.isEmpty()) {
                cursor.insertText(run.text, QTextCharFormat());
            } else {
                link.setAnchorHref(run.href);
                cursor.insertText(run.text, link);
            }
        }
    }
    if (page.truncated) {
        startBlock(cursor, first);
        cursor.insertText(QString::fromUtf16(u"（页面过长，其余部分未显示）"), QTextCharFormat());
    }
    cursor.endEditBlock();
    view.moveCursor(QTextCursor::Start);
}

void showPageMessage(QTextBrowser& view, const QString& title, const QString& detail) {
    view.clear();
    QTextCursor cursor(view.document());
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(title, bold);
    cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.insertText(detail, QTextCharFormat());
    view.moveCursor(QTextCursor::Start);
}

} // namespace orvane::ui
