// uses-programs: net
#include "platform/host/SambaGroupMap.h"

#include "platform/Process.h"

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace orvane::host {

namespace {

struct WellKnown {
    const char* sid;
    const char16_t* windowsName;
};

// The built-in groups the program and account tables name.
constexpr WellKnown kBuiltins[] = {
    {"S-1-5-32-544", u"Administrators"},
    {"S-1-5-32-545", u"Users"},
    {"S-1-5-32-546", u"Guests"},
    {"S-1-5-32-555", u"Remote Desktop Users"},
};

} // namespace

std::vector<GroupAlias> parseGroupMap(QByteArrayView listing) {
    // The Windows name may hold spaces and brackets: the SID is the last
    // bracketed field before the arrow.
    static const QRegularExpression line(QStringLiteral("^.* \\((S-[0-9-]+)\\) -> (.*)$"));
    std::vector<GroupAlias> aliases;
    for (const QByteArray& text : listing.toByteArray().split('\n')) {
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(text.trimmed()));
        if (!match.hasMatch())
            continue;
        const QString unixGroup = match.captured(2).trimmed();
        if (unixGroup.isEmpty() || unixGroup == u"-1")
            continue;
        for (const WellKnown& builtin : kBuiltins) {
            if (match.captured(1) == QLatin1StringView(builtin.sid))
                aliases.push_back({QString::fromUtf16(builtin.windowsName), unixGroup.toUtf8()});
        }
    }
    return aliases;
}

std::vector<GroupAlias> withDefaults(std::vector<GroupAlias> mapped) {
    for (GroupAlias& fallback : defaultGroupAliases()) {
        const bool known = std::any_of(mapped.begin(), mapped.end(), [&](const GroupAlias& alias) {
            return alias.windowsName.compare(fallback.windowsName, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            mapped.push_back(std::move(fallback));
    }
    return mapped;
}

std::vector<GroupAlias> machineGroupAliases(const QString& net, const QString& smbConf) {
    if (!QFile::exists(net) || !QFile::exists(smbConf))
        return defaultGroupAliases();
    const ProcessResult listing = runProcess(
        net, {QStringLiteral("-s"), smbConf, QStringLiteral("groupmap"), QStringLiteral("list")});
    if (!listing.succeeded()) {
        std::fprintf(stderr,
                     "orvane: Samba's group mapping could not be read (%s); the built-in "
                     "groups stand for their default Unix groups\n",
                     listing.errors.trimmed().constData());
        return defaultGroupAliases();
    }
    return withDefaults(parseGroupMap(listing.output));
}

} // namespace orvane::host
