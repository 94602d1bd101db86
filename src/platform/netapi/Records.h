#pragma once

// The one place that turns a backend's rows into the platform's records: the
// block an enumeration hands back, sized for its strings, and the bytes an
// entry counts against a caller's preferred length.

#include "platform/NETUSER.h"
#include "platform/NTDShare.h"

#include <QString>
#include <span>

namespace orvane::records {

// An account as the USER_INFO_0 and USER_INFO_1 levels show it.
struct User {
    QString name;
    DWORD passwordAge = 0;
    DWORD priv = 0;
    QString homeDir;
    QString comment;
    DWORD flags = 0;
    QString scriptPath;
};

// A share as SHARE_INFO_2 and SHARE_INFO_502 show it; the password and the
// security descriptor are never handed out.
struct Share {
    QString name;
    DWORD type = 0;
    QString remark;
    DWORD permissions = 0;
    DWORD maxUses = 0;
    DWORD currentUses = 0;
    QString path;
};

// What one entry takes in a buffer of that level.
std::size_t userBytes(DWORD level, const User& user);
std::size_t shareBytes(DWORD level, const Share& share);
std::size_t nameBytes(const QString& name);

// The block for the caller, freed with NetApiBufferFree; null when empty.
// Levels: USER_INFO 0 or 1, SHARE_INFO 2 or 502. Throw std::bad_alloc.
LPBYTE userBuffer(DWORD level, std::span<const User> users);
LPBYTE shareBuffer(DWORD level, std::span<const Share> shares);
LPBYTE localGroupBuffer(std::span<const QString> names);     // LOCALGROUP_INFO_0
LPBYTE userLocalGroupBuffer(std::span<const QString> names); // LOCALGROUP_USERS_INFO_0

// An enumeration's outputs before anything is known: no buffer, no entries.
void clearOutputs(LPBYTE* bufptr, LPDWORD entriesread, LPDWORD totalentries);

// How many entries one call hands back: all of them for MAX_PREFERRED_LENGTH,
// else as many as fit the preferred length, but at least `least` (when there
// are that many), so that a caller asking for 0 bytes still moves on.
class Batch {
public:
    Batch(DWORD prefmaxlen, std::size_t least) : m_limit(prefmaxlen), m_least(least) {}

    // Whether an entry of this many bytes still goes into this call's buffer.
    bool take(std::size_t bytes) {
        if (m_limit != MAX_PREFERRED_LENGTH && m_count >= m_least && m_bytes + bytes > m_limit) {
            m_more = true;
            return false;
        }
        ++m_count;
        m_bytes += bytes;
        return true;
    }
    // Whether entries were left for a later call.
    bool more() const { return m_more; }

private:
    DWORD m_limit;
    std::size_t m_least;
    std::size_t m_count = 0;
    std::size_t m_bytes = 0;
    bool m_more = false;
};

} // namespace orvane::records
