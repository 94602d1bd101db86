#include "platform/samba/LibNetApi.h"

// <netapi.h> needs the fixed-width types before it.
#include <cstdint>
#include <netapi.h>

#include <cstring>

namespace orvane::samba::lib {

namespace {

libnetapi_ctx* g_context = nullptr;

// Owns one buffer libnetapi allocated.
template <class Record> class Result {
public:
    Result() = default;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() {
        if (m_buffer)
            ::NetApiBufferFree(m_buffer);
    }
    std::uint8_t** out() { return &m_buffer; }
    const Record* records() const { return reinterpret_cast<const Record*>(m_buffer); }

private:
    std::uint8_t* m_buffer = nullptr;
};

const char* serverText(const Server& server) {
    return server ? server->c_str() : nullptr;
}

std::string text(const char* value) {
    return value ? std::string(value) : std::string();
}

Status status(NET_API_STATUS value) {
    return static_cast<Status>(value);
}

domsid toDomsid(const Sid& sid) {
    domsid out{};
    out.sid_rev_num = sid.revision;
    out.num_auths = sid.subAuthorityCount;
    std::memcpy(out.id_auth, sid.authority.data(), sizeof out.id_auth);
    for (std::size_t i = 0; i < MAXSUBAUTHS && i < sid.subAuthorities.size(); ++i)
        out.sub_auths[i] = sid.subAuthorities[i];
    return out;
}

// libnetapi's members-change calls at level 0, the one level they survive.
template <class Call>
Status changeMembers(Call call, const Server& server, const std::string& group,
                     const std::vector<Sid>& members) {
    std::vector<domsid> sids;
    sids.reserve(members.size());
    for (const Sid& sid : members)
        sids.push_back(toDomsid(sid));
    std::vector<LOCALGROUP_MEMBERS_INFO_0> records(sids.size());
    for (std::size_t i = 0; i < sids.size(); ++i)
        records[i].lgrmi0_sid = &sids[i];
    return status(call(serverText(server), group.c_str(), 0,
                       reinterpret_cast<std::uint8_t*>(records.data()),
                       static_cast<std::uint32_t>(records.size())));
}

} // namespace

Status open(const Credentials& credentials) {
    if (g_context)
        return kSuccess;
    libnetapi_ctx* context = nullptr;
    if (const NET_API_STATUS result = libnetapi_init(&context); result != 0)
        return status(result);
    NET_API_STATUS result = NET_API_STATUS_SUCCESS;
    // A ticket names its own account when USER names none.
    if (!credentials.user.empty())
        result = libnetapi_set_username(context, credentials.user.c_str());
    if (credentials.useTicketCache) {
        // Kerberos alone: the empty password only stops libnetapi prompting
        // for one, and is never sent.
        if (result == 0)
            result = libnetapi_set_use_kerberos(context);
        if (result == 0)
            result = libnetapi_set_use_ccache(context);
        if (result == 0)
            result = libnetapi_set_password(context, "");
    } else if (result == 0) {
        result = libnetapi_set_password(context, credentials.password.c_str());
    }
    if (result != 0) {
        libnetapi_free(context);
        return status(result);
    }
    g_context = context;
    return kSuccess;
}

void close() {
    if (g_context)
        libnetapi_free(g_context);
    g_context = nullptr;
}

bool isOpen() {
    return g_context != nullptr;
}

std::string errorText(Status code) {
    // Without a context the detailed text would make one, with no credentials.
    char* message = g_context
                        ? libnetapi_get_error_string(g_context, static_cast<NET_API_STATUS>(code))
                        : libnetapi_errstr(static_cast<NET_API_STATUS>(code));
    std::string out = text(message);
    if (message)
        ::NetApiBufferFree(message);
    return out;
}

Status userEnum(const Server& server, std::uint32_t filter, std::uint32_t prefmaxlen,
                std::uint32_t& resume, std::vector<User>& out) {
    out.clear();
    Result<USER_INFO_1> buffer;
    std::uint32_t read = 0, total = 0;
    const Status result = status(NetUserEnum(serverText(server), 1, filter, buffer.out(),
                                             prefmaxlen, &read, &total, &resume));
    if (result != kSuccess && result != kMoreData)
        return result;
    out.reserve(read);
    for (std::uint32_t i = 0; i < read; ++i) {
        const USER_INFO_1& record = buffer.records()[i];
        out.push_back({text(record.usri1_name), text(record.usri1_home_dir),
                       text(record.usri1_comment), text(record.usri1_script_path),
                       record.usri1_password_age, record.usri1_priv, record.usri1_flags});
    }
    return result;
}

Status userNames(const Server& server, std::uint32_t filter, std::vector<std::string>& out) {
    out.clear();
    std::uint32_t resume = 0;
    Status result;
    do {
        Result<USER_INFO_0> buffer;
        std::uint32_t read = 0, total = 0;
        result = status(NetUserEnum(serverText(server), 0, filter, buffer.out(), 0xFFFFFFFFu, &read,
                                    &total, &resume));
        if (result != kSuccess && result != kMoreData)
            return result;
        for (std::uint32_t i = 0; i < read; ++i)
            out.push_back(text(buffer.records()[i].usri0_name));
    } while (result == kMoreData);
    return kSuccess;
}

Status userInfo(const Server& server, const std::string& name, User& out) {
    Result<USER_INFO_1> buffer;
    const Status result = status(NetUserGetInfo(serverText(server), name.c_str(), 1, buffer.out()));
    if (result != kSuccess)
        return result;
    if (!buffer.records())
        return 1332; // ERROR_NONE_MAPPED
    const USER_INFO_1& record = *buffer.records();
    out = {text(record.usri1_name),    text(record.usri1_home_dir),
           text(record.usri1_comment), text(record.usri1_script_path),
           record.usri1_password_age,  record.usri1_priv,
           record.usri1_flags};
    return kSuccess;
}

Status serverRole(const Server& server, std::uint32_t& out) {
    Result<USER_MODALS_INFO_1> buffer;
    const Status result = status(NetUserModalsGet(serverText(server), 1, buffer.out()));
    if (result != kSuccess)
        return result;
    out = buffer.records() ? buffer.records()->usrmod1_role : 0;
    return kSuccess;
}

Status userAdd(const Server& server, const NewUser& user, std::uint32_t& parmErr) {
    USER_INFO_1 record{};
    record.usri1_name = user.name;
    record.usri1_password = user.password;
    record.usri1_priv = user.priv;
    record.usri1_home_dir = user.homeDir;
    record.usri1_comment = user.comment;
    // libnetapi hands these bits to the server unchanged.
    record.usri1_flags = user.accountControl;
    record.usri1_script_path = user.scriptPath;
    return status(
        NetUserAdd(serverText(server), 1, reinterpret_cast<std::uint8_t*>(&record), &parmErr));
}

Status userDel(const Server& server, const std::string& name) {
    return status(NetUserDel(serverText(server), name.c_str()));
}

namespace {

template <class Record>
Status setUserInfo(const Server& server, const std::string& name, std::uint32_t level,
                   Record record) {
    std::uint32_t parmErr = 0;
    return status(NetUserSetInfo(serverText(server), name.c_str(), level,
                                 reinterpret_cast<std::uint8_t*>(&record), &parmErr));
}

} // namespace

Status userSetPassword(const Server& server, const std::string& name, const std::string& password) {
    return setUserInfo(server, name, 1003, USER_INFO_1003{password.c_str()});
}

Status userSetHomeDir(const Server& server, const std::string& name, const std::string& homeDir) {
    return setUserInfo(server, name, 1006, USER_INFO_1006{homeDir.c_str()});
}

Status userSetComment(const Server& server, const std::string& name, const std::string& comment) {
    return setUserInfo(server, name, 1007, USER_INFO_1007{comment.c_str()});
}

Status userSid(const Server& server, const std::string& name, Sid& out) {
    Result<USER_INFO_23> buffer;
    const Status result =
        status(NetUserGetInfo(serverText(server), name.c_str(), 23, buffer.out()));
    if (result != kSuccess)
        return result;
    const domsid* sid = buffer.records() ? buffer.records()->usri23_user_sid : nullptr;
    if (!sid)
        return 1332; // ERROR_NONE_MAPPED: the account has no SID to give
    out.revision = sid->sid_rev_num;
    out.subAuthorityCount = sid->num_auths;
    std::memcpy(out.authority.data(), sid->id_auth, out.authority.size());
    for (std::size_t i = 0; i < MAXSUBAUTHS && i < out.subAuthorities.size(); ++i)
        out.subAuthorities[i] = sid->sub_auths[i];
    return kSuccess;
}

Status userLocalGroups(const Server& server, const std::string& name, std::uint32_t flags,
                       std::vector<std::string>& out) {
    out.clear();
    Result<LOCALGROUP_USERS_INFO_0> buffer;
    std::uint32_t read = 0, total = 0;
    const Status result = status(NetUserGetLocalGroups(serverText(server), name.c_str(), 0, flags,
                                                       buffer.out(), 0xFFFFFFFFu, &read, &total));
    if (result != kSuccess && result != kMoreData)
        return result;
    for (std::uint32_t i = 0; i < read; ++i)
        out.push_back(text(buffer.records()[i].lgrui0_name));
    return result;
}

Status localGroupEnum(const Server& server, std::uint32_t prefmaxlen, std::uint32_t& resume,
                      std::vector<std::string>& out) {
    out.clear();
    Result<LOCALGROUP_INFO_0> buffer;
    std::uint32_t read = 0, total = 0;
    const Status result = status(
        NetLocalGroupEnum(serverText(server), 0, buffer.out(), prefmaxlen, &read, &total, &resume));
    if (result != kSuccess && result != kMoreData)
        return result;
    for (std::uint32_t i = 0; i < read; ++i)
        out.push_back(text(buffer.records()[i].lgrpi0_name));
    return result;
}

Status localGroupAddMembers(const Server& server, const std::string& group,
                            const std::vector<Sid>& members) {
    return changeMembers(NetLocalGroupAddMembers, server, group, members);
}

Status localGroupDelMembers(const Server& server, const std::string& group,
                            const std::vector<Sid>& members) {
    return changeMembers(NetLocalGroupDelMembers, server, group, members);
}

Status shareEnum(const Server& server, std::uint32_t prefmaxlen, std::uint32_t& resume,
                 std::vector<Share>& out) {
    out.clear();
    Result<SHARE_INFO_2> buffer;
    std::uint32_t read = 0, total = 0;
    const Status result = status(
        NetShareEnum(serverText(server), 2, buffer.out(), prefmaxlen, &read, &total, &resume));
    if (result != kSuccess && result != kMoreData)
        return result;
    for (std::uint32_t i = 0; i < read; ++i) {
        const SHARE_INFO_2& record = buffer.records()[i];
        out.push_back({text(record.shi2_netname), text(record.shi2_remark), text(record.shi2_path),
                       record.shi2_type, record.shi2_permissions, record.shi2_max_uses,
                       record.shi2_current_uses});
    }
    return result;
}

Status shareAdd(const Server& server, const NewShare& share, std::uint32_t& parmErr) {
    SHARE_INFO_502 record{};
    record.shi502_netname = share.name;
    record.shi502_type = share.type;
    record.shi502_remark = share.remark;
    record.shi502_permissions = share.permissions;
    record.shi502_max_uses = share.maxUses;
    record.shi502_path = share.path;
    return status(
        NetShareAdd(serverText(server), 502, reinterpret_cast<std::uint8_t*>(&record), &parmErr));
}

Status shareDel(const Server& server, const std::string& name) {
    return status(NetShareDel(serverText(server), name.c_str(), 0));
}

} // namespace orvane::samba::lib
