#include "platform/samba/Directory.h"

#include "platform/Descriptor.h"
#include "platform/samba/DirectoryCredentials.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

extern "C" {
#include <ldb.h>
#include <param.h>
#include <talloc.h>
#include <tevent.h>
}

namespace orvane::samba {

namespace {

// The directory answers at most this many entries a page by default.
constexpr int kPageSize = 1000;
// A search the server takes longer over is asked again page by page.
constexpr int kRequestSeconds = 30;
// A port that drops what it is sent would hold the window for minutes: the
// directory must answer within this.
constexpr int kConnectMilliseconds = 5000;
constexpr char kPagedResults[] = "1.2.840.113556.1.4.319";

// Searches the directory's normal accounts as the account calls list them
// (the server keeps to normal accounts of its domain, and so does the listing).
constexpr char kUserFilter[] =
    "(&(objectClass=user)(userAccountControl:1.2.840.113556.1.4.803:=512))";
const char* const kUserAttributes[] = {"sAMAccountName",
                                       "description",
                                       "homeDirectory",
                                       "scriptPath",
                                       "userAccountControl",
                                       "msDS-User-Account-Control-Computed",
                                       "pwdLastSet",
                                       "objectSid",
                                       "primaryGroupID",
                                       "memberOf",
                                       nullptr};
const char* const kGroupAttributes[] = {"sAMAccountName", "objectSid", "groupType",
                                        "objectGUID",     "memberOf",  nullptr};

// ldb's messages are its own to report; the caller hears of failures by result.
void quiet(void*, ldb_debug_level, const char*, va_list) {}

std::string text(const ldb_val* value) {
    return value ? std::string(reinterpret_cast<const char*>(value->data), value->length)
                 : std::string();
}

std::string attribute(const ldb_message* message, const char* name) {
    return text(ldb_msg_find_ldb_val(message, name));
}

std::string errorOf(ldb_context* ldb, int status) {
    const char* message = ldb_errstring(ldb);
    std::string out = "LDAP error " + std::to_string(status);
    if (message && *message)
        out += std::string(": ") + message;
    return out;
}

} // namespace

// Everything the directory client allocates hangs from one talloc context.
struct Directory::Memory {
    TALLOC_CTX* context = talloc_new(nullptr);
    ~Memory() { talloc_free(context); }
};

Directory::Directory(std::unique_ptr<Memory> memory, ldb_context* ldb, std::string base,
                     std::string domainSid)
    : m_memory(std::move(memory)), m_ldb(ldb), m_base(std::move(base)),
      m_domainSid(std::move(domainSid)) {}

Directory::~Directory() = default;

namespace {

// One page's search: each entry is handed on as it arrives and freed, so the
// client works while the server is still sending.
struct PageSearch {
    const std::function<void(const ldb_message*)>* each;
    std::string cookie;
};

int onReply(struct ldb_request* request, struct ldb_reply* reply) {
    auto* page = static_cast<PageSearch*>(request->context);
    if (!reply)
        return ldb_request_done(request, LDB_ERR_OPERATIONS_ERROR);
    if (reply->error != LDB_SUCCESS) {
        const int error = reply->error;
        talloc_free(reply);
        return ldb_request_done(request, error);
    }
    switch (reply->type) {
    case LDB_REPLY_ENTRY:
        // Nothing may unwind through the directory client's C frames.
        try {
            (*page->each)(reply->message);
        } catch (...) {
            talloc_free(reply);
            return ldb_request_done(request, LDB_ERR_OPERATIONS_ERROR);
        }
        break;
    case LDB_REPLY_REFERRAL:
        break;
    case LDB_REPLY_DONE:
        for (ldb_control** control = reply->controls; control && *control; ++control)
            if (std::strcmp((*control)->oid, kPagedResults) == 0 && (*control)->data) {
                const auto* paged = static_cast<const ldb_paged_control*>((*control)->data);
                if (paged->cookie && paged->cookie_len > 0)
                    page->cookie.assign(paged->cookie, std::size_t(paged->cookie_len));
            }
        talloc_free(reply);
        return ldb_request_done(request, LDB_SUCCESS);
    }
    talloc_free(reply);
    return LDB_SUCCESS;
}

// Runs a search whole, or page by page; `each` sees every entry while it
// lives. An LDAP error comes back as the result, with `why`.
int search(ldb_context* ldb, ldb_dn* base, ldb_scope scope, const char* filter,
           const char* const* attributes, bool paged,
           const std::function<void(const ldb_message*)>& each, std::string& why) {
    std::string cookie;
    do {
        TALLOC_CTX* memory = talloc_new(ldb);
        PageSearch page{&each, {}};
        struct ldb_request* request = nullptr;
        int status = ldb_build_search_req(&request, ldb, memory, base, scope, filter, attributes,
                                          nullptr, &page, onReply, nullptr);
        if (status == LDB_SUCCESS && paged) {
            // talloc checks the control's type by its C name.
            auto* control = talloc_zero(request, struct ldb_paged_control);
            control->size = kPageSize;
            control->cookie =
                cookie.empty()
                    ? nullptr
                    : static_cast<char*>(talloc_memdup(control, cookie.data(), cookie.size()));
            control->cookie_len = int(cookie.size());
            status = ldb_request_add_control(request, kPagedResults, true, control);
        }
        if (status == LDB_SUCCESS)
            status = ldb_set_timeout(ldb, request, kRequestSeconds);
        if (status == LDB_SUCCESS)
            status = ldb_request(ldb, request);
        if (status == LDB_SUCCESS)
            status = ldb_wait(request->handle, LDB_WAIT_ALL);
        talloc_free(memory);
        if (status != LDB_SUCCESS) {
            why = errorOf(ldb, status);
            return status;
        }
        cookie = std::move(page.cookie);
    } while (!cookie.empty());
    return LDB_SUCCESS;
}

// A search of the domain's objects. Asked whole first: a Samba DC answers
// that at twice the speed of pages. A server that caps what one search
// returns (a Windows DC, at 1,000), or takes too long over it, is then asked
// page by page.
template <class Entries>
bool searchAll(ldb_context* ldb, ldb_dn* base, const char* filter, const char* const* attributes,
               bool pagesOnly, Entries& entries,
               const std::function<void(const ldb_message*)>& each, std::string& why) {
    int status = LDB_SUCCESS;
    for (const bool paged : {false, true}) {
        if (pagesOnly && !paged)
            continue;
        entries.clear();
        status = search(ldb, base, LDB_SCOPE_SUBTREE, filter, attributes, paged, each, why);
        if (status != LDB_ERR_SIZE_LIMIT_EXCEEDED && status != LDB_ERR_ADMIN_LIMIT_EXCEEDED &&
            status != LDB_ERR_TIME_LIMIT_EXCEEDED)
            break;
    }
    return status == LDB_SUCCESS;
}

// Names compare as the directory folds them: ASCII letters ignore case. Both
// sides come from the same server, spelled alike.
std::string folded(const ldb_val& value) {
    std::string out(reinterpret_cast<const char*>(value.data), value.length);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

std::vector<std::string> foldedDns(const ldb_message* message, const char* name) {
    std::vector<std::string> out;
    const ldb_message_element* element = ldb_msg_find_element(message, name);
    if (!element)
        return out;
    out.reserve(element->num_values);
    for (unsigned i = 0; i < element->num_values; ++i)
        out.push_back(folded(element->values[i]));
    return out;
}

// Whether something listens on the directory's port of `host`, within the bound.
bool answers(const std::string& host, std::string& why) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), "389", &hints, &found); error != 0) {
        why = host + ": " + ::gai_strerror(error);
        return false;
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, ::freeaddrinfo);
    why = "no answer on port 389 of " + host;
    for (const addrinfo* address = found; address; address = address->ai_next) {
        Descriptor socket(::socket(address->ai_family,
                                   address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                   address->ai_protocol));
        if (!socket.valid())
            continue;
        if (::connect(socket.get(), address->ai_addr, address->ai_addrlen) == 0)
            return true;
        if (errno != EINPROGRESS)
            continue;
        pollfd waiting{socket.get(), POLLOUT, 0};
        if (::poll(&waiting, 1, kConnectMilliseconds) != 1)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            return true;
    }
    return false;
}

} // namespace

