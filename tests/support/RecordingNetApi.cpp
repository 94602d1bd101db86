#include "support/RecordingNetApi.h"

namespace orvane::test {

namespace {

QString text(LPCWSTR value) {
    return value ? QString::fromUtf16(value) : QStringLiteral("<null>");
}

std::optional<QString> server(LPCWSTR value) {
    if (!value)
        return std::nullopt;
    return QString::fromUtf16(value);
}

QString number(long long value) {
    return QString::number(value);
}

QString hex(DWORD value) {
    return QStringLiteral("0x") + QString::number(value, 16);
}

QString pointer(const void* value) {
    return value ? QStringLiteral("<set>") : QStringLiteral("<null>");
}

// A DWORD that stands for -1 reads as -1.
QString signedNumber(DWORD value) {
    return number(static_cast<std::int32_t>(value));
}

void describe(const USER_INFO_1& info, QMap<QString, QString>& arguments) {
    arguments[QStringLiteral("name")] = text(info.usri1_name);
    arguments[QStringLiteral("password")] = pointer(info.usri1_password);
    arguments[QStringLiteral("password_age")] = number(info.usri1_password_age);
    arguments[QStringLiteral("priv")] = number(info.usri1_priv);
    arguments[QStringLiteral("home_dir")] = text(info.usri1_home_dir);
    arguments[QStringLiteral("comment")] = text(info.usri1_comment);
    arguments[QStringLiteral("flags")] = hex(info.usri1_flags);
    arguments[QStringLiteral("script_path")] = text(info.usri1_script_path);
}

} // namespace

std::vector<RecordedCall> RecordingNetApi::calls() const {
    std::lock_guard lock(m_mutex);
    return m_calls;
}

std::vector<RecordedCall> RecordingNetApi::callsOf(const QString& name) const {
    std::vector<RecordedCall> out;
    for (RecordedCall& call : calls())
        if (call.call == name)
            out.push_back(std::move(call));
    return out;
}

void RecordingNetApi::clear() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
}

void RecordingNetApi::record(RecordedCall call) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
}

NET_API_STATUS RecordingNetApi::NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter,
                                            LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                            LPDWORD totalentries, PDWORD resume_handle) {
    record({QStringLiteral("NetUserEnum"),
            server(servername),
            level,
            {{QStringLiteral("filter"), number(filter)},
             {QStringLiteral("prefmaxlen"), signedNumber(prefmaxlen)},
             {QStringLiteral("resume_handle"), pointer(resume_handle)},
             {QStringLiteral("resume"), resume_handle ? number(*resume_handle) : QString()}}});
    return m_backend.NetUserEnum(servername, level, filter, bufptr, prefmaxlen, entriesread,
                                 totalentries, resume_handle);
}

NET_API_STATUS RecordingNetApi::NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                                           LPDWORD parm_err) {
    RecordedCall call{QStringLiteral("NetUserAdd"), server(servername), level, {}};
    call.arguments[QStringLiteral("parm_err")] = pointer(parm_err);
    if (level == 1 && buf)
        describe(*reinterpret_cast<const USER_INFO_1*>(buf), call.arguments);
    record(std::move(call));
    return m_backend.NetUserAdd(servername, level, buf, parm_err);
}

NET_API_STATUS RecordingNetApi::NetUserDel(LPCWSTR servername, LPCWSTR username) {
    record({QStringLiteral("NetUserDel"),
            server(servername),
            0,
            {{QStringLiteral("username"), text(username)}}});
    return m_backend.NetUserDel(servername, username);
}

NET_API_STATUS RecordingNetApi::NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                               LPBYTE buf, LPDWORD parm_err) {
    RecordedCall call{QStringLiteral("NetUserSetInfo"), server(servername), level, {}};
    call.arguments[QStringLiteral("username")] = text(username);
    call.arguments[QStringLiteral("parm_err")] = pointer(parm_err);
    if (level == 1 && buf)
        describe(*reinterpret_cast<const USER_INFO_1*>(buf), call.arguments);
    record(std::move(call));
    return m_backend.NetUserSetInfo(servername, username, level, buf, parm_err);
}

NET_API_STATUS RecordingNetApi::NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username,
                                                      DWORD level, DWORD flags, LPBYTE* bufptr,
                                                      DWORD prefmaxlen, LPDWORD entriesread,
                                                      LPDWORD totalentries) {
    record({QStringLiteral("NetUserGetLocalGroups"),
            server(servername),
            level,
            {{QStringLiteral("username"), text(username)},
             {QStringLiteral("flags"), number(flags)},
             {QStringLiteral("prefmaxlen"), signedNumber(prefmaxlen)}}});
    return m_backend.NetUserGetLocalGroups(servername, username, level, flags, bufptr, prefmaxlen,
                                           entriesread, totalentries);
}

