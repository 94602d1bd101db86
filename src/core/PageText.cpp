#include "core/PageText.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace orvane {

namespace {

// Collects runs and paragraphs, folding white space as a browser does, and
// says when a limit is reached so that the pass can stop.
class Builder {
public:
    Builder(const PageTextLimits& limits, bool fold) : m_limits(limits), m_fold(fold) {}

    // Nothing more can be added: the pass may stop.
    bool full() const { return m_full; }

    void character(QChar c) {
        if (c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u' ') {
            if (!m_fold)
                append(c == u'\t' ? c : QChar(u' '));
            else if (m_hasText)
                m_space = true;
            return;
        }
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return;
        if (m_space) {
            m_space = false;
            append(QChar(u' '));
        }
        append(c);
    }

    void breakParagraph() {
        flushRun();
        m_space = false;
        if (m_paragraph.isEmpty() && m_fold)
            return;
        if (m_page.paragraphs.size() >= m_limits.paragraphs) {
            stop();
            return;
        }
        m_page.paragraphs.append(std::exchange(m_paragraph, {}));
        m_hasText = false;
        m_paragraphCharacters = 0;
    }

    void startLink(QString href) {
        // The space before a link belongs to the text before it.
        if (m_space) {
            m_space = false;
            append(QChar(u' '));
        }
        flushRun();
        if (href.isEmpty() || href.size() > m_limits.hrefLength) {
            m_href.clear();
        } else if (m_links >= m_limits.links) {
            // The text goes on without its links.
            m_href.clear();
            m_page.truncated = true;
        } else {
            m_href = std::move(href);
            ++m_links;
        }
    }

    void endLink() {
        flushRun();
        m_href.clear();
    }

    PageText take() {
        flushRun();
        if (!m_paragraph.isEmpty()) {
            if (m_page.paragraphs.size() < m_limits.paragraphs)
                m_page.paragraphs.append(std::exchange(m_paragraph, {}));
            else
                stop();
        }
        return std::exchange(m_page, {});
    }

private:
    void stop() {
        m_full = true;
        m_page.truncated = true;
    }

    void append(QChar c) {
        if (m_characters >= m_limits.characters) {
            stop();
            return;
        }
        if (m_paragraphCharacters >= m_limits.paragraphLength) {
            // A link cut here goes on in the next piece.
            breakParagraph();
            if (m_full)
                return;
        }
        ++m_characters;
        ++m_paragraphCharacters;
        m_run.append(c);
        m_hasText = true;
    }

    void flushRun() {
        if (!m_run.isEmpty())
            m_paragraph.append(PageRun{std::exchange(m_run, {}), m_href});
    }

    const PageTextLimits& m_limits;
    const bool m_fold;
    PageText m_page;
    PageParagraph m_paragraph;
    QString m_run;
    QString m_href;
    qsizetype m_characters = 0;
    qsizetype m_links = 0;
    qsizetype m_paragraphCharacters = 0;
    bool m_full = false;
    bool m_space = false;
    bool m_hasText = false;
};

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isAsciiAlnum(QChar c) {
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9');
}
bool isSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// An element name in lower case, or empty when it is too long to be one we
// know (it is still skipped whole).
using Name = std::string_view;
struct NameBuffer {
    std::array<char, 12> chars{};
    std::size_t size = 0;
    bool tooLong = false;
    Name view() const { return tooLong ? Name() : Name(chars.data(), size); }
};

bool oneOf(Name name, std::initializer_list<Name> names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool startsParagraph(Name name) {
    return oneOf(name, {"p",        "div",      "br",      "hr",      "li",         "ul",
                        "ol",       "dl",       "dt",      "dd",      "tr",         "table",
                        "tbody",    "thead",    "tfoot",   "caption", "h1",         "h2",
                        "h3",       "h4",       "h5",      "h6",      "pre",        "section",
                        "article",  "aside",    "header",  "footer",  "nav",        "main",
                        "form",     "fieldset", "legend",  "figure",  "figcaption", "address",
                        "center",   "details",  "summary", "body",    "blockquote", "option",
                        "textarea", "iframe"});
}

// Elements whose content is not text to show.
bool isRawText(Name name) {
    return oneOf(name, {"script", "style", "title", "template", "noembed", "xmp"});
}

struct Entity {
    std::string_view name;
    char16_t value;
};
constexpr Entity kEntities[] = {
    {"amp", u'&'},         {"lt", u'<'},          {"gt", u'>'},         {"quot", u'"'},
    {"apos", u'\''},       {"nbsp", u'\u00a0'},   {"copy", u'\u00a9'},  {"reg", u'\u00ae'},
    {"middot", u'\u00b7'}, {"laquo", u'\u00ab'},  {"raquo", u'\u00bb'}, {"ndash", u'\u2013'},
    {"mdash", u'\u2014'},  {"lsquo", u'\u2018'},  {"rsquo", u'\u2019'}, {"ldquo", u'\u201c'},
    {"rdquo", u'\u201d'},  {"hellip", u'\u2026'}, {"bull", u'\u2022'},  {"times", u'\u00d7'},
    {"yen", u'\u00a5'},    {"deg", u'\u00b0'}};

// Decodes the character reference at text[at] (an "&") into out; returns
// where reading goes on. Unknown or malformed ones are taken as text.
qsizetype decodeEntity(QStringView text, qsizetype at, QString& out) {
    const qsizetype n = text.size();
    qsizetype end = at + 1;
    while (end < n && end - at <= 10 && (isAsciiAlnum(text[end]) || text[end] == u'#'))
        ++end;
    if (end >= n || text[end] != u';' || end == at + 1) {
        out.append(u'&');
        return at + 1;
    }
    const QStringView body = text.sliced(at + 1, end - at - 1);
    if (body.startsWith(u'#')) {
        const bool hex = body.size() > 1 && (body[1] == u'x' || body[1] == u'X');
        bool ok = false;
        const uint value = body.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
        if (!ok || value == 0 || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
            out.append(QChar(QChar::ReplacementCharacter));
        else
            out.append(QStringView(QChar::fromUcs4(char32_t(value))));
        return end + 1;
    }
    const QString lower = body.toString().toLower();
    for (const Entity& entity : kEntities) {
        if (lower == QLatin1StringView(entity.name.data(), qsizetype(entity.name.size()))) {
            out.append(QChar(entity.value));
            return end + 1;
        }
    }
    out.append(u'&');
    return at + 1;
}

QString decodeEntities(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'&') {
            i = decodeEntity(text, i, out);
        } else {
            out.append(text[i]);
            ++i;
        }
    }
    return out;
}

// The href attribute among a tag's attributes (the text between its name and
// its ">"), entities decoded; empty when there is none.
QString hrefOf(QStringView attributes) {
    const qsizetype n = attributes.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isSpace(attributes[i]) || attributes[i] == u'/'))
            ++i;
        const qsizetype nameStart = i;
        while (i < n && !isSpace(attributes[i]) && attributes[i] != u'=' && attributes[i] != u'/')
            ++i;
        const QStringView name = attributes.sliced(nameStart, i - nameStart);
        while (i < n && isSpace(attributes[i]))
            ++i;
        QStringView value;
        if (i < n && attributes[i] == u'=') {
            ++i;
            while (i < n && isSpace(attributes[i]))
                ++i;
            if (i < n && (attributes[i] == u'"' || attributes[i] == u'\'')) {
                const QChar quote = attributes[i];
                qsizetype close = attributes.indexOf(quote, i + 1);
                if (close < 0)
                    close = n;
                value = attributes.sliced(i + 1, close - i - 1);
                i = std::min(n, close + 1);
            } else {
                const qsizetype start = i;
                while (i < n && !isSpace(attributes[i]))
                    ++i;
                value = attributes.sliced(start, i - start);
            }
        }
        if (name.compare(u"href", Qt::CaseInsensitive) == 0)
            return decodeEntities(value).trimmed();
        if (name.isEmpty() && i < n && value.isEmpty())
            ++i; // a stray "=" or quote: step over it
    }
    return {};
}

