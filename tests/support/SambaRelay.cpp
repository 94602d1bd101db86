#include "support/SambaRelay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace orvane::test {

namespace {

sockaddr_in socketAddress(const std::string& address, int port) {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(std::uint16_t(port));
    ::inet_pton(AF_INET, address.c_str(), &out.sin_addr);
    return out;
}

// A client's connection and the one to the server made for it.
struct Pair {
    int client = -1, server = -1;
};

void closeBoth(Pair& pair) {
    for (int* fd : {&pair.client, &pair.server})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

// Copies what is waiting on `from` to `to`; false when `from` has closed.
bool pass(int from, int to) {
    char buffer[65536];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got <= 0)
        return false;
    for (ssize_t sent = 0; sent < got;) {
        const ssize_t wrote = ::write(to, buffer + sent, std::size_t(got - sent));
        if (wrote <= 0)
            return false;
        sent += wrote;
    }
    return true;
}

} // namespace

SambaRelay::SambaRelay(std::string address, std::string server, int port)
    : m_address(std::move(address)), m_server(std::move(server)), m_port(port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in here = socketAddress(m_address, m_port);
    if (listener < 0 || ::bind(listener, reinterpret_cast<const sockaddr*>(&here), sizeof here) ||
        ::listen(listener, 16) || ::pipe2(m_wake, O_CLOEXEC)) {
        m_why = m_address + ':' + std::to_string(m_port) + ": " + std::strerror(errno);
        if (listener >= 0)
            ::close(listener);
        return;
    }
    m_listener = listener;
    m_thread = std::thread([this] { run(); });
}

SambaRelay::~SambaRelay() {
    if (m_thread.joinable()) {
        const char stop = 0;
        (void)!::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (int fd : {m_listener, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

void SambaRelay::run() {
    std::vector<Pair> pairs;
    for (;;) {
        std::vector<pollfd> waiting{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Pair& pair : pairs) {
            waiting.push_back({pair.client, POLLIN, 0});
            // A stalled server's replies stay where they are, unread.
            waiting.push_back({m_stalled ? -1 : pair.server, POLLIN, 0});
        }
        // Looked at again now and then: stall() may have come in between.
        if (::poll(waiting.data(), waiting.size(), 50) < 0 && errno != EINTR)
            break;
        if (waiting[0].revents)
            break;
        // Only the pairs that were polled have answers in `waiting`.
        const std::size_t polled = pairs.size();
        if (waiting[1].revents & POLLIN) {
            Pair pair;
            pair.client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (pair.client >= 0) {
                ++m_accepted;
                if (!m_server.empty()) {
                    pair.server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                    const sockaddr_in there = socketAddress(m_server, m_port);
                    if (::connect(pair.server, reinterpret_cast<const sockaddr*>(&there),
                                  sizeof there) != 0)
                        closeBoth(pair);
                }
                if (pair.client >= 0)
                    pairs.push_back(pair);
            }
        }
        for (std::size_t i = 0; i < polled; ++i) {
            Pair& pair = pairs[i];
            const pollfd& client = waiting[2 + 2 * i];
            const pollfd& server = waiting[3 + 2 * i];
            // A silent port reads what it is sent and answers nothing.
            if (client.revents & (POLLIN | POLLHUP | POLLERR)) {
                if (pair.server < 0) {
                    char sink[4096];
                    if (::read(pair.client, sink, sizeof sink) <= 0)
                        closeBoth(pair);
                } else if (!pass(pair.client, pair.server)) {
                    closeBoth(pair);
                }
            }
            if (pair.server >= 0 && (server.revents & (POLLIN | POLLHUP | POLLERR)) &&
                !pass(pair.server, pair.client))
                closeBoth(pair);
        }
        std::erase_if(pairs, [](const Pair& pair) { return pair.client < 0; });
    }
    for (Pair& pair : pairs)
        closeBoth(pair);
}

} // namespace orvane::test
