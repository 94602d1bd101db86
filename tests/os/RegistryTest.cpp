#include "core/Errors.h"
#include "platform/RegistryKey.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvane;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\ROrirAridEzo\\");
const QString kValue = QStringLiteral("MHomePath");

QByteArray utf16le(const char16_t* text, bool withNull) {
    QByteArray data;
    for (const char16_t* p = text; *p; ++p) {
        data.append(char(*p & 0xff));
        data.append(char(*p >> 8));
    }
    if (withNull)
        data.append(2, '\0');
    return data;
}

class RegistryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString folder() const { return dir.path() + QStringLiteral("/machine"); }
};

} // namespace

TEST_F(RegistryTest, KeyIsCreatedOnFirstOpenAndAMissingValueReadsEmpty) {
    MachineRegistry registry(folder());
    EXPECT_FALSE(registry.openKey(kKey, false));
    RegistryKey key(registry, kKey, true);
    ASSERT_TRUE(key.isOpen());
    EXPECT_EQ(key.ReadString(kValue), QString());
    // Parents exist too, and letter case of the path does not count.
    EXPECT_TRUE(registry.openKey(QStringLiteral("software"), false));
    EXPECT_TRUE(registry.openKey(QStringLiteral("SOFTWARE\\rorirarideZO"), false));
}

TEST_F(RegistryTest, WrittenStringSurvivesAReopenWithItsTerminator) {
    {
        MachineRegistry registry(folder());
        RegistryKey key(registry, kKey, true);
        key.WriteString(kValue, QString::fromUtf16(u"/srv/主文件夹"));
    }
    MachineRegistry registry(folder());
    const auto raw = registry.queryValue(kKey, kValue);
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->type, RegSz);
    EXPECT_EQ(raw->data, utf16le(u"/srv/主文件夹", true));
    EXPECT_EQ(RegistryKey(registry, kKey, true).ReadString(kValue),
              QString::fromUtf16(u"/srv/主文件夹"));
}

TEST_F(RegistryTest, StringTypesReadUpToTheFirstNullAndAreNotExpanded) {
    MachineRegistry registry(folder());
    ASSERT_TRUE(registry.openKey(kKey, true));
    QByteArray data = utf16le(u"/a", true) + utf16le(u"/b", true);
    ASSERT_TRUE(registry.setValue(kKey, kValue, {RegSz, data}));
    EXPECT_EQ(RegistryKey(registry, kKey, true).ReadString(kValue), QStringLiteral("/a"));

    ASSERT_TRUE(registry.setValue(kKey, kValue, {RegExpandSz, utf16le(u"%HOME%/x", false)}));
    EXPECT_EQ(RegistryKey(registry, kKey, true).ReadString(kValue), QStringLiteral("%HOME%/x"));
}

TEST_F(RegistryTest, AValueOfAnotherTypeIsAnError) {
    MachineRegistry registry(folder());
    ASSERT_TRUE(registry.openKey(kKey, true));
    ASSERT_TRUE(registry.setValue(kKey, kValue, {RegDword, QByteArray("\x01\0\0\0", 4)}));
    const RegistryKey key(registry, kKey, true);
    try {
        key.ReadString(kValue);
        FAIL() << "no error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid data type for 'MHomePath'"));
    }
}

TEST_F(RegistryTest, AMachineFolderThatCannotBeMadeIsAKeyThatCannotBeCreated) {
    // A file where the folder would be: no process, root included, can use it.
    QFile blocker(dir.path() + QStringLiteral("/file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    MachineRegistry registry(blocker.fileName() + QStringLiteral("/machine"));
    RegistryKey key(registry, kKey, true);
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(key.ReadString(kValue), QString());
    try {
        key.WriteString(kValue, QStringLiteral("/x"));
        FAIL() << "no error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Failed to set data for 'MHomePath'"));
    }
}

TEST_F(RegistryTest, WritingIntoAMissingKeyFails) {
    MachineRegistry registry(folder());
    EXPECT_FALSE(registry.setValue(QStringLiteral("SOFTWARE\\Nowhere"), kValue,
                                   {RegSz, utf16le(u"x", true)}));
}
