#include "core/Text.h"

namespace orvane {

namespace {
bool isBlank(QChar c) {
    return c.unicode() <= 32;
}
} // namespace

QString Trim(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return text.mid(first, last - first);
}

QString IncludeTrailingPathDelimiter(const QString& path) {
    if (path.endsWith(PathDelimiter))
        return path;
    return path + PathDelimiter;
}

QString WithFullStop(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

bool NamesTheTop(const QString& path) {
    for (QChar c : path)
        if (c != PathDelimiter)
            return false;
    return true;
}

} // namespace orvane
