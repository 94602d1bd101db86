#include "platform/samba/Directory.h"

#include "platform/Descriptor.h"
#include "platform/samba/DirectoryCredentials.h"
#include "platform/samba/DirectoryEvents.h"
#include "platform/samba/DirectoryReading.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
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

// What went wrong: the replies' fault, the deadline, or what ldb says.
std::string errorOf(ldb_context* ldb, int status, const Replies& replies,
                    const EventDeadline& deadline, std::chrono::seconds bound) {
    if (!replies.why().empty())
        return "the directory sent " + replies.why();
    if (deadline.ended())
        return "no answer from the directory within " + std::to_string(bound.count()) + " s";
    const char* message = ldb_errstring(ldb);
    std::string out = "LDAP error " + std::to_string(status);
    if (message && *message)
        out += std::string(": ") + message;
    return out;
}

// Hands each reply to the search's Replies as ldb passes it on; entries are
// freed as they go, so the client works while the server is still sending.
int onReply(struct ldb_request* request, struct ldb_reply* reply) {
    auto* replies = static_cast<Replies*>(request->context);
    if (!reply)
        return ldb_request_done(request, LDB_ERR_OPERATIONS_ERROR);
    if (reply->error != LDB_SUCCESS) {
        const int error = reply->error;
        talloc_free(reply);
        return ldb_request_done(request, error);
    }
    int status = LDB_SUCCESS;
    // Nothing may unwind through the directory client's C frames.
    try {
        switch (reply->type) {
        case LDB_REPLY_ENTRY:
            status = replies->entry(reply->message);
            break;
        case LDB_REPLY_REFERRAL:
            break;
        case LDB_REPLY_DONE:
            status = replies->done(reply->controls);
            talloc_free(reply);
            return ldb_request_done(request, status);
        }
    } catch (...) {
        status = LDB_ERR_OPERATIONS_ERROR;
    }
    talloc_free(reply);
    return status == LDB_SUCCESS ? LDB_SUCCESS : ldb_request_done(request, status);
}

// One request and its replies: the search whole when `cookie` is null, else
// the page it names.
int ask(ldb_context* ldb, ldb_dn* base, ldb_scope scope, const char* filter,
        const char* const* attributes, const std::string* cookie, Replies& replies,
        const EventDeadline& deadline) {
    TALLOC_CTX* memory = talloc_new(ldb);
    struct ldb_request* request = nullptr;
    int status = ldb_build_search_req(&request, ldb, memory, base, scope, filter, attributes,
                                      nullptr, &replies, onReply, nullptr);
    if (status == LDB_SUCCESS && cookie) {
        // talloc checks the control's type by its C name.
        auto* control = talloc_zero(request, struct ldb_paged_control);
        control->size = kPageSize;
        control->cookie =
            cookie->empty()
                ? nullptr
                : static_cast<char*>(talloc_memdup(control, cookie->data(), cookie->size()));
        control->cookie_len = int(cookie->size());
        status = ldb_request_add_control(request, kPagedResults, true, control);
    }
    if (status == LDB_SUCCESS)
        // The client's own limit tells a slow search (asked again in pages)
        // from the deadline, which must come first when it is nearer.
        status =
            ldb_set_timeout(ldb, request, std::min(kRequestSeconds, deadline.secondsLeft() + 1));
    if (status == LDB_SUCCESS)
        status = ldb_request(ldb, request);
    if (status == LDB_SUCCESS)
        status = ldb_wait(request->handle, LDB_WAIT_ALL);
    talloc_free(memory);
    return status;
}

// Whether something listens on the directory's port of `host`, within the bound.
bool answers(const std::string& host, int milliseconds, std::string& why) {
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
        if (::poll(&waiting, 1, milliseconds) != 1)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            return true;
    }
    return false;
}

Directory::Clock::time_point orDefault(Directory::Clock::time_point deadline) {
    return deadline == Directory::Clock::time_point{}
               ? Directory::Clock::now() + Directory::kReadBound
               : deadline;
}

} // namespace

// Everything the directory client allocates hangs from one talloc context.
struct Directory::Memory {
    TALLOC_CTX* context = talloc_new(nullptr);
    ~Memory() { talloc_free(context); }
};

