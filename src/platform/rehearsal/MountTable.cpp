#include "platform/rehearsal/MountTable.h"

#include <QFile>
#include <QSet>

namespace orvane::rehearsal {

namespace {

QString unescaped(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code >= 0 && code < 256) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

} // namespace

std::vector<Mount> parseMountInfo(const QByteArray& text) {
    std::vector<Mount> mounts;
    for (const QByteArray& line : text.split('\n')) {
        // ID PARENT MAJ:MIN ROOT TARGET OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 7 || dash < 6 || dash + 1 >= fields.size())
            continue;
        const QList<QByteArray> options = fields[5].split(',');
        mounts.push_back(Mount{unescaped(fields[4]), QString::fromUtf8(fields[dash + 1]),
                               options.contains("ro")});
    }
    return mounts;
}

std::vector<Mount> currentMounts() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A read of a proc file may end short; read to its end.
    return parseMountInfo(file.readAll());
}

bool holdsStoredFiles(const QString& type) {
    static const QSet<QString> views{
        QStringLiteral("proc"),        QStringLiteral("sysfs"),     QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),      QStringLiteral("tmpfs"),     QStringLiteral("ramfs"),
        QStringLiteral("mqueue"),      QStringLiteral("cgroup"),    QStringLiteral("cgroup2"),
        QStringLiteral("securityfs"),  QStringLiteral("debugfs"),   QStringLiteral("tracefs"),
        QStringLiteral("pstore"),      QStringLiteral("bpf"),       QStringLiteral("configfs"),
        QStringLiteral("fusectl"),     QStringLiteral("hugetlbfs"), QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"), QStringLiteral("efivarfs"),  QStringLiteral("nsfs"),
        QStringLiteral("rpc_pipefs"),  QStringLiteral("selinuxfs"),
    };
    // An overlay (the root of a container) and fuse mounts hold stored files.
    return !views.contains(type);
}

} // namespace orvane::rehearsal
