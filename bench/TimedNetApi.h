#pragma once

// A NetApi that forwards every call to another and sums the wall-clock time
// and count of each, so a run through the window can be split into time on
// the service and time in the program. Its own cost is two clock reads a call.

#include "platform/netapi/NetApi.h"

#include <array>
#include <chrono>
#include <cstddef>

namespace orvane::bench {

class TimedNetApi final : public NetApi {
public:
    enum Call : std::size_t {
        UserEnum,
        UserAdd,
        UserDel,
        UserSetInfo,
        UserGetLocalGroups,
        LocalGroupEnum,
        LocalGroupAddMembers,
        LocalGroupDelMembers,
        ShareEnum,
        ShareAdd,
        ShareDel,
        BufferFree,
        CallCount
    };
    using Clock = std::chrono::steady_clock;

    explicit TimedNetApi(NetApi& inner) : m_inner(inner) {}

    void reset() {
        m_seconds.fill(0);
        m_calls.fill(0);
        m_firstCall.fill(Clock::time_point{});
    }
    double seconds(Call call) const { return m_seconds[call]; }
    long calls(Call call) const { return m_calls[call]; }
    // When the first call of the kind began since the last reset; the epoch if none.
    Clock::time_point firstCall(Call call) const { return m_firstCall[call]; }
    double totalSeconds() const {
        double sum = 0;
        for (double s : m_seconds)
            sum += s;
        return sum;
    }

    NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE* bufptr,
                               DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                               PDWORD resume_handle) override {
        return timed(UserEnum, [&] {
            return m_inner.NetUserEnum(servername, level, filter, bufptr, prefmaxlen, entriesread,
                                       totalentries, resume_handle);
        });
    }
    NET_API_STATUS NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                              LPDWORD parm_err) override {
        return timed(UserAdd, [&] { return m_inner.NetUserAdd(servername, level, buf, parm_err); });
    }
    NET_API_STATUS NetUserDel(LPCWSTR servername, LPCWSTR username) override {
        return timed(UserDel, [&] { return m_inner.NetUserDel(servername, username); });
    }
    NET_API_STATUS NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level, LPBYTE buf,
                                  LPDWORD parm_err) override {
        return timed(UserSetInfo, [&] {
            return m_inner.NetUserSetInfo(servername, username, level, buf, parm_err);
        });
    }
    NET_API_STATUS NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                         DWORD flags, LPBYTE* bufptr, DWORD prefmaxlen,
                                         LPDWORD entriesread, LPDWORD totalentries) override {
        return timed(UserGetLocalGroups, [&] {
            return m_inner.NetUserGetLocalGroups(servername, username, level, flags, bufptr,
                                                 prefmaxlen, entriesread, totalentries);
        });
    }
    NET_API_STATUS NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                     DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                     PDWORD_PTR resumehandle) override {
        return timed(LocalGroupEnum, [&] {
            return m_inner.NetLocalGroupEnum(servername, level, bufptr, prefmaxlen, entriesread,
                                             totalentries, resumehandle);
        });
    }
    NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                           LPBYTE buf, DWORD totalentries) override {
        return timed(LocalGroupAddMembers, [&] {
            return m_inner.NetLocalGroupAddMembers(servername, groupname, level, buf, totalentries);
        });
    }
    NET_API_STATUS NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                           LPBYTE buf, DWORD totalentries) override {
        return timed(LocalGroupDelMembers, [&] {
            return m_inner.NetLocalGroupDelMembers(servername, groupname, level, buf, totalentries);
        });
    }
    NET_API_STATUS NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                                LPDWORD entriesread, LPDWORD totalentries,
                                LPDWORD resume_handle) override {
        return timed(ShareEnum, [&] {
            return m_inner.NetShareEnum(servername, level, bufptr, prefmaxlen, entriesread,
                                        totalentries, resume_handle);
        });
    }
    NET_API_STATUS NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                               LPDWORD parm_err) override {
        return timed(ShareAdd,
                     [&] { return m_inner.NetShareAdd(servername, level, buf, parm_err); });
    }
    NET_API_STATUS NetShareDel(LMSTR servername, LMSTR netname, DWORD reserved) override {
        return timed(ShareDel, [&] { return m_inner.NetShareDel(servername, netname, reserved); });
    }
    NET_API_STATUS NetApiBufferFree(LPVOID Buffer) override {
        return timed(BufferFree, [&] { return m_inner.NetApiBufferFree(Buffer); });
    }
    NewHomeFolders newHomeFolders() const override { return m_inner.newHomeFolders(); }

private:
    template <class Forward> NET_API_STATUS timed(Call call, Forward&& forward) {
        const Clock::time_point start = Clock::now();
        const NET_API_STATUS status = forward();
        m_seconds[call] += std::chrono::duration<double>(Clock::now() - start).count();
        if (m_calls[call]++ == 0)
            m_firstCall[call] = start;
        return status;
    }

    NetApi& m_inner;
    std::array<double, CallCount> m_seconds{};
    std::array<long, CallCount> m_calls{};
    std::array<Clock::time_point, CallCount> m_firstCall{};
};

} // namespace orvane::bench
