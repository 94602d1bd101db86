#pragma once

// What the adapter keeps of one refill of an account list: a listing, then a
// question or two about each listed account. Taken when a listing starts, it
// answers each account's local groups (when read from the directory with the
// listing) and the server's shares (listed once), and ends as soon as the
// answers could be stale: every listed account asked about once, another
// listing, any change made through the adapter, or a pause between calls.

#include "platform/samba/LibNetApi.h"

#include <chrono>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvane::samba {

class RefillSnapshot {
public:
    using Clock = std::chrono::steady_clock;
    // A refill asks its questions back to back; a longer pause means its
    // window went on to other work.
    static constexpr Clock::duration kPause = std::chrono::seconds(5);

    // A listing of `server` starts; `accounts` maps each listed account to
    // its local groups, or to nothing where the server is to be asked.
    void begin(const lib::Server& server,
               std::unordered_map<std::string, std::optional<std::vector<std::string>>> accounts,
               Clock::time_point now);
    // The listing's last batch has been handed out.
    void listed();
    void end();
    bool live(const lib::Server& server, Clock::time_point now);

    // The account's groups as taken with the listing into `groups`; false
    // when the server is to answer. An account asked about a second time ends
    // the snapshot.
    bool groupsOf(const lib::Server& server, const std::string& name, Clock::time_point now,
                  std::vector<std::string>& groups);

    // The server's shares as listed once in this refill, or null.
    const std::vector<lib::Share>* shares(const lib::Server& server, Clock::time_point now);
    void keepShares(const lib::Server& server, std::vector<lib::Share> shares,
                    Clock::time_point now);

private:
    bool m_active = false;
    bool m_listed = false;
    lib::Server m_server;
    Clock::time_point m_lastUse;
    std::unordered_map<std::string, std::optional<std::vector<std::string>>> m_unasked;
    std::optional<std::vector<lib::Share>> m_shares;
};

} // namespace orvane::samba