// Reads the markup at html[at] (a "<") and acts on it; returns where the text
// goes on. Every scan moves forward, so the whole pass stays linear.
qsizetype markup(QStringView html, qsizetype at, Builder& out) {
    const qsizetype n = html.size();
    if (html.sliced(at).startsWith(u"<!--")) {
        const qsizetype end = html.indexOf(u"-->", at + 4);
        return end < 0 ? n : end + 3;
    }
    const qsizetype next = at + 1;
    if (next < n && (html[next] == u'!' || html[next] == u'?')) {
        const qsizetype end = html.indexOf(u'>', next);
        return end < 0 ? n : end + 1;
    }
    const bool closing = next < n && html[next] == u'/';
    qsizetype i = closing ? next + 1 : next;
    if (i >= n || !isAsciiLetter(html[i])) {
        out.character(u'<');
        return next;
    }
    NameBuffer name;
    for (; i < n && (isAsciiAlnum(html[i]) || html[i] == u'-'); ++i) {
        if (name.size == name.chars.size())
            name.tooLong = true;
        else
            name.chars[name.size++] = char(html[i].toLower().unicode());
    }
    const qsizetype attributesStart = i;
    // The tag ends at the first ">" outside quotes.
    while (i < n && html[i] != u'>') {
        if (html[i] == u'"' || html[i] == u'\'') {
            const qsizetype close = html.indexOf(html[i], i + 1);
            if (close < 0)
                return n;
            i = close + 1;
        } else {
            ++i;
        }
    }
    if (i >= n)
        return n;
    const qsizetype after = i + 1;
    const Name element = name.view();
    if (element == "a") {
        if (closing)
            out.endLink();
        else
            out.startLink(hrefOf(html.sliced(attributesStart, i - attributesStart)));
    } else if (startsParagraph(element)) {
        out.breakParagraph();
    } else if (element == "td" || element == "th") {
        out.character(u' ');
    } else if (!closing && isRawText(element)) {
        // Up to the matching end tag, which is then read as any other.
        const QString endTag =
            QStringLiteral("</") + QLatin1StringView(element.data(), qsizetype(element.size()));
        const qsizetype end = html.indexOf(endTag, after, Qt::CaseInsensitive);
        return end < 0 ? n : end;
    }
    return after;
}

} // namespace

PageText pageTextFromHtml(QStringView html, const PageTextLimits& limits) {
    Builder out(limits, true);
    QString decoded;
    for (qsizetype i = 0; i < html.size() && !out.full();) {
        const QChar c = html[i];
        if (c == u'<') {
            i = markup(html, i, out);
        } else if (c == u'&') {
            decoded.clear();
            i = decodeEntity(html, i, decoded);
            for (QChar d : std::as_const(decoded))
                out.character(d);
        } else {
            out.character(c);
            ++i;
        }
    }
    return out.take();
}

PageText pageTextFromPlain(QStringView text, const PageTextLimits& limits) {
    Builder out(limits, false);
    for (qsizetype i = 0; i < text.size() && !out.full(); ++i) {
        if (text[i] == u'\n')
            out.breakParagraph();
        else if (text[i] != u'\r')
            out.character(text[i]);
    }
    return out.take();
}

} // namespace orvane
