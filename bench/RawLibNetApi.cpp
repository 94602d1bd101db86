#include "RawLibNetApi.h"

// <netapi.h> needs the fixed-width types before it.
#include <cstdint>
#include <netapi.h>

#include <chrono>
#include <stdexcept>

namespace orvane::bench::raw {

namespace {

// Samba's account-control bits, which libnetapi hands to the server as given.
constexpr std::uint32_t kNormalAccount = 0x0010;
constexpr std::uint32_t kPasswordNeverExpires = 0x0200;

libnetapi_ctx* context(void* p) {
    return static_cast<libnetapi_ctx*>(p);
}

template <class Call> NET_API_STATUS timed(double& seconds, Call&& call) {
    const auto start = std::chrono::steady_clock::now();
    const NET_API_STATUS status = call();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return status;
}

} // namespace

Session::Session(const std::string& user, const std::string& password) {
    libnetapi_ctx* ctx = nullptr;
    NET_API_STATUS status = libnetapi_init(&ctx);
    if (status == NET_API_STATUS_SUCCESS)
        status = libnetapi_set_username(ctx, user.c_str());
    if (status == NET_API_STATUS_SUCCESS)
        status = libnetapi_set_password(ctx, password.c_str());
    if (status != NET_API_STATUS_SUCCESS) {
        if (ctx)
            libnetapi_free(ctx);
        throw std::runtime_error("libnetapi cannot start: status " + std::to_string(status));
    }
    m_context = ctx;
}

Session::~Session() {
    libnetapi_free(context(m_context));
}

void Session::warmUp(const std::string& user) {
    std::uint8_t* buffer = nullptr;
    if (NetUserGetInfo(nullptr, user.c_str(), 0, &buffer) == NET_API_STATUS_SUCCESS && buffer)
        NetApiBufferFree(buffer);
    buffer = nullptr;
    std::uint32_t read = 0, total = 0, resume = 0;
    if (NetLocalGroupEnum(nullptr, 0, &buffer, 0xFFFFFFFFu, &read, &total, &resume) ==
            NET_API_STATUS_SUCCESS &&
        buffer)
        NetApiBufferFree(buffer);
}

std::uint32_t Session::createInUsers(const std::string& name, const std::string& password,
                                     CallSeconds& seconds, std::string& failed) {
    USER_INFO_1 user{};
    user.usri1_name = name.c_str();
    user.usri1_password = password.c_str();
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_flags = kNormalAccount | kPasswordNeverExpires;
    std::uint32_t parmErr = 0;
    NET_API_STATUS status = timed(seconds.add, [&] {
        return NetUserAdd(nullptr, 1, reinterpret_cast<std::uint8_t*>(&user), &parmErr);
    });
    if (status != NET_API_STATUS_SUCCESS) {
        failed = "NetUserAdd";
        return status;
    }

    // Level 3 (by name) brings libnetapi down: the member goes by its SID.
    std::uint8_t* buffer = nullptr;
    status = timed(seconds.sid, [&] { return NetUserGetInfo(nullptr, name.c_str(), 23, &buffer); });
    const auto* info = reinterpret_cast<const USER_INFO_23*>(buffer);
    if (status != NET_API_STATUS_SUCCESS || !info || !info->usri23_user_sid) {
        if (buffer)
            NetApiBufferFree(buffer);
        failed = "NetUserGetInfo 23";
        return status != NET_API_STATUS_SUCCESS ? status : 1332; // ERROR_NONE_MAPPED
    }
    LOCALGROUP_MEMBERS_INFO_0 member{info->usri23_user_sid};
    status = timed(seconds.addMembers, [&] {
        return NetLocalGroupAddMembers(nullptr, "Users", 0,
                                       reinterpret_cast<std::uint8_t*>(&member), 1);
    });
    NetApiBufferFree(buffer);
    if (status != NET_API_STATUS_SUCCESS)
        failed = "NetLocalGroupAddMembers 0";
    return status;
}

std::uint32_t Session::deleteUser(const std::string& name) {
    return NetUserDel(nullptr, name.c_str());
}

std::string Session::errorText(std::uint32_t status) const {
    char* message =
        libnetapi_get_error_string(context(m_context), static_cast<NET_API_STATUS>(status));
    std::string out = message ? message : "";
    if (message)
        NetApiBufferFree(message);
    return out;
}

} // namespace orvane::bench::raw
