#include "platform/samba/RefillSnapshot.h"

namespace orvane::samba {

void RefillSnapshot::begin(
    const lib::Server& server,
    std::unordered_map<std::string, std::optional<std::vector<std::string>>> accounts,
    Clock::time_point now) {
    m_active = true;
    m_listed = false;
    m_server = server;
    m_lastUse = now;
    m_unasked = std::move(accounts);
    m_shares.reset();
}

void RefillSnapshot::listed() {
    m_listed = true;
    if (m_unasked.empty())
        end();
}

void RefillSnapshot::end() {
    m_active = false;
    m_unasked.clear();
    m_shares.reset();
}

bool RefillSnapshot::live(const lib::Server& server, Clock::time_point now) {
    if (m_active && now - m_lastUse > kPause)
        end();
    if (!m_active || server != m_server)
        return false;
    m_lastUse = now;
    return true;
}

bool RefillSnapshot::groupsOf(const lib::Server& server, const std::string& name,
                              Clock::time_point now, std::vector<std::string>& groups) {
    if (!live(server, now))
        return false;
    auto it = m_unasked.find(name);
    if (it == m_unasked.end()) {
        end();
        return false;
    }
    const bool known = it->second.has_value();
    if (known)
        groups = std::move(*it->second);
    m_unasked.erase(it);
    if (m_listed && m_unasked.empty())
        end();
    return known;
}

const std::vector<lib::Share>* RefillSnapshot::shares(const lib::Server& server,
                                                      Clock::time_point now) {
    return live(server, now) && m_shares ? &*m_shares : nullptr;
}

void RefillSnapshot::keepShares(const lib::Server& server, std::vector<lib::Share> shares,
                                Clock::time_point now) {
    if (live(server, now))
        m_shares = std::move(shares);
}

} // namespace orvane::samba
