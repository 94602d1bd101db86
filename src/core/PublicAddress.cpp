#include "core/PublicAddress.h"

#include <algorithm>

namespace orvane {

namespace {

struct Range4 {
    quint32 network;
    int prefix;
};

constexpr quint32 v4(int a, int b, int c, int d) {
    return quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | quint32(d);
}

// IANA's special-purpose IPv4 registry, less the few ranges that are
// globally reachable, plus multicast and the reserved block.
constexpr Range4 kNotPublic4[] = {
    {v4(0, 0, 0, 0), 8},      {v4(10, 0, 0, 0), 8},     {v4(100, 64, 0, 0), 10},
    {v4(127, 0, 0, 0), 8},    {v4(169, 254, 0, 0), 16}, {v4(172, 16, 0, 0), 12},
    {v4(192, 0, 0, 0), 24},   {v4(192, 0, 2, 0), 24},   {v4(192, 88, 99, 0), 24},
    {v4(192, 168, 0, 0), 16}, {v4(198, 18, 0, 0), 15},  {v4(198, 51, 100, 0), 24},
    {v4(203, 0, 113, 0), 24}, {v4(224, 0, 0, 0), 4},    {v4(240, 0, 0, 0), 4},
};

bool inRange(quint32 address, const Range4& range) {
    const quint32 mask = range.prefix == 0 ? 0 : ~quint32(0) << (32 - range.prefix);
    return (address & mask) == range.network;
}

quint32 v4At(const std::array<quint8, 16>& a, int at) {
    return quint32(a[at]) << 24 | quint32(a[at + 1]) << 16 | quint32(a[at + 2]) << 8 |
           quint32(a[at + 3]);
}

bool allZero(const std::array<quint8, 16>& a, int from, int to) {
    return std::all_of(a.begin() + from, a.begin() + to, [](quint8 b) { return b == 0; });
}

} // namespace

bool isPublicIPv4(quint32 address) {
    return std::none_of(std::begin(kNotPublic4), std::end(kNotPublic4),
                        [address](const Range4& range) { return inRange(address, range); });
}

bool isPublicIPv6(const std::array<quint8, 16>& a) {
    // ::ffff:a.b.c.d (mapped) and ::a.b.c.d (the old compatible form; :: and
    // ::1 fall in it and are refused as 0.0.0.0/8).
    if (allZero(a, 0, 10) && ((a[10] == 0xff && a[11] == 0xff) || (a[10] == 0 && a[11] == 0)))
        return isPublicIPv4(v4At(a, 12));
    // 64:ff9b::/96, NAT64 to an IPv4 address; 64:ff9b:1::/48, local NAT64.
    if (a[0] == 0x00 && a[1] == 0x64 && a[2] == 0xff && a[3] == 0x9b) {
        if (allZero(a, 4, 12))
            return isPublicIPv4(v4At(a, 12));
        return false;
    }
    // 2002::/16, 6to4, carries the IPv4 address next.
    if (a[0] == 0x20 && a[1] == 0x02)
        return isPublicIPv4(v4At(a, 2));
    // Only global unicast, 2000::/3, is public at all.
    if ((a[0] & 0xe0) != 0x20)
        return false;
    // 2001::/23 (IETF protocol assignments: Teredo, benchmarking, ORCHID ...)
    // and 2001:db8::/32 (documentation).
    if (a[0] == 0x20 && a[1] == 0x01 && (a[2] & 0xfe) == 0x00)
        return false;
    if (a[0] == 0x20 && a[1] == 0x01 && a[2] == 0x0d && a[3] == 0xb8)
        return false;
    // 3fff::/20, documentation too.
    if (a[0] == 0x3f && a[1] == 0xff && (a[2] & 0xf0) == 0x00)
        return false;
    return true;
}

} // namespace orvane
