#pragma once

// Which Unix group stands for each built-in Windows group, as Samba on this
// machine maps them (`net groupmap`, by the groups' well-known SIDs), with
// the documented default table for the names Samba does not map.

#include "platform/host/HostAccounts.h"

#include <QByteArrayView>
#include <QString>
#include <vector>

namespace orvane::host {

// The built-in groups `net groupmap list` maps, by their Windows names (the
// names the program and account tables use, whatever Samba calls them), from
// its output: "NAME (SID) -> UNIXGROUP" lines. A SID mapped to no Unix group
// ("-1" or nothing) maps nothing.
std::vector<GroupAlias> parseGroupMap(QByteArrayView listing);

// Samba's mapping for each name it maps, the default table for the rest.
std::vector<GroupAlias> withDefaults(std::vector<GroupAlias> mapped);

// The aliases for this machine: Samba's mapping where Samba's `net` and its
// configuration are here, else the default table alone. A mapping that
// cannot be read is said on stderr and the default table holds.
std::vector<GroupAlias> machineGroupAliases(const QString& net, const QString& smbConf);

} // namespace orvane::host
