#include "platform/AccountTableFile.h"

#include "core/AccountTable.h"
#include "core/Errors.h"
#include "core/SystemErrors.h"
#include "platform/Descriptor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// A limit as people read it: in MiB when it is a whole number of them.
QString sizeText(qint64 bytes) {
    constexpr qint64 mib = qint64(1) << 20;
    if (bytes >= mib && bytes % mib == 0)
        return QStringLiteral("%1 MiB").arg(bytes / mib);
    return QStringLiteral("%1 B").arg(bytes);
}

// A read that a signal interrupted is made again.
ssize_t readSome(int fd, char* into, size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd, into, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace

QByteArray readRegularFile(const QString& path, qint64 limit) {
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    const auto fail = [&](const QString& reason) {
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                              .arg(QDir::toNativeSeparators(fullPath), reason));
    };
    const auto failErrno = [&](int err) { fail(systemErrorText(err)); };
    const auto failTooLarge = [&] {
        fail(QStringLiteral("%1 (> %2)").arg(systemErrorText(EFBIG), sizeText(limit)));
    };
    if (path.isEmpty() || path.contains(QChar(0)))
        failErrno(ENOENT);
    // The kinds of file that are refused, with their reasons.
    const auto refuseOtherThanRegular = [&](const struct stat& st) {
        if (S_ISDIR(st.st_mode))
            failErrno(EISDIR);
        if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))
            failErrno(ESPIPE);
        if (!S_ISREG(st.st_mode))
            failErrno(ENODEV);
    };
    // Refused before it is opened, since opening a device can act on it (a
    // tape rewinds); and again once open, in case it was swapped meanwhile.
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) == 0)
        refuseOtherThanRegular(st);
    // Non-blocking, so that a FIFO swapped in opens at once and is refused;
    // no terminal becomes this process's controlling one.
    const Descriptor file(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.valid())
        failErrno(errno);
    if (::fstat(file.get(), &st) != 0)
        failErrno(errno);
    refuseOtherThanRegular(st);
    if (st.st_size > limit)
        failTooLarge();

    // Room for the file as it stands plus one byte, so its end is seen
    // without growing; a file that grows gets more room, up to the limit.
    QByteArray bytes(qsizetype(std::min<qint64>(st.st_size + 1, limit)), Qt::Uninitialized);
    qsizetype size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size == limit) {
                // The limit is reached: one byte more means too large.
                char probe;
                const ssize_t got = readSome(file.get(), &probe, 1);
                if (got < 0)
                    failErrno(errno);
                if (got > 0)
                    failTooLarge();
                break;
            }
            bytes.resize(qsizetype(std::min<qint64>(limit, qint64(size) * 2 + 65536)));
        }
        const ssize_t got = readSome(file.get(), bytes.data() + size, size_t(bytes.size() - size));
        if (got < 0)
            failErrno(errno);
        if (got == 0)
            break;
        size += got;
    }
    bytes.truncate(size);
    return bytes;
}

AccountTable readAccountTable(const QString& path, unsigned ansiCodePage) {
    return parseAccountTable(readRegularFile(path, kAccountTableLimit), ansiCodePage);
}

} // namespace orvane
