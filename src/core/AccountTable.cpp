#include "core/AccountTable.h"

#include <QStringDecoder>
#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace orvane {

namespace {

bool isBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

QString decoderName(unsigned codePage) {
    switch (codePage) {
    case 936:
        return QStringLiteral("GBK");
    case 950:
        return QStringLiteral("Big5");
    case 932:
        return QStringLiteral("Shift_JIS");
    case 949:
        return QStringLiteral("windows-949");
    case 874:
        return QStringLiteral("windows-874");
    default:
        return QStringLiteral("windows-%1").arg(codePage);
    }
}

QString decodeUtf16(const char* data, qsizetype size, bool bigEndian) {
    QString text(size / 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto* in = reinterpret_cast<const unsigned char*>(data);
    for (qsizetype i = 0; i < size / 2; ++i)
        out[i] = bigEndian ? char16_t(in[2 * i] << 8 | in[2 * i + 1])
                           : char16_t(in[2 * i + 1] << 8 | in[2 * i]);
    return text;
}

} // namespace

unsigned ansiCodePageForLocale(const QString& localeName) {
    const QString name = localeName.section(u'.', 0, 0).section(u'@', 0, 0);
    const QString language = name.section(u'_', 0, 0).toLower();
    const QString territory = name.section(u'_', 1, 1).toUpper();
    if (language == u"zh")
        return territory == u"TW" || territory == u"HK" || territory == u"MO" ? 950 : 936;
    struct Entry {
        const char* language;
        unsigned codePage;
    };
    static const Entry table[] = {
        {"ja", 932},  {"ko", 949},  {"th", 874},  {"vi", 1258}, {"ru", 1251}, {"uk", 1251},
        {"be", 1251}, {"bg", 1251}, {"sr", 1251}, {"mk", 1251}, {"kk", 1251}, {"ky", 1251},
        {"mn", 1251}, {"tt", 1251}, {"pl", 1250}, {"cs", 1250}, {"sk", 1250}, {"hu", 1250},
        {"sl", 1250}, {"hr", 1250}, {"bs", 1250}, {"ro", 1250}, {"sq", 1250}, {"el", 1253},
        {"tr", 1254}, {"az", 1254}, {"he", 1255}, {"yi", 1255}, {"ar", 1256}, {"fa", 1256},
        {"ur", 1256}, {"et", 1257}, {"lv", 1257}, {"lt", 1257},
    };
    for (const Entry& e : table)
        if (language == QLatin1String(e.language))
            return e.codePage;
    return 1252;
}

unsigned systemAnsiCodePage() {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return ansiCodePageForLocale(value);
    }
    return 1252;
}

QString decodeAccountTable(const QByteArray& bytes, unsigned ansiCodePage) {
    QString text;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // Only the units before the first NUL are decoded.
        const char* const units = bytes.constData() + 2;
        qsizetype size = (bytes.size() - 2) & ~qsizetype(1);
        for (qsizetype i = 0; i < size; i += 2)
            if (units[i] == 0 && units[i + 1] == 0) {
                size = i;
                break;
            }
        return decodeUtf16(units, size, bytes.at(0) == '\xFE');
    }
    // In UTF-8 and every ANSI code page a NUL byte is a NUL character, even
    // after a lead byte, so decoding can stop at it: a file of NULs (or a
    // NUL early in a large one) is not decoded. The NUL itself is decoded,
    // so a lead byte before it ends as it would in the whole text.
    const bool utf8 = bytes.startsWith("\xEF\xBB\xBF");
    const qsizetype begin = utf8 ? 3 : 0;
    const qsizetype nul = bytes.indexOf('\0', begin);
    const QByteArrayView before(bytes.constData() + begin,
                                (nul < 0 ? bytes.size() : nul + 1) - begin);
    if (utf8) {
        text = QString::fromUtf8(before);
    } else {
        QStringDecoder decoder(decoderName(ansiCodePage).toLatin1().constData());
        if (!decoder.isValid())
            decoder = QStringDecoder("windows-1252");
        text = decoder.decode(before);
    }
    const qsizetype end = text.indexOf(QChar(0));
    if (end >= 0)
        text.truncate(end);
    return text;
}

namespace {

// Calls take(line) for each line of the text, as a view into it.
template <class Take> void forEachLine(QStringView text, Take&& take) {
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        take(text.mid(start, i - start));
        if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        take(text.mid(start));
}

} // namespace

QStringList splitLines(QStringView text) {
    QStringList lines;
    forEachLine(text, [&](QStringView line) { lines.append(line.toString()); });
    return lines;
}

