#include "NetApiCalls.h"

#include "platform/netapi/NetBuffer.h"
#include "platform/netapi/WideText.h"

#include <optional>

namespace orvane::test {

namespace {

LPCWSTR orNull(const QString& text) {
    return text.isNull() ? nullptr : wideText(text);
}

// For the share calls, which take non-const strings.
class WideOrNull {
public:
    explicit WideOrNull(const QString& text) {
        if (!text.isNull())
            m_buffer.emplace(text);
    }
    LMSTR get() { return m_buffer ? m_buffer->get() : nullptr; }

private:
    std::optional<WideBuffer> m_buffer;
};

NET_API_STATUS changeMembers(NetApi& api, bool add, const QString& server, const QString& group,
                             const QStringList& members) {
    std::vector<LOCALGROUP_MEMBERS_INFO_3> records;
    std::vector<WideBuffer> names;
    names.reserve(size_t(members.size()));
    for (const QString& member : members)
        records.push_back({names.emplace_back(member).get()});
    auto call = add ? &NetApi::NetLocalGroupAddMembers : &NetApi::NetLocalGroupDelMembers;
    return (api.*call)(orNull(server), wideText(group), 3, reinterpret_cast<LPBYTE>(records.data()),
                       DWORD(records.size()));
}

} // namespace

Listing listUsers(NetApi& api, const QString& server, DWORD prefmaxlen,
                  const std::function<void()>& betweenBatches) {
    Listing listing;
    DWORD resume = 0;
    // A bound, so that a backend that never ends fails the test instead of hanging it.
    for (int call = 0; call < 100000; ++call) {
        NetBuffer<USER_INFO_1> buffer(api);
        DWORD read = 0, total = 0;
        const NET_API_STATUS result =
            api.NetUserEnum(orNull(server), 1, 0, buffer.out(), prefmaxlen, &read, &total, &resume);
        listing.results.push_back(result);
        listing.resumeHandles.push_back(resume);
        for (const USER_INFO_1& u : buffer.entries(read))
            listing.users.push_back({fromWide(u.usri1_name), fromWide(u.usri1_comment),
                                     fromWide(u.usri1_home_dir), u.usri1_priv, u.usri1_flags,
                                     u.usri1_password_age});
        if (result != ERROR_MORE_DATA)
            break;
        if (betweenBatches)
            betweenBatches();
    }
    return listing;
}

NET_API_STATUS addUser(NetApi& api, const QString& name, const QString& password,
                       const QString& comment, const QString& homeDir, DWORD flags,
                       const QString& server, DWORD priv) {
    QString n = name, p = password, c = comment, h = homeDir;
    USER_INFO_1 info{const_cast<LPWSTR>(orNull(n)), const_cast<LPWSTR>(orNull(p)), 0,     priv,
                     const_cast<LPWSTR>(orNull(h)), const_cast<LPWSTR>(orNull(c)), flags, nullptr};
    return api.NetUserAdd(orNull(server), 1, reinterpret_cast<LPBYTE>(&info), nullptr);
}

NET_API_STATUS setHomeDir(NetApi& api, const QString& name, const QString& homeDir) {
    QString h = homeDir;
    USER_INFO_1 info{nullptr,
                     nullptr,
                     0,
                     USER_PRIV_USER,
                     const_cast<LPWSTR>(orNull(h)),
                     nullptr,
                     UF_DONT_EXPIRE_PASSWD,
                     nullptr};
    return api.NetUserSetInfo(nullptr, wideText(name), 1, reinterpret_cast<LPBYTE>(&info), nullptr);
}

NET_API_STATUS userGroups(NetApi& api, const QString& name, QStringList& groups) {
    groups.clear();
    NetBuffer<LOCALGROUP_USERS_INFO_0> buffer(api);
    DWORD read = 0, total = 0;
    const NET_API_STATUS result =
        api.NetUserGetLocalGroups(nullptr, wideText(name), 0, LG_INCLUDE_INDIRECT, buffer.out(),
                                  MAX_PREFERRED_LENGTH, &read, &total);
    for (const auto& g : buffer.entries(read))
        groups << fromWide(g.lgrui0_name);
    return result;
}

NET_API_STATUS localGroups(NetApi& api, const QString& server, QStringList& groups) {
    groups.clear();
    NetBuffer<LOCALGROUP_INFO_0> buffer(api);
    DWORD read = 0, total = 0;
    const NET_API_STATUS result = api.NetLocalGroupEnum(
        orNull(server), 0, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    for (const auto& g : buffer.entries(read))
        groups << fromWide(g.lgrpi0_name);
    return result;
}

NET_API_STATUS addMembers(NetApi& api, const QString& server, const QString& group,
                          const QStringList& members) {
    return changeMembers(api, true, server, group, members);
}

NET_API_STATUS delMembers(NetApi& api, const QString& server, const QString& group,
                          const QStringList& members) {
    return changeMembers(api, false, server, group, members);
}

NET_API_STATUS addShare(NetApi& api, const QString& server, const QString& name,
                        const QString& path, LPDWORD parmErr) {
    WideOrNull s(server), n(name), p(path);
    WideBuffer remark(QStringLiteral("home folder"));
    SHARE_INFO_502 info{n.get(),
                        STYPE_DISKTREE,
                        remark.get(),
                        ACCESS_READ | ACCESS_WRITE | ACCESS_CREATE,
                        MAX_PREFERRED_LENGTH,
                        10,
                        p.get(),
                        nullptr,
                        0,
                        nullptr};
    return api.NetShareAdd(s.get(), 502, reinterpret_cast<LPBYTE>(&info), parmErr);
}

NET_API_STATUS shares(NetApi& api, const QString& server, std::vector<Share>& out) {
    out.clear();
    WideOrNull s(server);
    NetBuffer<SHARE_INFO_2> buffer(api);
    DWORD read = 0, total = 0;
    const NET_API_STATUS result =
        api.NetShareEnum(s.get(), 2, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    for (const auto& share : buffer.entries(read))
        out.push_back({fromWide(share.shi2_netname), fromWide(share.shi2_path)});
    return result;
}

NET_API_STATUS delShare(NetApi& api, const QString& server, const QString& name) {
    WideOrNull s(server), n(name);
    return api.NetShareDel(s.get(), n.get(), 0);
}

} // namespace orvane::test
