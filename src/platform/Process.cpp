// uses-programs: (none of its own: each caller names what it runs)
#include "platform/Process.h"

#include "platform/Descriptor.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

namespace orvane {

namespace {

struct Pipe {
    Descriptor read, write;
};

bool makePipe(Pipe& pipe) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    pipe.read = Descriptor(fds[0]);
    pipe.write = Descriptor(fds[1]);
    return true;
}

class FileActions {
public:
    FileActions() { ::posix_spawn_file_actions_init(&m_actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    ~FileActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes {
public:
    SpawnAttributes() { ::posix_spawnattr_init(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    posix_spawnattr_t* get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

// A child that exits before it has read its input must not end this process
// with SIGPIPE: the signal is held back in this thread while we write, and a
// pending one taken away before it is let through again.
class HoldSigpipe {
public:
    HoldSigpipe() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    HoldSigpipe(const HoldSigpipe&) = delete;
    HoldSigpipe& operator=(const HoldSigpipe&) = delete;
    ~HoldSigpipe() {
        const timespec now{0, 0};
        while (::sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
        }
        ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }

private:
    sigset_t m_pipe, m_old;
};

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

} // namespace

ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         const QByteArray& input, std::chrono::milliseconds deadline) {
    ProcessResult result;
    Pipe in, out, err;
    if (!makePipe(in) || !makePipe(out) || !makePipe(err)) {
        result.startError = errno;
        return result;
    }
    FileActions actions;
    ::posix_spawn_file_actions_adddup2(actions.get(), in.read.get(), 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), out.write.get(), 1);
    ::posix_spawn_file_actions_adddup2(actions.get(), err.write.get(), 2);
    ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    SpawnAttributes attributes;
    // The child starts with default signal handling whatever this process set.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    ::posix_spawnattr_setsigdefault(attributes.get(), &all);
    ::posix_spawnattr_setsigmask(attributes.get(), &none);
    ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words{path};
    for (const QString& argument : arguments)
        words.push_back(argument.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    char pathVariable[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
    char locale[] = "LC_ALL=C";
    char* envp[] = {pathVariable, locale, nullptr};

    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, path.constData(), actions.get(), attributes.get(), argv.data(), envp);
    in.read = Descriptor();
    out.write = Descriptor();
    err.write = Descriptor();
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }

    // A child that does not read its input must not block us: write as it
    // takes it, read both outputs as they come.
    const HoldSigpipe holdSigpipe;
    setNonBlocking(in.write.get());
    qsizetype written = 0;
    if (input.isEmpty())
        in.write = Descriptor();
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (out.read.valid() || err.read.valid()) {
        std::vector<pollfd> fds;
        if (in.write.valid())
            fds.push_back({in.write.get(), POLLOUT, 0});
        if (out.read.valid())
            fds.push_back({out.read.get(), POLLIN, 0});
        if (err.read.valid())
            fds.push_back({err.read.get(), POLLIN, 0});
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds.data(), fds.size(), int(left.count())) < 0 && errno != EINTR)
            break;
        for (const pollfd& fd : fds) {
            if (!fd.revents)
                continue;
            if (fd.fd == in.write.get()) {
                const ssize_t n =
                    ::write(fd.fd, input.constData() + written, size_t(input.size() - written));
                if (n > 0)
                    written += n;
                if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size())
                    in.write = Descriptor();
                continue;
            }
            Descriptor& source = fd.fd == out.read.get() ? out.read : err.read;
            QByteArray& sink = fd.fd == out.read.get() ? result.output : result.errors;
            char chunk[4096];
            const ssize_t n = ::read(fd.fd, chunk, sizeof chunk);
            if (n > 0)
                sink.append(chunk, qsizetype(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                source = Descriptor();
        }
    }
    in.write = Descriptor();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.timedOut && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

} // namespace orvane
