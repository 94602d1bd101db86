#pragma once

// A Samba server reports a share's folder Windows-style ("C:\home\x" for
// /home/x); the program compares it with the local path of a home folder.

#include <QString>

namespace orvane::samba {

QString localSharePath(const QString& reported);

} // namespace orvane::samba
