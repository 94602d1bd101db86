#include "core/PublicAddress.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace orvane;

namespace {

bool publicV4(const char* text) {
    in_addr address{};
    EXPECT_EQ(inet_pton(AF_INET, text, &address), 1) << text;
    return isPublicIPv4(ntohl(address.s_addr));
}

bool publicV6(const char* text) {
    std::array<quint8, 16> bytes{};
    EXPECT_EQ(inet_pton(AF_INET6, text, bytes.data()), 1) << text;
    return isPublicIPv6(bytes);
}

} // namespace

TEST(PublicAddress, IPv4) {
    for (const char* local :
         {"127.0.0.1", "127.255.255.254", "0.0.0.0", "10.1.2.3", "172.16.0.1", "172.31.255.255",
          "192.168.1.1", "169.254.169.254", "100.64.0.1", "100.127.255.255", "192.0.0.8",
          "192.0.2.1", "198.18.0.1", "198.51.100.7", "203.0.113.9", "224.0.0.1", "239.255.255.250",
          "240.0.0.1", "255.255.255.255"})
        EXPECT_FALSE(publicV4(local)) << local;
    for (const char* global :
         {"8.8.8.8", "1.1.1.1", "93.184.216.34", "172.15.255.255", "172.32.0.1", "100.63.255.255",
          "100.128.0.0", "11.0.0.1", "169.253.0.1", "223.255.255.255"})
        EXPECT_TRUE(publicV4(global)) << global;
}

TEST(PublicAddress, IPv6AndTheIPv4ItCarries) {
    for (const char* local : {"::1",
                              "::",
                              "fe80::1",
                              "febf::1",
                              "fc00::1",
                              "fd12:3456::1",
                              "ff02::1",
                              "fec0::1",
                              "::ffff:127.0.0.1",
                              "::ffff:10.0.0.1",
                              "::ffff:169.254.169.254",
                              "::127.0.0.1",
                              "64:ff9b::7f00:1",
                              "64:ff9b:1::1",
                              "2002:7f00:1::1",
                              "2002:c0a8:101::1",
                              "2001:db8::1",
                              "2001::1",
                              "3fff::1",
                              "100::1"})
        EXPECT_FALSE(publicV6(local)) << local;
    for (const char* global : {"2606:4700:4700::1111", "2a00:1450:4001:80b::200e", "::ffff:8.8.8.8",
                               "64:ff9b::808:808", "2002:808:808::1"})
        EXPECT_TRUE(publicV6(global)) << global;
}
