// Feeds arbitrary bytes through the account table reader: decoding by
// byte-order mark or code page, line splitting and field splitting, and holds
// the reader's short cuts (decoding only up to the first NUL, building only the
// kept fields) to the plain rules they stand for.
#include "core/AccountTable.h"

#include <QByteArray>
#include <QStringDecoder>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct CodePage {
    unsigned number;
    const char* decoder;
};
constexpr CodePage kCodePages[] = {
    {936, "GBK"},           {950, "Big5"},          {932, "Shift_JIS"},     {949, "windows-949"},
    {874, "windows-874"},   {1250, "windows-1250"}, {1251, "windows-1251"}, {1252, "windows-1252"},
    {1253, "windows-1253"}, {1254, "windows-1254"}, {1255, "windows-1255"}, {1256, "windows-1256"},
    {1257, "windows-1257"}, {1258, "windows-1258"},
};

// The whole file decoded, then cut at its first NUL character.
QString decodeWhole(const QByteArray& bytes, const char* decoderName) {
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.mid(3));
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool big = bytes.at(0) == '\xFE';
        for (qsizetype i = 2; i + 1 < bytes.size(); i += 2) {
            const auto hi = uchar(bytes[big ? i : i + 1]), lo = uchar(bytes[big ? i + 1 : i]);
            text.append(QChar(char16_t(hi << 8 | lo)));
        }
    } else {
        QStringDecoder decoder(decoderName);
        text = decoder.decode(bytes);
    }
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses the code page and how many fields to keep.
    const CodePage& page = kCodePages[data[0] % std::size(kCodePages)];
    const qsizetype keep = data[0] / std::size(kCodePages) % 8;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString text = orvane::decodeAccountTable(bytes, page.number);
    if (text != decodeWhole(bytes, page.decoder))
        std::abort();
    QList<QStringList> expected;
    for (const QString& line : orvane::splitLines(text)) {
        if (line.contains(u'\r') || line.contains(u'\n'))
            std::abort();
        const QStringList fields = orvane::splitFields(line);
        // Every field comes from the line: none is longer than it.
        for (const QString& field : fields)
            if (field.size() > line.size())
                std::abort();
        // Fields past `keep` are counted, not built.
        QStringList kept;
        if (orvane::splitFields(line, keep, kept) != fields.size() || kept != fields.mid(0, keep))
            std::abort();
        if (fields.size() >= 3)
            expected.append(fields.mid(0, orvane::kAccountFieldsKept));
    }
    if (orvane::parseAccountTable(bytes, page.number).toLists() != expected)
        std::abort();
    return 0;
}
