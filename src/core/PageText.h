#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace orvane {

// A web page reduced to what a plain text view can show without a layout
// engine: paragraphs of text, some of it links. Flat by construction, so a
// page nested thousands of levels deep shows as a few paragraphs.
struct PageRun {
    QString text;
    QString href; // empty for plain text; as the page wrote it, unresolved
    bool operator==(const PageRun&) const = default;
};
using PageParagraph = QList<PageRun>;

struct PageText {
    QList<PageParagraph> paragraphs;
    // Something was left out to stay within the limits.
    bool truncated = false;
};

// How much a page may become; beyond it the rest is dropped.
struct PageTextLimits {
    qsizetype characters = 200000;
    qsizetype paragraphs = 5000;
    qsizetype links = 1000;
    qsizetype hrefLength = 2048;
    // Longer paragraphs are cut into pieces of this size: laying out one
    // long line costs the view far more than many short ones.
    qsizetype paragraphLength = 2000;
};

// One forward pass over the markup: tags are read and dropped (never
// matched, so nothing nests), scripts, styles and the head's title are
// skipped, blocks and line breaks start paragraphs, entities are decoded and
// white space is folded. Work and memory grow linearly with the input.
PageText pageTextFromHtml(QStringView html, const PageTextLimits& limits = {});

// A text/plain page: its lines as paragraphs, within the same limits.
PageText pageTextFromPlain(QStringView text, const PageTextLimits& limits = {});

} // namespace orvane
