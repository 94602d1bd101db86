#include "core/LogLine.h"

namespace orvane {

QString timeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == u'\'') {
            quoted = !quoted;
            out += c;
        } else if (!quoted && c == u't') {
            // Drop the zone and the blanks that separated it from the time.
            while (i + 1 < format.size() && format[i + 1] == u't')
                ++i;
            while (i + 1 < format.size() && format[i + 1].isSpace())
                ++i;
            while (!out.isEmpty() && out.back().isSpace())
                out.chop(1);
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

QString DateTimeText(const QDateTime& when, const QLocale& locale) {
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0, 0, 0))
        return date;
    return date + u' ' + locale.toString(when.time(), timeFormatWithoutZone(locale));
}

QString LogLine(const QDateTime& when, const QLocale& locale, const QString& message) {
    return u'【' + DateTimeText(when, locale) + QStringLiteral("】 ") + message;
}

} // namespace orvane
