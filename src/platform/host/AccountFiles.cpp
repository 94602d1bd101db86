#include "platform/host/AccountFiles.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace orvane::host {

namespace {

// Calls `entry` with the fields of every line that has exactly `count` of
// them; with a name given, of the lines whose first field is that name only.
template <class Entry>
void eachLine(QByteArrayView text, qsizetype count, Entry&& entry, QByteArrayView name = {}) {
    std::vector<QByteArrayView> fields;
    while (!text.isEmpty()) {
        const qsizetype end = text.indexOf('\n');
        const QByteArrayView line = end < 0 ? text : text.first(end);
        text = end < 0 ? QByteArrayView() : text.sliced(end + 1);
        if (line.isEmpty() || line.front() == '+' || line.front() == '-' || line.front() == '#')
            continue;
        if (!name.isEmpty() &&
            !(line.size() > name.size() && line.startsWith(name) && line[name.size()] == ':'))
            continue;
        fields.clear();
        QByteArrayView rest = line;
        for (;;) {
            const qsizetype colon = rest.indexOf(':');
            fields.push_back(colon < 0 ? rest : rest.first(colon));
            if (colon < 0)
                break;
            rest = rest.sliced(colon + 1);
        }
        if (qsizetype(fields.size()) == count && !fields[0].isEmpty())
            entry(fields);
    }
}

// A decimal id or day count; nothing for an empty or malformed field.
std::optional<long> decimal(QByteArrayView field) {
    if (field.isEmpty() || field.size() > 18)
        return std::nullopt;
    long value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<PasswdEntry> passwdEntry(const std::vector<QByteArrayView>& f) {
    const auto uid = decimal(f[2]), gid = decimal(f[3]);
    if (!uid || !gid)
        return std::nullopt;
    return PasswdEntry{f[0].toByteArray(), *uid, *gid, f[4].toByteArray(), f[5].toByteArray(),
                       f[6].toByteArray()};
}

std::optional<GroupEntry> groupEntry(const std::vector<QByteArrayView>& f) {
    const auto gid = decimal(f[2]);
    if (!gid)
        return std::nullopt;
    GroupEntry group{f[0].toByteArray(), *gid, {}};
    QByteArrayView members = f[3];
    while (!members.isEmpty()) {
        const qsizetype comma = members.indexOf(',');
        const QByteArrayView member = comma < 0 ? members : members.first(comma);
        if (!member.isEmpty())
            group.members.push_back(member.toByteArray());
        members = comma < 0 ? QByteArrayView() : members.sliced(comma + 1);
    }
    return group;
}

// The first entry of that name, as parse makes it; none for an empty name.
template <typename Parse>
auto firstNamed(QByteArrayView text, QByteArrayView name, qsizetype count, Parse parse) {
    decltype(parse(std::vector<QByteArrayView>{})) found;
    if (name.isEmpty())
        return found;
    eachLine(
        text, count,
        [&](const std::vector<QByteArrayView>& f) {
            if (!found && f[0] == name)
                found = parse(f);
        },
        name);
    return found;
}

} // namespace

std::vector<PasswdEntry> parsePasswd(QByteArrayView text) {
    std::vector<PasswdEntry> entries;
    eachLine(text, 7, [&](const std::vector<QByteArrayView>& f) {
        if (auto entry = passwdEntry(f))
            entries.push_back(std::move(*entry));
    });
    return entries;
}

std::optional<PasswdEntry> findPasswd(QByteArrayView text, QByteArrayView name) {
    return firstNamed(text, name, 7, passwdEntry);
}

std::vector<PasswdEntry> passwdEntriesNamed(QByteArrayView text, QByteArrayView name) {
    std::vector<PasswdEntry> entries;
    if (name.isEmpty())
        return entries;
    eachLine(
        text, 7,
        [&](const std::vector<QByteArrayView>& f) {
            if (f[0] != name)
                return;
            if (auto entry = passwdEntry(f))
                entries.push_back(std::move(*entry));
        },
        name);
    return entries;
}

std::vector<QByteArrayView> passwdNames(QByteArrayView text) {
    std::vector<QByteArrayView> names;
    eachLine(text, 7, [&](const std::vector<QByteArrayView>& f) {
        if (decimal(f[2]) && decimal(f[3]))
            names.push_back(f[0]);
    });
    return names;
}

std::vector<ShadowEntry> parseShadow(QByteArrayView text) {
    std::vector<ShadowEntry> entries;
    eachLine(text, 9, [&](const std::vector<QByteArrayView>& f) {
        entries.push_back({f[0].toByteArray(), f[1].toByteArray(), decimal(f[2]).value_or(-1),
                           decimal(f[4]).value_or(-1)});
    });
    return entries;
}

std::vector<GroupEntry> parseGroup(QByteArrayView text) {
    std::vector<GroupEntry> entries;
    eachLine(text, 4, [&](const std::vector<QByteArrayView>& f) {
        if (auto entry = groupEntry(f))
            entries.push_back(std::move(*entry));
    });
    return entries;
}

std::optional<GroupEntry> findGroup(QByteArrayView text, QByteArrayView name) {
    return firstNamed(text, name, 4, groupEntry);
}

} // namespace orvane::host
