#include "platform/FileSystem.h"
#include "core/SystemErrors.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace orvane;

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const char* name) const { return dir.path() + u'/' + QLatin1String(name); }
    void makeFile(const char* name) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void link(const QString& target, const char* name) const {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(path(name)).constData()),
                  0);
    }
};

} // namespace

TEST_F(FileSystemTest, FoldersFilesAndMissingPaths) {
    ASSERT_TRUE(QDir().mkdir(path("home")));
    makeFile("file");
    EXPECT_TRUE(DirectoryExists(path("home")));
    EXPECT_TRUE(DirectoryExists(path("home") + u'/'));
    EXPECT_FALSE(DirectoryExists(path("file")));
    EXPECT_FALSE(DirectoryExists(path("missing")));
    // A file where a folder of the path should be: "path not found".
    EXPECT_FALSE(DirectoryExists(path("file") + QStringLiteral("/below")));
    EXPECT_FALSE(DirectoryExists(QString()));
    // A name longer than the file system allows is an invalid name.
    EXPECT_FALSE(DirectoryExists(dir.path() + u'/' + QString(300, u'x')));
    // An embedded null would test another path: it is no folder.
    EXPECT_FALSE(DirectoryExists(path("home") + QChar(0) + QStringLiteral("x")));
}

TEST_F(FileSystemTest, LinksCountByTheirTarget) {
    ASSERT_TRUE(QDir().mkdir(path("target")));
    makeFile("file");
    link(path("target"), "to-folder");
    link(path("file"), "to-file");
    link(path("gone"), "dangling");
    link(path("loop"), "loop");
    EXPECT_TRUE(DirectoryExists(path("to-folder")));
    EXPECT_FALSE(DirectoryExists(path("to-file")));
    EXPECT_FALSE(DirectoryExists(path("dangling")));
    EXPECT_FALSE(DirectoryExists(path("loop")));
}

TEST_F(FileSystemTest, CreateFolderMakesOneLevelAndReportsWindowsCodes) {
    EXPECT_EQ(CreateFolder(path("a")), 0u);
    EXPECT_TRUE(DirectoryExists(path("a")));
    EXPECT_EQ(CreateFolder(path("a")), ERROR_ALREADY_EXISTS_CODE);
    makeFile("file");
    EXPECT_EQ(CreateFolder(path("file")), ERROR_ALREADY_EXISTS_CODE);
    EXPECT_EQ(CreateFolder(path("x/y")), ERROR_PATH_NOT_FOUND_CODE);
    EXPECT_EQ(CreateFolder(dir.path() + u'/' + QString(300, u'x')),
              ERROR_FILENAME_EXCED_RANGE_CODE);
}