namespace {

// The fields of a split line, each built as a QString of its own.
class ListSink {
public:
    explicit ListSink(QStringList* fields) : m_fields(fields) {}
    void begin() { m_field.clear(); }
    void append(const QChar* chars, qsizetype size) { m_field.append(chars, size); }
    void end() { m_fields->append(std::exchange(m_field, QString())); }

private:
    QStringList* m_fields;
    QString m_field;
};

// Fields kept back to back in the table's one text.
class TableSink {
public:
    TableSink(QString& text, std::vector<quint32>& starts) : m_text(text), m_starts(starts) {}
    void begin() { m_starts.push_back(quint32(m_text.size())); }
    void append(const QChar* chars, qsizetype size) { m_text.append(chars, size); }
    void end() {}

private:
    QString& m_text;
    std::vector<quint32>& m_starts;
};

// One walk over the fields of a line, for every way of keeping them, so all
// follow the same rules. Only fields below `keep` go to the sink; the others
// are skipped over at the cost of a scan. Returns how many fields the line has.
template <class Sink> qsizetype walkFields(QStringView line, qsizetype keep, Sink* sink) {
    const qsizetype size = line.size();
    const QChar* const chars = line.data();
    qsizetype count = 0;
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < size && isBlank(chars[i]))
            ++i;
    };
    skipBlanks();
    while (i < size) {
        const bool build = count < keep;
        if (build)
            sink->begin();
        if (chars[i] == u'"') {
            ++i;
            while (i < size) {
                // Copy the run up to the next quote in one piece.
                qsizetype quote = line.indexOf(u'"', i);
                if (quote < 0)
                    quote = size;
                if (build)
                    sink->append(chars + i, quote - i);
                i = quote;
                if (i == size)
                    break;
                if (i + 1 < size && chars[i + 1] == u'"') {
                    if (build)
                        sink->append(chars + i, 1);
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
        } else {
            const qsizetype start = i;
            while (i < size && chars[i] != u',' && !isBlank(chars[i]))
                ++i;
            if (build)
                sink->append(chars + start, i - start);
        }
        if (build)
            sink->end();
        ++count;
        skipBlanks();
        if (i < size && chars[i] == u',') {
            if (i == size - 1) {
                if (count < keep) {
                    sink->begin();
                    sink->end();
                }
                ++count;
            }
            ++i;
            skipBlanks();
        }
    }
    return count;
}

} // namespace

QStringList splitFields(QStringView line) {
    QStringList fields;
    fields.reserve(8);
    ListSink sink(&fields);
    walkFields(line, std::numeric_limits<qsizetype>::max(), &sink);
    return fields;
}

qsizetype splitFields(QStringView line, qsizetype keep, QStringList& kept) {
    ListSink sink(&kept);
    return walkFields(line, keep, &sink);
}

QStringList AccountTable::line(qsizetype index) const {
    QStringList fields;
    const qsizetype count = fieldCount(index);
    fields.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        fields.append(field(index, i).toString());
    return fields;
}

QList<QStringList> AccountTable::toLists() const {
    QList<QStringList> lists;
    lists.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        lists.append(line(i));
    return lists;
}

AccountTable parseAccountTable(QByteArray bytes, unsigned ansiCodePage) {
    const QString text = decodeAccountTable(bytes, ansiCodePage);
    bytes = QByteArray();
    // Positions are kept in 32 bits: far more than the largest table read.
    if (text.size() >= qsizetype(std::numeric_limits<quint32>::max()))
        throw std::length_error("account table too large");
    AccountTable table;
    table.m_lineStarts.clear();
    // Kept fields are never longer than the text, there are never more of
    // them than separators, nor more lines than line ends: room for all at
    // once, so that none grows to twice its need on the way.
    table.m_text.reserve(text.size());
    qsizetype separators = 1;
    qsizetype lineEnds = 1;
    for (QChar c : text) {
        separators += (c == u',' || isBlank(c)) ? 1 : 0;
        lineEnds += (c == u'\n' || c == u'\r') ? 1 : 0;
    }
    table.m_fieldStarts.reserve(std::size_t(separators) + 1);
    table.m_lineStarts.reserve(std::size_t(lineEnds) + 1);
    TableSink sink(table.m_text, table.m_fieldStarts);
    forEachLine(text, [&](QStringView line) {
        const qsizetype textSize = table.m_text.size();
        const std::size_t fieldCount = table.m_fieldStarts.size();
        // A line that is not an account is taken back.
        if (walkFields(line, kAccountFieldsKept, &sink) < 3) {
            table.m_text.truncate(textSize);
            table.m_fieldStarts.resize(fieldCount);
            return;
        }
        table.m_lineStarts.push_back(quint32(fieldCount));
    });
    table.m_fieldStarts.push_back(quint32(table.m_text.size()));
    table.m_lineStarts.push_back(quint32(table.m_fieldStarts.size() - 1));
    return table;
}

} // namespace orvane
