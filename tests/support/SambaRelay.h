#pragma once

// A stand-in for a server's port (LDAP's, by default) on a loopback address
// of the test's own network namespace: silent from the start (it accepts and
// never answers, as a port whose server hangs does), or passing every byte
// through to the real server until told to stall, when it stops passing the
// server's replies on. The session is signed and sealed, so bytes can only be
// held back, never changed.

#include <atomic>
#include <string>
#include <thread>

namespace orvane::test {

class SambaRelay {
public:
    // Listens on `address`:`port`; relays to `server`:`port` unless `server`
    // is empty (then silent). valid() says whether the port could be taken.
    SambaRelay(std::string address, std::string server, int port = 389);
    ~SambaRelay();
    SambaRelay(const SambaRelay&) = delete;
    SambaRelay& operator=(const SambaRelay&) = delete;

    bool valid() const { return m_listener >= 0; }
    const std::string& why() const { return m_why; }
    // From now on nothing more the server sends reaches the client.
    void stall() { m_stalled = true; }
    // Connections accepted so far.
    int accepted() const { return m_accepted; }

private:
    void run();

    std::string m_address, m_server, m_why;
    int m_port;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_stalled{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

} // namespace orvane::test
