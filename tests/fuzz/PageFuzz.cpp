// Feeds arbitrary bytes through what the root help page does with a hostile
// server's answer: the HTTP reader, whole and in pieces (which must agree,
// and keep within the bounds), and the page-to-text pass (which must keep
// within its limits and never leave an empty run).
#include "core/HttpResponse.h"
#include "core/PageText.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Names the broken rule's line before ending.
#define check(condition)                                                                           \
    ((condition)                                                                                   \
         ? void()                                                                                  \
         : (std::fprintf(stderr, "broken at line %d: %s\n", __LINE__, #condition), std::abort()))

void http(QByteArrayView data, qsizetype step) {
    const orvane::HttpLimits limits{512, 2048};
    orvane::HttpResponse whole(limits), pieces(limits);
    whole.feed(data);
    for (qsizetype at = 0; at < data.size(); at += step)
        pieces.feed(data.sliced(at, std::min(step, data.size() - at)));
    whole.closed();
    pieces.closed();
    check(whole.state() == pieces.state());
    check(whole.failure() == pieces.failure());
    check(whole.body().size() <= limits.body);
    if (whole.state() == orvane::HttpResponse::State::Done) {
        check(whole.status() == pieces.status());
        check(whole.body() == pieces.body());
        check(whole.field("location") == pieces.field("location"));
    }
}

void page(const QString& text, bool plain) {
    const orvane::PageTextLimits limits{300, 20, 5, 40, 50};
    const orvane::PageText out =
        plain ? orvane::pageTextFromPlain(text, limits) : orvane::pageTextFromHtml(text, limits);
    check(out.paragraphs.size() <= limits.paragraphs);
    qsizetype characters = 0, links = 0;
    for (const orvane::PageParagraph& paragraph : out.paragraphs) {
        check(plain || !paragraph.isEmpty());
        qsizetype length = 0;
        for (const orvane::PageRun& run : paragraph)
            length += run.text.size();
        check(length <= limits.paragraphLength);
        for (const orvane::PageRun& run : paragraph) {
            check(!run.text.isEmpty());
            check(run.href.size() <= limits.hrefLength);
            characters += run.text.size();
            links += run.href.isEmpty() ? 0 : 1;
        }
    }
    check(characters <= limits.characters);
    // A link that runs across paragraphs is a run in each of them.
    check(links <= limits.links + out.paragraphs.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const QByteArrayView rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    const int mode = data[0] % 3;
    if (mode == 0)
        http(rest, 1 + data[0] / 3);
    else
        page(QString::fromUtf8(rest), mode == 2);
    return 0;
}
