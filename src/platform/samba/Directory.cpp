#include "platform/samba/Directory.h"

#include "platform/samba/DirectoryCredentials.h"

#include <cstdint>
#include <cstring>
#include <functional>

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
constexpr int kRequestSeconds = 60;
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

// Runs a search page by page; `each` sees every entry while its page lives.
bool pagedSearch(ldb_context* ldb, ldb_dn* base, ldb_scope scope, const char* filter,
                 const char* const* attributes, const std::function<void(const ldb_message*)>& each,
                 std::string& why) {
    TALLOC_CTX* scratch = talloc_new(ldb);
    std::string cookie;
    bool ok = true;
    do {
        TALLOC_CTX* page = talloc_new(scratch);
        auto* result = talloc_zero(page, struct ldb_result);
        struct ldb_request* request = nullptr;
        int status = ldb_build_search_req(&request, ldb, page, base, scope, filter, attributes,
                                          nullptr, result, ldb_search_default_callback, nullptr);
        if (status == LDB_SUCCESS) {
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
        if (status != LDB_SUCCESS) {
            why = errorOf(ldb, status);
            ok = false;
            break;
        }
        for (unsigned i = 0; i < result->count; ++i)
            each(result->msgs[i]);
        cookie.clear();
        for (ldb_control** control = result->controls; control && *control; ++control)
            if (std::strcmp((*control)->oid, kPagedResults) == 0 && (*control)->data) {
                const auto* paged = static_cast<const ldb_paged_control*>((*control)->data);
                if (paged->cookie && paged->cookie_len > 0)
                    cookie.assign(paged->cookie, std::size_t(paged->cookie_len));
            }
        talloc_free(page);
    } while (!cookie.empty());
    talloc_free(scratch);
    return ok;
}

std::vector<std::string> foldedDns(ldb_context* ldb, const ldb_message* message, const char* name) {
    std::vector<std::string> out;
    const ldb_message_element* element = ldb_msg_find_element(message, name);
    if (!element)
        return out;
    out.reserve(element->num_values);
    TALLOC_CTX* scratch = talloc_new(ldb);
    for (unsigned i = 0; i < element->num_values; ++i)
        if (ldb_dn* dn = ldb_dn_from_ldb_val(scratch, ldb, &element->values[i]))
            if (const char* folded = ldb_dn_get_casefold(dn))
                out.emplace_back(folded);
    talloc_free(scratch);
    return out;
}

std::optional<std::uint32_t> optionalUnsigned(const ldb_message* message, const char* name) {
    if (!ldb_msg_find_ldb_val(message, name))
        return std::nullopt;
    return std::uint32_t(ldb_msg_find_attr_as_int64(message, name, 0));
}

} // namespace

std::unique_ptr<Directory>
Directory::connect(const std::string& host, const lib::Credentials& credentials, std::string& why) {
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
        return nullptr;
    }

    // The domain's naming context and SID: the accounts the calls list are its.
    std::string base, domainSid;
    const char* const rootAttributes[] = {"defaultNamingContext", nullptr};
    std::string searchWhy;
    pagedSearch(
        ldb, ldb_dn_new(context, ldb, ""), LDB_SCOPE_BASE, "(objectClass=*)", rootAttributes,
        [&](const ldb_message* root) { base = attribute(root, "defaultNamingContext"); },
        searchWhy);
    if (base.empty()) {
        why = "the directory names no domain" + (searchWhy.empty() ? "" : ": " + searchWhy);
        return nullptr;
    }
    const char* const domainAttributes[] = {"objectSid", nullptr};
    pagedSearch(
        ldb, ldb_dn_new(context, ldb, base.c_str()), LDB_SCOPE_BASE, "(objectClass=*)",
        domainAttributes,
        [&](const ldb_message* domain) { domainSid = sidText(attribute(domain, "objectSid")); },
        searchWhy);
    if (domainSid.empty()) {
        why = "the directory gives no domain SID" + (searchWhy.empty() ? "" : ": " + searchWhy);
        return nullptr;
    }
    return std::unique_ptr<Directory>(
        new Directory(std::move(memory), ldb, std::move(base), std::move(domainSid)));
}

bool Directory::read(DirectoryContents& out, std::string& why) {
    out = {};
    out.domainSid = m_domainSid;
    TALLOC_CTX* scratch = talloc_new(m_memory->context);
    ldb_dn* base = ldb_dn_new(scratch, m_ldb, m_base.c_str());
    bool ok = pagedSearch(
        m_ldb, base, LDB_SCOPE_SUBTREE, kUserFilter, kUserAttributes,
        [&](const ldb_message* entry) {
            DirectoryUser user;
            user.name = attribute(entry, "sAMAccountName");
            user.comment = attribute(entry, "description");
            user.homeDir = attribute(entry, "homeDirectory");
            user.scriptPath = attribute(entry, "scriptPath");
            user.sid = sidText(attribute(entry, "objectSid"));
            user.accountControl =
                std::uint32_t(ldb_msg_find_attr_as_int64(entry, "userAccountControl", 0));
            user.computedControl = optionalUnsigned(entry, "msDS-User-Account-Control-Computed");
            user.passwordLastSet = ldb_msg_find_attr_as_int64(entry, "pwdLastSet", 0);
            user.primaryGroupRid =
                std::uint32_t(ldb_msg_find_attr_as_int64(entry, "primaryGroupID", 0));
            user.memberOf = foldedDns(m_ldb, entry, "memberOf");
            out.users.push_back(std::move(user));
        },
        why);
    ok = ok && pagedSearch(
                   m_ldb, base, LDB_SCOPE_SUBTREE, "(objectClass=group)", kGroupAttributes,
                   [&](const ldb_message* entry) {
                       DirectoryGroup group;
                       if (const char* dn = ldb_dn_get_casefold(entry->dn))
                           group.dn = dn;
                       group.name = attribute(entry, "sAMAccountName");
                       group.sid = sidText(attribute(entry, "objectSid"));
                       group.groupType =
                           std::int32_t(ldb_msg_find_attr_as_int64(entry, "groupType", 0));
                       group.guid = attribute(entry, "objectGUID");
                       group.memberOf = foldedDns(m_ldb, entry, "memberOf");
                       out.groups.push_back(std::move(group));
                   },
                   why);
    talloc_free(scratch);
    return ok;
}

} // namespace orvane::samba
