#include "platform/host/LoginDefs.h"

#include <cerrno>
#include <cstdlib>

namespace orvane::host {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArrayView trimmed(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

} // namespace

LoginDefs LoginDefs::parse(QByteArrayView text) {
    LoginDefs defs;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        QByteArrayView line = trimmed(end < 0 ? text : text.first(end));
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
        if (line.isEmpty() || line.front() == '#')
            continue;
        qsizetype split = 0;
        while (split < line.size() && !isBlank(line[split]))
            ++split;
        const std::string name(line.first(split).data(), std::size_t(split));
        QByteArrayView value = trimmed(line.sliced(split));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.sliced(1, value.size() - 2);
        // The first line that names a setting is the one the suite uses.
        defs.m_values.try_emplace(name, value.toByteArray());
    }
    return defs;
}

LoginDefs LoginDefs::parseAssignments(QByteArrayView text) {
    LoginDefs defs;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        const QByteArrayView line = trimmed(end < 0 ? text : text.first(end));
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
        const qsizetype equals = line.indexOf('=');
        if (line.isEmpty() || line.front() == '#' || equals <= 0)
            continue;
        const QByteArrayView name = trimmed(line.first(equals));
        defs.m_values.try_emplace(std::string(name.data(), std::size_t(name.size())),
                                  trimmed(line.sliced(equals + 1)).toByteArray());
    }
    return defs;
}

std::optional<QByteArray> LoginDefs::value(const std::string& name) const {
    const auto found = m_values.find(name);
    if (found == m_values.end())
        return std::nullopt;
    return found->second;
}

long LoginDefs::number(const std::string& name, long fallback) const {
    const auto text = value(name);
    if (!text || text->isEmpty())
        return fallback;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text->constData(), &end, 0);
    if (errno != 0 || *end != '\0')
        return fallback;
    return parsed;
}

bool LoginDefs::flag(const std::string& name, bool fallback) const {
    const auto text = value(name);
    if (!text)
        return fallback;
    return text->compare("yes", Qt::CaseInsensitive) == 0;
}

IdRange LoginDefs::uids() const {
    return {number("UID_MIN", 1000), number("UID_MAX", 60000)};
}

IdRange LoginDefs::gids() const {
    return {number("GID_MIN", 1000), number("GID_MAX", 60000)};
}

HashMethod LoginDefs::hashMethod() const {
    QByteArray method = value("ENCRYPT_METHOD").value_or(QByteArray()).toUpper();
    if (method.isEmpty())
        method = flag("MD5_CRYPT_ENAB", false) ? "MD5" : "DES";
    if (method == "SHA512" || method == "SHA256") {
        // The suite picks a count between the two bounds; the lower one is the
        // cheaper, and either meets the policy.
        const long least = number("SHA_CRYPT_MIN_ROUNDS", number("SHA_CRYPT_MAX_ROUNDS", 0));
        return {method == "SHA512" ? "$6$" : "$5$", least > 0 ? (unsigned long)least : 0};
    }
    if (method == "YESCRYPT") {
        const long cost = number("YESCRYPT_COST_FACTOR", 0);
        return {"$y$", cost > 0 ? (unsigned long)cost : 0};
    }
    if (method == "BCRYPT") {
        const long rounds = number("BCRYPT_MIN_ROUNDS", 0);
        return {"$2b$", rounds > 0 ? (unsigned long)rounds : 0};
    }
    if (method == "MD5")
        return {"$1$", 0};
    // Traditional DES: libcrypt's empty prefix.
    return {QByteArray(""), 0};
}

} // namespace orvane::host
