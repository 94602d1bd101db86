// The record layer every backend hands its rows through: what a caller reads
// out of a block, and how many entries one call holds.

#include "platform/netapi/Records.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace orvane::records {
namespace {

struct Free {
    void operator()(BYTE* block) const { std::free(block); }
};
using Block = std::unique_ptr<BYTE, Free>;

QString text(LPCWSTR wide) {
    return wide ? QString::fromUtf16(wide) : QStringLiteral("(null)");
}

TEST(Records, UserLevelsCarryEveryFieldAndNoPassword) {
    const std::vector<User> users{{QStringLiteral("张三"), 7, USER_PRIV_USER,
                                   QStringLiteral("/home/h/张三"), QStringLiteral("a, comment"),
                                   UF_SCRIPT | UF_NORMAL_ACCOUNT, QString()},
                                  {QStringLiteral("b"), 0, USER_PRIV_ADMIN, QString(), QString(),
                                   UF_ACCOUNTDISABLE, QStringLiteral("logon.cmd")}};
    const Block one(userBuffer(1, users));
    const auto* records = reinterpret_cast<const USER_INFO_1*>(one.get());
    EXPECT_EQ(text(records[0].usri1_name), QStringLiteral("张三"));
    EXPECT_EQ(records[0].usri1_password, nullptr);
    EXPECT_EQ(records[0].usri1_password_age, 7u);
    EXPECT_EQ(text(records[0].usri1_home_dir), QStringLiteral("/home/h/张三"));
    EXPECT_EQ(text(records[0].usri1_comment), QStringLiteral("a, comment"));
    // An empty text is an empty string, never a null pointer.
    EXPECT_EQ(text(records[0].usri1_script_path), QString());
    EXPECT_EQ(records[1].usri1_priv, USER_PRIV_ADMIN);
    EXPECT_EQ(records[1].usri1_flags, UF_ACCOUNTDISABLE);
    EXPECT_EQ(text(records[1].usri1_script_path), QStringLiteral("logon.cmd"));

    const Block zero(userBuffer(0, users));
    EXPECT_EQ(text(reinterpret_cast<const USER_INFO_0*>(zero.get())[1].usri0_name),
              QStringLiteral("b"));
}

TEST(Records, SharesAndNamesAndEmptyListings) {
    const std::vector<Share> shares{{QStringLiteral("u1"), STYPE_DISKTREE, QStringLiteral("r"),
                                     ACCESS_READ, 0xFFFFFFFFu, 3, QStringLiteral("/h/u1")}};
    const Block block(shareBuffer(502, shares));
    const auto& share = *reinterpret_cast<const SHARE_INFO_502*>(block.get());
    EXPECT_EQ(text(share.shi502_netname), QStringLiteral("u1"));
    EXPECT_EQ(share.shi502_max_uses, 0xFFFFFFFFu);
    EXPECT_EQ(share.shi502_current_uses, 3u);
    EXPECT_EQ(text(share.shi502_path), QStringLiteral("/h/u1"));
    EXPECT_EQ(share.shi502_passwd, nullptr);
    EXPECT_EQ(share.shi502_security_descriptor, nullptr);

    const std::vector<QString> groups{QStringLiteral("Users"), QStringLiteral("远程桌面")};
    const Block names(localGroupBuffer(groups));
    EXPECT_EQ(text(reinterpret_cast<const LOCALGROUP_INFO_0*>(names.get())[1].lgrpi0_name),
              QStringLiteral("远程桌面"));

    // Nothing listed hands back no block at all.
    EXPECT_EQ(userBuffer(1, {}), nullptr);
    EXPECT_EQ(shareBuffer(2, {}), nullptr);
    EXPECT_EQ(userLocalGroupBuffer({}), nullptr);
}

TEST(Records, ABatchHoldsWhatFitsButNeverFewerThanItsLeast) {
    const std::size_t entry = nameBytes(QStringLiteral("name"));
    auto taken = [&](DWORD prefmaxlen, std::size_t least, int offered) {
        Batch batch(prefmaxlen, least);
        int count = 0;
        while (count < offered && batch.take(entry))
            ++count;
        return std::pair(count, batch.more());
    };
    // A caller asking for 0 bytes still moves on.
    EXPECT_EQ(taken(0, 4, 10), std::pair(4, true));
    EXPECT_EQ(taken(DWORD(10 * entry), 4, 30), std::pair(10, true));
    EXPECT_EQ(taken(MAX_PREFERRED_LENGTH, 4, 1000), std::pair(1000, false));
    EXPECT_EQ(taken(0, 4, 3), std::pair(3, false));
}

} // namespace
} // namespace orvane::records