std::unique_ptr<Directory> Directory::connect(const std::string& host,
                                              const lib::Credentials& credentials, std::string& why,
                                              bool* refused) {
    if (refused)
        *refused = false;
    if (!answers(host, why))
        return nullptr;
    auto memory = std::make_unique<Memory>();
    TALLOC_CTX* context = memory->context;
    tevent_context* events = tevent_context_init(context);
    // The client configuration libnetapi reads too.
    loadparm_context* lp = loadparm_init(context);
    if (!events || !lp || !lpcfg_load_default(lp)) {
        why = "Samba's client configuration cannot be read";
        return nullptr;
    }
    const char* error = nullptr;
    cli_credentials* signOn = orvane_directory_credentials(context, lp, credentials.user.c_str(),
                                                           credentials.password.c_str(),
                                                           credentials.useTicketCache, &error);
    if (!signOn) {
        why = std::string("no credentials for the directory: ") + (error ? error : "");
        return nullptr;
    }
    ldb_context* ldb = ldb_init(context, events);
    if (!ldb) {
        why = "out of memory";
        return nullptr;
    }
    ldb_set_debug(ldb, quiet, nullptr);
    ldb_set_opaque(ldb, "credentials", signOn);
    ldb_set_opaque(ldb, "loadparm", lp);
    const std::string url =
        "ldap://" + (host.find(':') != std::string::npos ? '[' + host + ']' : host);
    if (const int status = ldb_connect(ldb, url.c_str(), 0, nullptr); status != LDB_SUCCESS) {
        why = errorOf(ldb, status);
        if (refused)
            *refused = status == LDB_ERR_INVALID_CREDENTIALS;
        return nullptr;
    }

    // The domain's naming context and SID: the accounts the calls list are its.
    std::string base, domainSid;
    const char* const rootAttributes[] = {"defaultNamingContext", nullptr};
    std::string searchWhy;
    search(
        ldb, ldb_dn_new(context, ldb, ""), LDB_SCOPE_BASE, "(objectClass=*)", rootAttributes, false,
        [&](const ldb_message* root) { base = attribute(root, "defaultNamingContext"); },
        searchWhy);
    if (base.empty()) {
        why = "the directory names no domain" + (searchWhy.empty() ? "" : ": " + searchWhy);
        return nullptr;
    }
    const char* const domainAttributes[] = {"objectSid", nullptr};
    search(
        ldb, ldb_dn_new(context, ldb, base.c_str()), LDB_SCOPE_BASE, "(objectClass=*)",
        domainAttributes, false,
        [&](const ldb_message* domain) { domainSid = sidText(attribute(domain, "objectSid")); },
        searchWhy);
    if (domainSid.empty()) {
        why = "the directory gives no domain SID" + (searchWhy.empty() ? "" : ": " + searchWhy);
        return nullptr;
    }
    return std::unique_ptr<Directory>(
        new Directory(std::move(memory), ldb, std::move(base), std::move(domainSid)));
}