NET_API_STATUS RecordingNetApi::NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                                  DWORD prefmaxlen, LPDWORD entriesread,
                                                  LPDWORD totalentries, PDWORD_PTR resumehandle) {
    record({QStringLiteral("NetLocalGroupEnum"),
            server(servername),
            level,
            {{QStringLiteral("prefmaxlen"), signedNumber(prefmaxlen)},
             {QStringLiteral("resumehandle"), pointer(resumehandle)}}});
    return m_backend.NetLocalGroupEnum(servername, level, bufptr, prefmaxlen, entriesread,
                                       totalentries, resumehandle);
}

namespace {
RecordedCall membersCall(const char* name, LPCWSTR servername, LPCWSTR groupname, DWORD level,
                         LPBYTE buf, DWORD totalentries) {
    RecordedCall call{QLatin1String(name), server(servername), level, {}};
    call.arguments[QStringLiteral("groupname")] = text(groupname);
    call.arguments[QStringLiteral("totalentries")] = number(totalentries);
    if (level == 3 && buf) {
        const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
        QStringList names;
        for (DWORD i = 0; i < totalentries; ++i)
            names.append(text(members[i].lgrmi3_domainandname));
        call.arguments[QStringLiteral("members")] = names.join(u',');
    }
    return call;
}
} // namespace

NET_API_STATUS RecordingNetApi::NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname,
                                                        DWORD level, LPBYTE buf,
                                                        DWORD totalentries) {
    record(membersCall("NetLocalGroupAddMembers", servername, groupname, level, buf, totalentries));
    return m_backend.NetLocalGroupAddMembers(servername, groupname, level, buf, totalentries);
}

NET_API_STATUS RecordingNetApi::NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname,
                                                        DWORD level, LPBYTE buf,
                                                        DWORD totalentries) {
    record(membersCall("NetLocalGroupDelMembers", servername, groupname, level, buf, totalentries));
    return m_backend.NetLocalGroupDelMembers(servername, groupname, level, buf, totalentries);
}

NET_API_STATUS RecordingNetApi::NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr,
                                             DWORD prefmaxlen, LPDWORD entriesread,
                                             LPDWORD totalentries, LPDWORD resume_handle) {
    record({QStringLiteral("NetShareEnum"),
            server(servername),
            level,
            {{QStringLiteral("prefmaxlen"), signedNumber(prefmaxlen)},
             {QStringLiteral("resume_handle"), pointer(resume_handle)}}});
    return m_backend.NetShareEnum(servername, level, bufptr, prefmaxlen, entriesread, totalentries,
                                  resume_handle);
}

NET_API_STATUS RecordingNetApi::NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                                            LPDWORD parm_err) {
    RecordedCall call{QStringLiteral("NetShareAdd"), server(servername), level, {}};
    call.arguments[QStringLiteral("parm_err")] = pointer(parm_err);
    if (level == 502 && buf) {
        const auto& info = *reinterpret_cast<const SHARE_INFO_502*>(buf);
        call.arguments[QStringLiteral("netname")] = text(info.shi502_netname);
        call.arguments[QStringLiteral("type")] = number(info.shi502_type);
        call.arguments[QStringLiteral("remark")] = text(info.shi502_remark);
        call.arguments[QStringLiteral("permissions")] = number(info.shi502_permissions);
        call.arguments[QStringLiteral("max_uses")] = signedNumber(info.shi502_max_uses);
        call.arguments[QStringLiteral("current_uses")] = number(info.shi502_current_uses);
        call.arguments[QStringLiteral("path")] = text(info.shi502_path);
        call.arguments[QStringLiteral("passwd")] = text(info.shi502_passwd);
        call.arguments[QStringLiteral("reserved")] = number(info.shi502_reserved);
        call.arguments[QStringLiteral("security_descriptor")] =
            pointer(info.shi502_security_descriptor);
    }
    record(std::move(call));
    return m_backend.NetShareAdd(servername, level, buf, parm_err);
}

NET_API_STATUS RecordingNetApi::NetShareDel(LMSTR servername, LMSTR netname, DWORD reserved) {
    record({QStringLiteral("NetShareDel"),
            server(servername),
            0,
            {{QStringLiteral("netname"), text(netname)},
             {QStringLiteral("reserved"), number(reserved)}}});
    return m_backend.NetShareDel(servername, netname, reserved);
}

NET_API_STATUS RecordingNetApi::NetApiBufferFree(LPVOID Buffer) {
    return m_backend.NetApiBufferFree(Buffer);
}

} // namespace orvane::test
