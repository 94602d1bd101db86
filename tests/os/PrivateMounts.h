#pragma once

// Mounting inside tests: only in a mount namespace of the test's own, with
// propagation off, so no mount ever reaches the host's namespace.

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <utility>

namespace orvane::test {

// Moves the calling thread into a new mount namespace whose mounts propagate
// nowhere. Returns why that failed (no privilege, say), or an empty text.
// Only the calling thread moves: mount and test from that thread.
inline std::string enterPrivateMountNamespace() {
    if (::unshare(CLONE_NEWNS) != 0)
        return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    // Without this, a mount under a shared parent would show up outside too.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("making / private: ") + std::strerror(errno);
    return {};
}

// A mount that is taken off again when it goes.
class ScopedMount {
public:
    ScopedMount(const QString& source, const QString& target, const char* type, unsigned long flags,
                const char* data = nullptr)
        : m_target(QFile::encodeName(target)) {
        if (::mount(QFile::encodeName(source).constData(), m_target.constData(), type, flags,
                    data) == 0)
            m_mounted = true;
        else
            m_error = std::strerror(errno);
    }
    static ScopedMount bind(const QString& source, const QString& target) {
        return ScopedMount(source, target, nullptr, MS_BIND);
    }
    static ScopedMount tmpfs(const QString& target) {
        return ScopedMount(QStringLiteral("tmpfs"), target, "tmpfs", 0, "size=1m,mode=0755");
    }
    ScopedMount(ScopedMount&& other) noexcept
        : m_target(std::move(other.m_target)), m_mounted(std::exchange(other.m_mounted, false)),
          m_error(std::move(other.m_error)) {}
    ScopedMount(const ScopedMount&) = delete;
    ScopedMount& operator=(const ScopedMount&) = delete;
    ScopedMount& operator=(ScopedMount&&) = delete;
    ~ScopedMount() {
        if (m_mounted && ::umount2(m_target.constData(), 0) != 0)
            ::umount2(m_target.constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    const std::string& error() const { return m_error; }

private:
    QByteArray m_target;
    bool m_mounted = false;
    std::string m_error;
};

} // namespace orvane::test
