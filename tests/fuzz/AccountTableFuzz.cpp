// Feeds arbitrary bytes through the account table reader: decoding by
// byte-order mark or code page, line splitting and field splitting.
#include "core/AccountTable.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
constexpr unsigned kCodePages[] = {936,  950,  932,  949,  874,  1250, 1251,
                                   1252, 1253, 1254, 1255, 1256, 1257, 1258};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const unsigned page = kCodePages[data[0] % std::size(kCodePages)];
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const QString text = orvane::decodeAccountTable(bytes, page);
    if (text.contains(QChar(0)))
        std::abort(); // the text ends at its first NUL
    for (const QString& line : orvane::splitLines(text)) {
        if (line.contains(u'\r') || line.contains(u'\n'))
            std::abort();
        const QStringList fields = orvane::splitFields(line);
        // Every field comes from the line: none is longer than it.
        for (const QString& field : fields)
            if (field.size() > line.size())
                std::abort();
    }
    return 0;
}
