#include "platform/samba/DirectoryReading.h"

#include <charconv>
#include <cstring>

extern "C" {
#include <ldb.h>
}

namespace orvane::samba {

namespace {

constexpr char kPagedResults[] = "1.2.840.113556.1.4.319";
// Samba's cookies are a few dozen bytes, Windows' a few hundred.
constexpr int kLongestCookie = 4096;

bool capped(int status) {
    return status == LDB_ERR_SIZE_LIMIT_EXCEEDED || status == LDB_ERR_ADMIN_LIMIT_EXCEEDED ||
           status == LDB_ERR_TIME_LIMIT_EXCEEDED;
}

// An entry's attributes as one account or group: each single-valued one at
// most once, text without NUL (which would end the name where the calls
// read it, and make it another account's), numbers whole.
class Fields {
public:
    Fields(const ldb_message* message, const char* kind) : m_message(message), m_kind(kind) {}

    enum Need { Optional, Required };
    bool text(const char* name, Need need, std::string& out) {
        const ldb_val* value = single(name, need);
        if (!value)
            return m_why.empty();
        out.assign(reinterpret_cast<const char*>(value->data), value->length);
        if (out.find('\0') != std::string::npos)
            return fail(std::string("a NUL in the ") + name + " of " + m_kind);
        if (need == Required && out.empty())
            return fail(std::string("an empty ") + name + " of " + m_kind);
        return true;
    }

    template <class Number> bool number(const char* name, Need need, Number& out) {
        std::string value;
        if (!text(name, need, value))
            return false;
        if (value.empty() && need == Optional)
            return true;
        std::int64_t parsed = 0;
        const char* last = value.data() + value.size();
        const auto [end, error] = std::from_chars(value.data(), last, parsed);
        // 32-bit attributes come signed or unsigned, as the server stored them.
        if (error != std::errc() || end != last ||
            (sizeof(Number) == 4 && (parsed < INT32_MIN || parsed > std::int64_t(UINT32_MAX))))
            return fail(std::string("a malformed ") + name + " of " + m_kind);
        out = Number(parsed);
        return true;
    }

    bool sid(std::string& out) {
        std::string binary;
        if (!text("objectSid", Required, binary, true))
            return false;
        out = sidText(binary);
        return !out.empty() || fail(std::string("a malformed objectSid of ") + m_kind);
    }

    bool bytes(const char* name, std::string& out) { return text(name, Optional, out, true); }

    // Distinguished names, compared folded as the directory folds them.
    bool dns(const char* name, std::vector<std::string>& out) {
        const ldb_message_element* element = ldb_msg_find_element(m_message, name);
        if (!element)
            return true;
        out.reserve(element->num_values);
        for (unsigned i = 0; i < element->num_values; ++i) {
            const ldb_val& value = element->values[i];
            std::string dn(reinterpret_cast<const char*>(value.data), value.length);
            if (dn.find('\0') != std::string::npos)
                return fail(std::string("a NUL in the ") + name + " of " + m_kind);
            out.push_back(folded(std::move(dn)));
        }
        return true;
    }

    static std::string folded(std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return text;
    }

    const std::string& why() const { return m_why; }

private:
    // Binary values (a SID, a GUID) may hold any byte.
    bool text(const char* name, Need need, std::string& out, bool binary) {
        if (!binary)
            return text(name, need, out);
        const ldb_val* value = single(name, need);
        if (!value)
            return m_why.empty();
        out.assign(reinterpret_cast<const char*>(value->data), value->length);
        return true;
    }

    const ldb_val* single(const char* name, Need need) {
        const ldb_message_element* element = ldb_msg_find_element(m_message, name);
        if (!element || element->num_values == 0) {
            if (need == Required)
                fail(std::string("no ") + name + " in " + m_kind);
            return nullptr;
        }
        if (element->num_values > 1) {
            fail(std::string("several values of ") + name + " in " + m_kind);
            return nullptr;
        }
        return &element->values[0];
    }

    bool fail(std::string why) {
        m_why = std::move(why);
        return false;
    }

