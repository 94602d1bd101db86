#pragma once

// This mount namespace's mounts, as the kernel lists them in mountinfo.

#include <QByteArray>
#include <QString>
#include <vector>

namespace orvane::rehearsal {

struct Mount {
    QString target;
    QString type;
    bool readOnly = false;
};

// Parses mountinfo text; the kernel writes space, tab, newline and backslash
// in paths as octal escapes.
std::vector<Mount> parseMountInfo(const QByteArray& text);

// The current mount namespace's mounts, in the order they were mounted.
std::vector<Mount> currentMounts();

// Whether mounts of this type keep files of their own on a disk or a server,
// as opposed to the kernel's views (proc, sysfs, ...) and memory (tmpfs).
bool holdsStoredFiles(const QString& type);

} // namespace orvane::rehearsal
