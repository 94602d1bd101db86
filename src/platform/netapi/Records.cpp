#include "platform/netapi/Records.h"

#include "platform/netapi/ResultBuffer.h"

namespace orvane::records {

namespace {

std::size_t textUnits(DWORD level, const User& user) {
    std::size_t units = ResultBuffer::units(user.name);
    if (level == 1)
        units += ResultBuffer::units(user.homeDir) + ResultBuffer::units(user.comment) +
                 ResultBuffer::units(user.scriptPath);
    return units;
}

std::size_t textUnits(const Share& share) {
    return ResultBuffer::units(share.name) + ResultBuffer::units(share.remark) +
           ResultBuffer::units(share.path);
}

template <class Row, class Units> std::size_t allUnits(std::span<const Row> rows, Units&& units) {
    std::size_t total = 0;
    for (const Row& row : rows)
        total += units(row);
    return total;
}

template <class Record, class Fill>
LPBYTE build(std::size_t count, std::size_t units, Fill&& fill) {
    ResultBuffer out(count, sizeof(Record), units);
    Record* records = out.template records<Record>();
    for (std::size_t i = 0; i < count; ++i)
        fill(records[i], out, i);
    return out.release();
}

template <class Record> LPBYTE names(std::span<const QString> names) {
    const std::size_t units =
        allUnits(names, [](const QString& name) { return ResultBuffer::units(name); });
    return build<Record>(names.size(), units,
                         [&](Record& record, ResultBuffer& out, std::size_t i) {
                             if constexpr (requires { record.lgrui0_name; })
                                 record.lgrui0_name = out.copy(names[i]);
                             else
                                 record.lgrpi0_name = out.copy(names[i]);
                         });
}

} // namespace

std::size_t userBytes(DWORD level, const User& user) {
    const std::size_t record = level == 0 ? sizeof(USER_INFO_0) : sizeof(USER_INFO_1);
    return record + textUnits(level, user) * sizeof(WCHAR);
}

std::size_t shareBytes(DWORD level, const Share& share) {
    const std::size_t record = level == 2 ? sizeof(SHARE_INFO_2) : sizeof(SHARE_INFO_502);
    return record + textUnits(share) * sizeof(WCHAR);
}

std::size_t nameBytes(const QString& name) {
    // LOCALGROUP_INFO_0 and LOCALGROUP_USERS_INFO_0 are one pointer each.
    static_assert(sizeof(LOCALGROUP_INFO_0) == sizeof(LOCALGROUP_USERS_INFO_0));
    return sizeof(LOCALGROUP_INFO_0) + ResultBuffer::units(name) * sizeof(WCHAR);
}

LPBYTE userBuffer(DWORD level, std::span<const User> users) {
    const std::size_t units =
        allUnits(users, [level](const User& user) { return textUnits(level, user); });
    if (level == 0)
        return build<USER_INFO_0>(users.size(), units,
                                  [&](USER_INFO_0& record, ResultBuffer& out, std::size_t i) {
                                      record.usri0_name = out.copy(users[i].name);
                                  });
    return build<USER_INFO_1>(users.size(), units,
                              [&](USER_INFO_1& record, ResultBuffer& out, std::size_t i) {
                                  const User& user = users[i];
                                  record.usri1_name = out.copy(user.name);
                                  record.usri1_password = nullptr;
                                  record.usri1_password_age = user.passwordAge;
                                  record.usri1_priv = user.priv;
                                  record.usri1_home_dir = out.copy(user.homeDir);
                                  record.usri1_comment = out.copy(user.comment);
                                  record.usri1_flags = user.flags;
                                  record.usri1_script_path = out.copy(user.scriptPath);
                              });
}

LPBYTE shareBuffer(DWORD level, std::span<const Share> shares) {
    const std::size_t units = allUnits(shares, [](const Share& share) { return textUnits(share); });
    if (level == 2)
        return build<SHARE_INFO_2>(shares.size(), units,
                                   [&](SHARE_INFO_2& record, ResultBuffer& out, std::size_t i) {
                                       const Share& share = shares[i];
                                       record.shi2_netname = out.copy(share.name);
                                       record.shi2_type = share.type;
                                       record.shi2_remark = out.copy(share.remark);
                                       record.shi2_permissions = share.permissions;
                                       record.shi2_max_uses = share.maxUses;
                                       record.shi2_current_uses = share.currentUses;
                                       record.shi2_path = out.copy(share.path);
                                       record.shi2_passwd = nullptr;
                                   });
    return build<SHARE_INFO_502>(shares.size(), units,
                                 [&](SHARE_INFO_502& record, ResultBuffer& out, std::size_t i) {
                                     const Share& share = shares[i];
                                     record.shi502_netname = out.copy(share.name);
                                     record.shi502_type = share.type;
                                     record.shi502_remark = out.copy(share.remark);
                                     record.shi502_permissions = share.permissions;
                                     record.shi502_max_uses = share.maxUses;
                                     record.shi502_current_uses = share.currentUses;
                                     record.shi502_path = out.copy(share.path);
                                     record.shi502_passwd = nullptr;
                                     record.shi502_security_descriptor = nullptr;
                                 });
}

LPBYTE localGroupBuffer(std::span<const QString> groups) {
    return names<LOCALGROUP_INFO_0>(groups);
}

LPBYTE userLocalGroupBuffer(std::span<const QString> groups) {
    return names<LOCALGROUP_USERS_INFO_0>(groups);
}

void clearOutputs(LPBYTE* bufptr, LPDWORD entriesread, LPDWORD totalentries) {
    if (bufptr)
        *bufptr = nullptr;
    if (entriesread)
        *entriesread = 0;
    if (totalentries)
        *totalentries = 0;
}

} // namespace orvane::records
