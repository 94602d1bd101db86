// The machine's skeleton copied into a new home folder, relative to open
// folders on both sides and never through a link.
#include "platform/FolderAt.h"

#include "core/SystemErrors.h"
#include "platform/Descriptor.h"
#include "platform/FolderListing.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace orvane {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// Deeper than any skeleton; bounds the descriptors open at once.
constexpr int kMostDepth = 32;

class SkeletonCopy {
public:
    SkeletonCopy(uid_t user, gid_t group) : m_user(user), m_group(group) {}

    void folder(int from, int into, int depth) {
        FolderListing listing{Descriptor(::openat(from, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))};
        if (!listing.valid())
            return fail(errno);
        while (const char* name = listing.next())
            entry(from, into, name, depth);
    }

    unsigned error() const { return m_error; }

private:
    void fail(int err) {
        if (m_error == 0)
            m_error = windowsErrorFromErrno(err);
    }

    void entry(int from, int into, const char* name, int depth) {
        struct stat st;
        if (::fstatat(from, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(errno);
        if (S_ISLNK(st.st_mode))
            link(from, into, name, st);
        else if (S_ISDIR(st.st_mode))
            subfolder(from, into, name, st, depth);
        else if (S_ISREG(st.st_mode))
            file(from, into, name, st);
    }

    void link(int from, int into, const char* name, const struct stat& st) {
        std::vector<char> target(std::size_t(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t size = ::readlinkat(from, name, target.data(), target.size());
        if (size < 0 || std::size_t(size) >= target.size())
            return fail(size < 0 ? errno : ENAMETOOLONG);
        target[std::size_t(size)] = '\0';
        if (::symlinkat(target.data(), into, name) != 0 ||
            ::fchownat(into, name, m_user, m_group, AT_SYMLINK_NOFOLLOW) != 0)
            fail(errno);
    }

    void subfolder(int from, int into, const char* name, const struct stat& st, int depth) {
        if (depth >= kMostDepth)
            return fail(ELOOP);
        if (::mkdirat(into, name, 0700) != 0)
            return fail(errno);
        const Descriptor source(::openat(from, name, kFolderFlags));
        const Descriptor copy(::openat(into, name, kFolderFlags));
        if (!source.valid() || !copy.valid())
            return fail(errno);
        folder(source.get(), copy.get(), depth + 1);
        if (::fchown(copy.get(), m_user, m_group) != 0 ||
            ::fchmod(copy.get(), st.st_mode & 07777) != 0)
            fail(errno);
    }

    void file(int from, int into, const char* name, const struct stat& st) {
        // O_NONBLOCK: an entry swapped for a fifo meanwhile does not hang the
        // copy; the check below then leaves it out.
        const Descriptor source(
            ::openat(from, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened;
        if (!source.valid() || ::fstat(source.get(), &opened) != 0)
            return fail(errno);
        if (!S_ISREG(opened.st_mode))
            return;
        const Descriptor copy(
            ::openat(into, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!copy.valid())
            return fail(errno);
        char block[65536];
        for (;;) {
            const ssize_t got = ::read(source.get(), block, sizeof block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return fail(errno);
            if (got == 0)
                break;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(copy.get(), block + done, std::size_t(got - done));
                if (put < 0 && errno == EINTR)
                    continue;
                if (put < 0)
                    return fail(errno);
                done += put;
            }
        }
        if (::fchown(copy.get(), m_user, m_group) != 0 ||
            ::fchmod(copy.get(), st.st_mode & 0777) != 0)
            fail(errno);
    }

    uid_t m_user;
    gid_t m_group;
    unsigned m_error = 0;
};

} // namespace

unsigned copySkeletonAt(int into, const char* skeleton, uid_t user, gid_t group) {
    const Descriptor from(::open(skeleton, kFolderFlags));
    if (!from.valid())
        return errno == ENOENT ? 0 : windowsErrorFromErrno(errno);
    SkeletonCopy copy(user, group);
    copy.folder(from.get(), into, 0);
    return copy.error();
}

} // namespace orvane
