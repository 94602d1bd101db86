#include "platform/samba/SharePaths.h"

namespace orvane::samba {

QString localSharePath(const QString& reported) {
    const bool drive = reported.size() >= 2 && reported[1] == u':' && reported[0].isLetter() &&
                       reported[0].unicode() < 0x80 &&
                       (reported.size() == 2 || reported[2] == u'\\');
    if (!drive)
        return reported;
    QString path = reported.mid(2);
    path.replace(u'\\', u'/');
    return path.isEmpty() ? QStringLiteral("/") : path;
}

} // namespace orvane::samba
