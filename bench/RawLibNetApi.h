#pragma once

// Samba's libnetapi called directly, as a client written without Orvane would
// call it. Its header declares records under the same names as Orvane's, so
// only RawLibNetApi.cpp includes it, and this header speaks std types alone.

#include <cstdint>
#include <string>

namespace orvane::bench::raw {

// Seconds spent in each libnetapi call of createInUsers, summed.
struct CallSeconds {
    double add = 0;
    double sid = 0;
    double addMembers = 0;
};

// libnetapi's one context for the process, while this lives. Never alongside
// a SambaNetApi, whose destructor would free it underneath.
class Session {
public:
    // Throws std::runtime_error when libnetapi cannot start.
    Session(const std::string& user, const std::string& password);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Opens the connection and the handles later calls reuse, untimed.
    void warmUp(const std::string& user);
    // A normal account whose password never expires, added to "Users" by its
    // SID: 0, or the failing call's status with its name in `failed`.
    std::uint32_t createInUsers(const std::string& name, const std::string& password,
                                CallSeconds& seconds, std::string& failed);
    std::uint32_t deleteUser(const std::string& name);
    std::string errorText(std::uint32_t status) const;

private:
    void* m_context = nullptr;
};

} // namespace orvane::bench::raw
