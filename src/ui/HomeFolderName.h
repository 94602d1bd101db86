#pragma once

#include "core/Text.h"

#include <QString>

namespace orvane::ui {

// Whether an account name can stand as one folder under the home root: not
// empty, not "." or "..", and holding no separator or NUL, so that no folder
// operation ever reaches outside the home root.
inline bool isPlainFolderName(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    return !name.contains(QChar(0)) && !name.contains(u'/');
}

inline QString notAFolderNameLine(const QString& name) {
    return name + QString::fromUtf16(u" 不是有效的文件夹名称,已跳过");
}

} // namespace orvane::ui
