// uses-programs: (the window beside orvane-rehearse, the project's own)
#include "platform/rehearsal/Supervisor.h"

#include "platform/Descriptor.h"
#include "platform/rehearsal/SiteCopy.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace orvane::rehearsal {

namespace {

volatile sig_atomic_t g_forwardTo = 0;

void forward(int signal) {
    if (g_forwardTo > 0)
        ::kill(pid_t(g_forwardTo), signal);
}

void forwardEndingSignals() {
    struct sigaction action {};
    action.sa_handler = forward;
    ::sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
        ::sigaction(signal, &action, nullptr);
}

int statusOf(int wait) {
    if (WIFEXITED(wait))
        return WEXITSTATUS(wait);
    if (WIFSIGNALED(wait))
        return 128 + WTERMSIG(wait);
    return 1;
}

// Strings for execve, prepared before fork: after it, in a child of a
// process that may have threads, nothing may allocate.
struct ExecArguments {
    std::vector<QByteArray> storage;
    std::vector<char*> argv, envp;

    // The environment is this process's with extra set in it, or extra alone.
    ExecArguments(const QString& program, const QStringList& arguments, const QStringList& extra,
                  bool inherit = true) {
        storage.push_back(QFile::encodeName(program));
        for (const QString& argument : arguments)
            storage.push_back(argument.toLocal8Bit());
        const std::size_t argc = storage.size();
        std::vector<QByteArray> names;
        for (const QString& setting : extra)
            names.push_back(setting.left(setting.indexOf(u'=') + 1).toUtf8());
        for (char** entry = inherit ? environ : nullptr; entry && *entry; ++entry) {
            const QByteArray text(*entry);
            if (std::none_of(names.begin(), names.end(),
                             [&](const QByteArray& name) { return text.startsWith(name); }))
                storage.push_back(text);
        }
        for (const QString& setting : extra)
            storage.push_back(setting.toUtf8());
        for (std::size_t i = 0; i < storage.size(); ++i)
            (i < argc ? argv : envp).push_back(storage[i].data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
    }
};

// PID 1 of the namespace: starts the program, reaps every orphan until the
// program ends, then leaves, which ends the rest of the namespace with it.
[[noreturn]] void beInit(const ExecArguments& exec, int supervisorAlive) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The supervisor is outside this namespace, where getppid() cannot see
    // it: it holds the other end of a pipe, which closes if it went before
    // the line above took effect.
    struct pollfd alive {
        supervisorAlive, POLLIN, 0
    };
    if (::poll(&alive, 1, 0) != 0)
        ::_exit(137);
    // The namespace's own processes, for the programs that look there.
    if (::mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
        ::_exit(125);
    // _Fork takes none of the C library's locks, which a thread of the
    // process that made this one may have held when it did (a server's
    // init is cloned from a process with threads).
    const pid_t program = ::_Fork();
    if (program < 0)
        ::_exit(125);
    if (program == 0) {
        for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
            ::signal(signal, SIG_DFL);
        ::execve(exec.argv[0], exec.argv.data(), exec.envp.data());
        ::_exit(errno == ENOENT ? 127 : 126);
    }
    g_forwardTo = program;
    for (;;) {
        int wait = 0;
        const pid_t ended = ::waitpid(-1, &wait, 0);
        if (ended == program)
            ::_exit(statusOf(wait));
        if (ended < 0 && errno == ECHILD)
            ::_exit(1);
    }
}

} // namespace

ServerInOwnPids::ServerInOwnPids(const QString& program, const QStringList& arguments,
                                 const QStringList& environment, const QStringList& emptied) {
    const ExecArguments exec(program, arguments, environment, false);
    std::vector<QByteArray> folders;
    for (const QString& folder : emptied)
        folders.push_back(QFile::encodeName(folder));
    int alive[2];
    if (::pipe2(alive, O_CLOEXEC) != 0)
        failCopy(QStringLiteral("cannot start %1").arg(program));
    const Descriptor readEnd(alive[0]);
    m_alive = Descriptor(alive[1]);
    // Namespaces of its own for the child alone: this process's PID
    // namespace for children stays as it is (it may be asked only once).
    const long init = ::syscall(SYS_clone, CLONE_NEWPID | CLONE_NEWNS | SIGCHLD, nullptr, nullptr,
                                nullptr, nullptr);
    if (init < 0)
        failCopy(QStringLiteral("cannot start %1").arg(program));
    if (init == 0) {
        ::close(m_alive.get());
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            ::_exit(125);
        for (const QByteArray& folder : folders)
            if (::mount("tmpfs", folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") !=
                    0 &&
                errno != ENOENT)
                ::_exit(125);
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd : {0, 1, 2})
            ::dup2(null, fd);
        beInit(exec, readEnd.get());
    }
    m_init = pid_t(init);
}

ServerInOwnPids::~ServerInOwnPids() {
    // Its init ends, and the kernel ends every process of its namespace.
    ::kill(m_init, SIGKILL);
    while (::waitpid(m_init, nullptr, 0) < 0 && errno == EINTR) {
    }
}

bool ServerInOwnPids::running() {
    if (m_ended)
        return false;
    int wait = 0;
    m_ended = ::waitpid(m_init, &wait, WNOHANG) == m_init;
    return !m_ended;
}

int superviseInOwnPids(const QString& program, const QStringList& arguments,
                       const QStringList& extraEnvironment) {
    const ExecArguments exec(program, arguments, extraEnvironment);
    if (::unshare(CLONE_NEWPID) != 0)
        failCopy(QStringLiteral("cannot make a PID namespace of its own"));
    forwardEndingSignals();
    int alive[2];
    if (::pipe2(alive, O_CLOEXEC) != 0)
        failCopy(QStringLiteral("cannot start the copy's first process"));
    const Descriptor readEnd(alive[0]), writeEnd(alive[1]);
    const pid_t init = ::fork();
    if (init < 0)
        failCopy(QStringLiteral("cannot start the copy's first process"));
    if (init == 0) {
        ::close(writeEnd.get());
        beInit(exec, readEnd.get());
    }
    g_forwardTo = init;
    int wait = 0;
    while (::waitpid(init, &wait, 0) < 0)
        if (errno != EINTR)
            return 1;
    return statusOf(wait);
}

} // namespace orvane::rehearsal