Directory::Directory(std::unique_ptr<Memory> memory, tevent_context* events, ldb_context* ldb,
                     std::string base, std::string domainSid)
    : m_memory(std::move(memory)), m_events(events), m_ldb(ldb), m_base(std::move(base)),
      m_domainSid(std::move(domainSid)) {}

Directory::~Directory() = default;

std::unique_ptr<Directory> Directory::connect(const std::string& host,
                                              const lib::Credentials& credentials, std::string& why,
                                              bool* refused, Clock::time_point deadline) {
    if (refused)
        *refused = false;
    const auto start = Clock::now();
    const auto until = std::min(orDefault(deadline), start + kConnectBound);
    const auto bound = std::chrono::duration_cast<std::chrono::seconds>(
        until - start + std::chrono::milliseconds(500));
    const int milliseconds = int(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(until - start).count()));
    if (!answers(host, milliseconds, why))
        return nullptr;
    auto memory = std::make_unique<Memory>();
    TALLOC_CTX* context = memory->context;
    tevent_context* events = boundedEvents(context);
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
    const EventDeadline waits(events, until);
    if (const int status = ldb_connect(ldb, url.c_str(), 0, nullptr); status != LDB_SUCCESS) {
        why = errorOf(ldb, status, OneEntry({}), waits, bound);
        if (refused)
            *refused = status == LDB_ERR_INVALID_CREDENTIALS && !waits.ended();
        return nullptr;
    }

    // The domain's naming context and SID: the accounts the calls list are its.
    std::string base, domainSid;
    const char* const rootAttributes[] = {"defaultNamingContext", nullptr};
    OneEntry root(
        [&](const ldb_message* entry) { base = attribute(entry, "defaultNamingContext"); });
    int status = ask(ldb, ldb_dn_new(context, ldb, ""), LDB_SCOPE_BASE, "(objectClass=*)",
                     rootAttributes, nullptr, root, waits);
    if (status != LDB_SUCCESS || base.empty() || base.find('\0') != std::string::npos) {
        why = "the directory names no domain" +
              (status == LDB_SUCCESS ? "" : ": " + errorOf(ldb, status, root, waits, bound));
        return nullptr;
    }
    const char* const domainAttributes[] = {"objectSid", nullptr};
    OneEntry domain(
        [&](const ldb_message* entry) { domainSid = sidText(attribute(entry, "objectSid")); });
    status = ask(ldb, ldb_dn_new(context, ldb, base.c_str()), LDB_SCOPE_BASE, "(objectClass=*)",
                 domainAttributes, nullptr, domain, waits);
    if (status != LDB_SUCCESS || domainSid.empty()) {
        why = "the directory gives no domain SID" +
              (status == LDB_SUCCESS ? "" : ": " + errorOf(ldb, status, domain, waits, bound));
        return nullptr;
    }
    return std::unique_ptr<Directory>(
        new Directory(std::move(memory), events, ldb, std::move(base), std::move(domainSid)));
}

bool Directory::read(DirectoryContents& out, std::string& why, Paging paging,
                     Clock::time_point deadline) {
    out = {};
    out.domainSid = m_domainSid;
    const auto until = orDefault(deadline);
    const auto bound = std::chrono::duration_cast<std::chrono::seconds>(
        until - Clock::now() + std::chrono::milliseconds(500));
    const EventDeadline waits(m_events, until);
    TALLOC_CTX* scratch = talloc_new(m_memory->context);
    ldb_dn* base = ldb_dn_new(scratch, m_ldb, m_base.c_str());
    DirectoryReading reading(out);
    const int status = reading.read(
        paging == Paging::Always, [&](DirectoryReading::Search search, const std::string* cookie) {
            const bool users = search == DirectoryReading::Search::Users;
            return ask(m_ldb, base, LDB_SCOPE_SUBTREE, users ? kUserFilter : "(objectClass=group)",
                       users ? kUserAttributes : kGroupAttributes, cookie, reading, waits);
        });
    talloc_free(scratch);
    if (status != LDB_SUCCESS)
        why = errorOf(m_ldb, status, reading, waits, bound);
    return status == LDB_SUCCESS;
}

} // namespace orvane::samba
