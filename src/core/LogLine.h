#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace orvane {

// The locale's long time format without its time-zone field.
QString timeFormatWithoutZone(const QLocale& locale);

// The date-time text of a log line: the locale's short date, a space and the
// long time; the date alone at exactly midnight.
QString DateTimeText(const QDateTime& when, const QLocale& locale);

// "【" + date-time text + "】" + one space + the message, unchanged.
QString LogLine(const QDateTime& when, const QLocale& locale, const QString& message);

} // namespace orvane
