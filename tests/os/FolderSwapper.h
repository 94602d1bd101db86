#pragma once

// A process of its own that swaps two entries of a folder back and forth, as
// someone racing the program would: a folder and a link beside it trade names
// in one step (RENAME_EXCHANGE), so the name is always one or the other.

#include <QFile>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::test {

class FolderSwapper {
public:
    // Swaps first and second in folder, as the user uid when it is not 0, at
    // most limit times and for at most seconds.
    FolderSwapper(const QString& folder, const char* first, const char* second, uid_t uid,
                  long limit = 50'000'000, int seconds = 60)
        : m_first(first), m_second(second) {
        m_folder = ::open(QFile::encodeName(folder).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (m_folder < 0)
            return;
        m_pid = ::fork();
        if (m_pid != 0)
            return;
        // Only system calls from here on: the parent has threads.
        if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0))
            ::_exit(2);
        timespec start;
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        for (long i = 0; i < limit; ++i) {
            if (::renameat2(m_folder, first, m_folder, second, RENAME_EXCHANGE) != 0)
                ::_exit(3);
            if (i % 1024 == 0) {
                timespec now;
                ::clock_gettime(CLOCK_MONOTONIC, &now);
                if (now.tv_sec - start.tv_sec >= seconds)
                    break;
            }
        }
        ::_exit(0);
    }
    FolderSwapper(const FolderSwapper&) = delete;
    FolderSwapper& operator=(const FolderSwapper&) = delete;
    ~FolderSwapper() { stop(); }

    bool started() const { return m_pid > 0; }

    // Whether the swapping has gone on so far without ending.
    bool stillSwapping() const {
        int status = 0;
        return m_pid > 0 && ::waitpid(m_pid, &status, WNOHANG) == 0;
    }

    // Waits until the first name has been seen as a link at least once.
    bool seenSwapped() const {
        for (long i = 0; i < 10'000'000; ++i) {
            struct stat st;
            if (::fstatat(m_folder, m_first, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                return true;
        }
        return false;
    }

    // Ends the swapping and gives the folder its first name back.
    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (m_folder >= 0) {
            struct stat st;
            if (::fstatat(m_folder, m_first, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                ::renameat2(m_folder, m_first, m_folder, m_second, RENAME_EXCHANGE);
            ::close(m_folder);
            m_folder = -1;
        }
    }

private:
    const char* m_first;
    const char* m_second;
    int m_folder = -1;
    pid_t m_pid = -1;
};

} // namespace orvane::test
