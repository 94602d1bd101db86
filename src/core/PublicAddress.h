#pragma once

#include <QtGlobal>
#include <array>

namespace orvane {

// Whether an address is on the public internet: not this machine (loopback,
// "this network"), not link-local, not a private, shared or reserved range,
// not documentation, benchmarking or multicast. The help page as root only
// goes to such addresses away from the support site, so that a hostile page
// cannot make root's program talk to services of this machine or its network.
bool isPublicIPv4(quint32 address);
// IPv6, 16 bytes in network order. Forms that carry an IPv4 address (mapped,
// compatible, NAT64, 6to4) are judged by that address.
bool isPublicIPv6(const std::array<quint8, 16>& address);

} // namespace orvane
