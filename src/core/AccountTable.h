#pragma once

// The account table: a comma-separated text file, one account per line
// (account name, password, local group, then fields that are shown only).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

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

// The fields of every line of the file that has three or more of them. Throws
// EFOpenError "Cannot open file "%s". %s" when the file cannot be read.
QList<QStringList> readAccountTable(const QString& path, unsigned ansiCodePage);

} // namespace orvane