bool Directory::read(DirectoryContents& out, std::string& why, Paging paging) {
    const bool pagesOnly = paging == Paging::Always;
    out = {};
    out.domainSid = m_domainSid;
    TALLOC_CTX* scratch = talloc_new(m_memory->context);
    ldb_dn* base = ldb_dn_new(scratch, m_ldb, m_base.c_str());
    bool ok = searchAll(
        m_ldb, base, kUserFilter, kUserAttributes, pagesOnly, out.users,
        [&](const ldb_message* entry) {
            DirectoryUser user;
            user.name = attribute(entry, "sAMAccountName");
            user.comment = attribute(entry, "description");
            user.homeDir = attribute(entry, "homeDirectory");
            user.scriptPath = attribute(entry, "scriptPath");
            user.sid = sidText(attribute(entry, "objectSid"));
            user.accountControl =
                std::uint32_t(ldb_msg_find_attr_as_int64(entry, "userAccountControl", 0));
            user.computedControl = std::uint32_t(
                ldb_msg_find_attr_as_int64(entry, "msDS-User-Account-Control-Computed", 0));
            user.passwordLastSet = ldb_msg_find_attr_as_int64(entry, "pwdLastSet", 0);
            user.primaryGroupRid =
                std::uint32_t(ldb_msg_find_attr_as_int64(entry, "primaryGroupID", 0));
            user.memberOf = foldedDns(entry, "memberOf");
            out.users.push_back(std::move(user));
        },
        why);
    ok = ok && searchAll(
                   m_ldb, base, "(objectClass=group)", kGroupAttributes, pagesOnly, out.groups,
                   [&](const ldb_message* entry) {
                       DirectoryGroup group;
                       if (const char* dn = ldb_dn_get_linearized(entry->dn))
                           group.dn = folded({reinterpret_cast<uint8_t*>(const_cast<char*>(dn)),
                                              std::strlen(dn)});
                       group.name = attribute(entry, "sAMAccountName");
                       group.sid = sidText(attribute(entry, "objectSid"));
                       group.groupType =
                           std::int32_t(ldb_msg_find_attr_as_int64(entry, "groupType", 0));
                       group.guid = attribute(entry, "objectGUID");
                       group.memberOf = foldedDns(entry, "memberOf");
                       out.groups.push_back(std::move(group));
                   },
                   why);
    talloc_free(scratch);
    return ok;
}

} // namespace orvane::samba