    const ldb_message* m_message;
    const char* m_kind;
    std::string m_why;
};

} // namespace

int Replies::fail(std::string why) {
    m_why = std::move(why);
    return LDB_ERR_PROTOCOL_ERROR;
}

int OneEntry::entry(const ldb_message* message) {
    if (m_seen)
        return fail("two entries where the directory has one");
    m_seen = true;
    m_take(message);
    return LDB_SUCCESS;
}

int OneEntry::done(ldb_control* const* controls) {
    for (ldb_control* const* control = controls; control && *control; ++control)
        if (std::strcmp((*control)->oid, kPagedResults) == 0)
            if (const auto* paged = static_cast<const ldb_paged_control*>((*control)->data);
                paged && paged->cookie_len != 0)
                return fail("a page cookie the directory was not asked for");
    return LDB_SUCCESS;
}

int DirectoryReading::read(bool pagesOnly, const Ask& ask) {
    m_out.users.clear();
    m_out.groups.clear();
    m_entries = m_bytes = 0;
    m_why.clear();
    for (const Search which : {Search::Users, Search::Groups}) {
        const std::size_t entries = m_entries, bytes = m_bytes;
        int status = LDB_SUCCESS;
        for (const bool paged : {false, true}) {
            if (pagesOnly && !paged)
                continue;
            // What a capped whole search gave goes before its pages come.
            m_entries = entries;
            m_bytes = bytes;
            if (which == Search::Users)
                m_out.users.clear();
            else
                m_out.groups.clear();
            status = search(which, paged, ask);
            if (!capped(status))
                break;
        }
        if (status != LDB_SUCCESS) {
            m_out.users.clear();
            m_out.groups.clear();
            return status;
        }
    }
    return LDB_SUCCESS;
}

int DirectoryReading::search(Search which, bool paged, const Ask& ask) {
    m_search = which;
    m_paged = paged;
    m_cookies.clear();
    m_pages = 0;
    m_why.clear();
    std::string cookie;
    for (;;) {
        if (++m_pages > m_limits.pages)
            return fail("more than " + std::to_string(m_limits.pages) + " pages in one search");
        m_next.clear();
        if (const int status = ask(which, paged ? &cookie : nullptr); status != LDB_SUCCESS)
            return status;
        if (m_next.empty())
            return LDB_SUCCESS;
        cookie = m_next;
    }
}

int DirectoryReading::done(ldb_control* const* controls) {
    m_next.clear();
    for (ldb_control* const* control = controls; control && *control; ++control) {
        if (std::strcmp((*control)->oid, kPagedResults) != 0)
            continue;
        const auto* paged = static_cast<const ldb_paged_control*>((*control)->data);
        if (!paged || paged->cookie_len == 0)
            continue;
        if (!m_paged)
            return fail("a page cookie the directory was not asked for");
        if (!paged->cookie || paged->cookie_len < 0 || paged->cookie_len > kLongestCookie)
            return fail("a malformed page cookie");
        std::string cookie(paged->cookie, std::size_t(paged->cookie_len));
        if (!m_cookies.insert(cookie).second)
            return fail("the same page cookie twice in one search");
        m_next = std::move(cookie);
    }
    return LDB_SUCCESS;
}

int DirectoryReading::count(const ldb_message* message) {
    if (++m_entries > m_limits.entries)
        return fail("more than " + std::to_string(m_limits.entries) + " entries");
    for (unsigned i = 0; i < message->num_elements; ++i) {
        const ldb_message_element& element = message->elements[i];
        if (element.num_values > m_limits.valuesPerEntry)
            return fail("more than " + std::to_string(m_limits.valuesPerEntry) + " values of " +
                        (element.name ? element.name : "an attribute") + " in one entry");
        m_bytes += element.name ? std::strlen(element.name) : 0;
        for (unsigned j = 0; j < element.num_values; ++j)
            m_bytes += element.values[j].length;
    }
    if (m_bytes > m_limits.bytes)
        return fail("more than " + std::to_string(m_limits.bytes >> 20) + " MB of entries");
    return LDB_SUCCESS;
}

int DirectoryReading::entry(const ldb_message* message) {
    if (const int status = count(message); status != LDB_SUCCESS)
        return status;
    return m_search == Search::Users ? user(message) : group(message);
}

int DirectoryReading::user(const ldb_message* message) {
    Fields fields(message, "an account");
    DirectoryUser user;
    const bool ok = fields.text("sAMAccountName", Fields::Required, user.name) &&
                    fields.text("description", Fields::Optional, user.comment) &&
                    fields.text("homeDirectory", Fields::Optional, user.homeDir) &&
                    fields.text("scriptPath", Fields::Optional, user.scriptPath) &&
                    fields.sid(user.sid) &&
                    fields.number("userAccountControl", Fields::Required, user.accountControl) &&
                    fields.number("msDS-User-Account-Control-Computed", Fields::Optional,
                                  user.computedControl) &&
                    fields.number("pwdLastSet", Fields::Optional, user.passwordLastSet) &&
                    fields.number("primaryGroupID", Fields::Optional, user.primaryGroupRid) &&
                    fields.dns("memberOf", user.memberOf);
    if (!ok)
        return fail(fields.why());
    m_out.users.push_back(std::move(user));
    return LDB_SUCCESS;
}

int DirectoryReading::group(const ldb_message* message) {
    Fields fields(message, "a group");
    DirectoryGroup group;
    const char* dn = message->dn ? ldb_dn_get_linearized(message->dn) : nullptr;
    if (!dn)
        return fail("a group without a name in the directory");
    group.dn = Fields::folded(dn);
    const bool ok =
        fields.text("sAMAccountName", Fields::Required, group.name) && fields.sid(group.sid) &&
        fields.number("groupType", Fields::Required, group.groupType) &&
        fields.bytes("objectGUID", group.guid) && fields.dns("memberOf", group.memberOf);
    if (!ok)
        return fail(fields.why());
    m_out.groups.push_back(std::move(group));
    return LDB_SUCCESS;
}

} // namespace orvane::samba
