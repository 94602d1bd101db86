// Removing a folder and what it holds, relative to an open parent folder.
#include "platform/FolderAt.h"

#include "platform/Descriptor.h"
#include "platform/FolderListing.h"
#include "platform/HomeRoot.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace orvane {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef AT_NO_AUTOMOUNT
constexpr int kEntryStatFlags = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
#else
constexpr int kEntryStatFlags = AT_SYMLINK_NOFOLLOW;
#endif

// A folder as the walk met it. The mount is known on Linux; elsewhere only
// the device tells file systems apart.
struct Place {
    dev_t dev = 0;
    ino_t ino = 0;
    bool hasMount = false;
    std::uint64_t mount = 0;
};

// A bind mount of the same file system keeps the device number: only the
// mount id tells it apart.
bool sameMount(const Place& a, const Place& b) {
    return a.dev == b.dev && (!a.hasMount || !b.hasMount || a.mount == b.mount);
}

bool samePlace(const Place& a, const Place& b) {
    return a.ino == b.ino && sameMount(a, b);
}

#ifdef __linux__
bool mountIdOf(int fd, std::uint64_t& id) {
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_MNT_ID, &sx) == 0 &&
        (sx.stx_mask & STATX_MNT_ID)) {
        id = sx.stx_mnt_id;
        return true;
    }
    // Kernels before 5.8 name the mount only in the descriptor's fdinfo.
    char path[48];
    std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", fd);
    const Descriptor info(::open(path, O_RDONLY | O_CLOEXEC));
    if (!info.valid())
        return false;
    char text[1024];
    const ssize_t size = ::read(info.get(), text, sizeof text - 1);
    if (size <= 0)
        return false;
    text[size] = '\0';
    const char* field = std::strstr(text, "mnt_id:");
    if (!field)
        return false;
    id = std::strtoull(field + 7, nullptr, 10);
    return true;
}
#else
bool mountIdOf(int, std::uint64_t&) {
    return false;
}
#endif

bool placeOf(int folder, Place& place) {
    struct stat st;
    if (::fstat(folder, &st) != 0)
        return false;
    place.dev = st.st_dev;
    place.ino = st.st_ino;
    place.hasMount = mountIdOf(folder, place.mount);
    return true;
}

// Every entry's name, read to the end before anything is deleted, so that
// deleting cannot make the enumeration skip an entry. Only the folder's own
// "." and ".." are left out: ". " or "..\t" are ordinary names here.
std::vector<std::string> entryNames(int folder) {
    std::vector<std::string> names;
    FolderListing listing{Descriptor(::dup(folder))};
    while (const char* name = listing.next())
        names.emplace_back(name);
    return names;
}

// Read-only files stay (no write bit for the owner: root could delete them
// regardless), as do files the file system keeps from deletion.
bool mayDelete([[maybe_unused]] int folder, [[maybe_unused]] const char* name,
               const struct stat& st) {
    if (!(st.st_mode & S_IWUSR))
        return false;
#ifdef __linux__
    // Opening a device to ask could act on it; only regular files are asked.
    if (!S_ISREG(st.st_mode))
        return true;
    const Descriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.valid())
        return true;
    int flags = 0;
    return ::ioctl(file.get(), FS_IOC_GETFLAGS, &flags) != 0 ||
           !(flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
#else
    return true;
#endif
}

// Asks the caller whether to go on, by the count of entries and by the clock.
class Progress {
public:
    explicit Progress(const std::function<bool()>& keepGoing)
        : m_keepGoing(keepGoing), m_last(Clock::now()) {}

    bool step() {
        if (!m_keepGoing)
            return true;
        const auto now = Clock::now();
        if (++m_entries < kRemovalReportEntries && now - m_last < std::chrono::milliseconds(20))
            return true;
        const bool go = m_keepGoing();
        m_entries = 0;
        m_last = Clock::now();
        return go;
    }

private:
    using Clock = std::chrono::steady_clock;
    const std::function<bool()>& m_keepGoing;
    int m_entries = 0;
    Clock::time_point m_last;
};

enum class Walk { Done, Stopped, Lost };

struct Level {
    Place place;
    std::string name; // in its parent
    std::vector<std::string> pending;
};

// Empties the open folder depth first with one folder descriptor open at a
// time: any depth fits the descriptor limit. Going back up is by "..", checked
// against the folder the walk came from, so a folder moved out meanwhile
// cannot lead it outside the tree. Entries are named relative to the open
// folder and links are removed as links.
Walk emptyTree(Descriptor folder, const Place& top, Progress& progress) {
    std::vector<Level> levels;
    levels.push_back({top, {}, entryNames(folder.get())});
    while (true) {
        if (levels.back().pending.empty()) {
            if (levels.size() == 1)
                return Walk::Done;
            Descriptor parent(::openat(folder.get(), "..", kFolderFlags));
            Place place;
            if (!parent.valid() || !placeOf(parent.get(), place) ||
                !samePlace(place, levels[levels.size() - 2].place))
                return Walk::Lost;
            const std::string name = std::move(levels.back().name);
            levels.pop_back();
            folder = std::move(parent);
            ::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR);
            continue;
        }
        const std::string name = std::move(levels.back().pending.back());
        levels.back().pending.pop_back();
        if (!progress.step())
            return Walk::Stopped;
        struct stat st;
        // Gone meanwhile, or another file system mounted here.
        if (::fstatat(folder.get(), name.c_str(), &st, kEntryStatFlags) != 0 ||
            st.st_dev != top.dev)
            continue;
        if (S_ISDIR(st.st_mode)) {
            Descriptor sub(::openat(folder.get(), name.c_str(), kFolderFlags));
            Place place;
            if (!sub.valid() || !placeOf(sub.get(), place)) {
                // Cannot be emptied, but may be empty.
                ::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR);
                continue;
            }
            // Swapped meanwhile, or a mount point: the mount and what is
            // below it stay, with the folder it is mounted on.
            if (place.dev != st.st_dev || place.ino != st.st_ino || !sameMount(place, top))
                continue;
            std::vector<std::string> names = entryNames(sub.get());
            levels.push_back({place, name, std::move(names)});
            folder = std::move(sub);
        } else if (S_ISLNK(st.st_mode) || mayDelete(folder.get(), name.c_str(), st)) {
            // A file mounted on a file is refused here (busy) by the system.
            ::unlinkat(folder.get(), name.c_str(), 0);
        }
    }
}

} // namespace

bool removeFolderTreeAt(int parent, const char* name, const std::function<bool()>& keepGoing) {
    {
        // O_NOFOLLOW: a folder that is itself a link is not emptied either.
        Descriptor folder(::openat(parent, name, kFolderFlags));
        Place top;
        if (folder.valid() && placeOf(folder.get(), top)) {
            Progress progress(keepGoing);
            if (emptyTree(std::move(folder), top, progress) == Walk::Stopped)
                return false;
        }
    }
    // Attempted in every other case; a link is no folder to remove.
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace orvane
