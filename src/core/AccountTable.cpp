#include "core/AccountTable.h"

#include "core/Errors.h"
#include "core/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cerrno>
#include <clocale>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Closes the descriptor when the read is done, however it ends.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

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
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    } else if (bytes.startsWith("\xFF\xFE")) {
        text = decodeUtf16(bytes.constData() + 2, bytes.size() - 2, false);
    } else if (bytes.startsWith("\xFE\xFF")) {
        text = decodeUtf16(bytes.constData() + 2, bytes.size() - 2, true);
    } else {
        QStringDecoder decoder(decoderName(ansiCodePage).toLatin1().constData());
        if (!decoder.isValid())
            decoder = QStringDecoder("windows-1252");
        text = decoder.decode(bytes);
    }
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
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

QStringList splitFields(QStringView line) {
    QStringList fields;
    fields.reserve(8);
    const qsizetype size = line.size();
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < size && isBlank(line[i]))
            ++i;
    };
    skipBlanks();
    while (i < size) {
        QString field;
        if (line[i] == u'"') {
            ++i;
            while (i < size) {
                // Copy the run up to the next quote in one piece.
                qsizetype quote = line.indexOf(u'"', i);
                if (quote < 0)
                    quote = size;
                field += line.mid(i, quote - i);
                i = quote;
                if (i == size)
                    break;
                if (i + 1 < size && line[i + 1] == u'"') {
                    field += u'"';
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
        } else {
            const qsizetype start = i;
            while (i < size && line[i] != u',' && !isBlank(line[i]))
                ++i;
            field = line.mid(start, i - start).toString();
        }
        fields.append(std::move(field));
        skipBlanks();
        if (i < size && line[i] == u',') {
            if (i == size - 1)
                fields.append(QString());
            ++i;
            skipBlanks();
        }
    }
    return fields;
}

QList<QStringList> readAccountTable(const QString& path, unsigned ansiCodePage) {
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    const auto fail = [&](int err) {
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                              .arg(QDir::toNativeSeparators(fullPath), systemErrorText(err)));
    };
    FileDescriptor file{::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)};
    if (path.isEmpty() || file.fd < 0)
        fail(path.isEmpty() ? ENOENT : errno);
    struct stat st;
    if (::fstat(file.fd, &st) != 0)
        fail(errno);
    if (S_ISDIR(st.st_mode))
        fail(EISDIR);
    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (got == 0)
            break;
        bytes.append(chunk, got);
    }
    QList<QStringList> table;
    const QString text = decodeAccountTable(bytes, ansiCodePage);
    forEachLine(text, [&](QStringView line) {
        QStringList fields = splitFields(line);
        if (fields.size() >= 3)
            table.append(std::move(fields));
    });
    return table;
}

} // namespace orvane
