#pragma once

// The account table: a comma-separated text file, one account per line
// (account name, password, local group, then fields that are shown only).
// Reading the file is the platform's (platform/AccountTableFile.h); the rules
// for its bytes are here, without system calls.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

namespace orvane {

// The ANSI code page Windows uses for a locale ("zh_CN.UTF-8" gives 936).
unsigned ansiCodePageForLocale(const QString& localeName);
// The ANSI code page of this process's locale (LC_ALL, LC_CTYPE, LANG).
unsigned systemAnsiCodePage();

// The file's text: UTF-8, UTF-16LE or UTF-16BE by its byte-order mark, else
// the ANSI code page; the text ends at its first NUL character.
QString decodeAccountTable(const QByteArray& bytes, unsigned ansiCodePage);

// Lines end at CR LF, a lone CR or a lone LF; a last line without a break
// counts.
QStringList splitLines(QStringView text);

// The fields of one line: comma-delimited, double-quoted, and a blank (codes 1
// to 32) separating fields just as a comma does.
QStringList splitFields(QStringView line);
// The same fields, of which only the first `keep` are appended to `kept`; the
// rest are counted, not built. Returns how many fields the line has.
qsizetype splitFields(QStringView line, qsizetype keep, QStringList& kept);

// How many fields of an account line are kept: the preview shows 21 columns
// and the import uses the first three; anything past that would only cost
// memory on a hostile line.
inline constexpr qsizetype kAccountFieldsKept = 21;

// The account lines of a table: every line with three or more fields, each
// with its first kAccountFieldsKept fields. All fields are kept back to back
// in one text, so a table takes a small multiple of its file's size however
// short its lines are.
class AccountTable {
public:
    qsizetype size() const { return qsizetype(m_lineStarts.size()) - 1; }
    bool isEmpty() const { return size() <= 0; }
    qsizetype fieldCount(qsizetype line) const {
        return qsizetype(m_lineStarts[std::size_t(line) + 1] - m_lineStarts[std::size_t(line)]);
    }
    QStringView field(qsizetype line, qsizetype index) const {
        const std::size_t at = m_lineStarts[std::size_t(line)] + std::size_t(index);
        return QStringView(m_text).mid(m_fieldStarts[at],
                                       m_fieldStarts[at + 1] - m_fieldStarts[at]);
    }
    QStringList line(qsizetype index) const;
    QList<QStringList> toLists() const;

private:
    friend AccountTable parseAccountTable(QByteArray bytes, unsigned ansiCodePage);

    QString m_text;
    // Where each field starts in m_text, and after the last one, its end.
    std::vector<quint32> m_fieldStarts;
    // The first field of each line, and after the last line, the field count.
    std::vector<quint32> m_lineStarts{0};
};

// The account lines of a table's bytes. The bytes are released once decoded,
// so pass them in with std::move where they are not needed.
AccountTable parseAccountTable(QByteArray bytes, unsigned ansiCodePage);

} // namespace orvane
