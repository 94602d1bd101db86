// Creating, opening and deleting home folders under the home root.
#include "WindowHelpers.h"
#include "os/PrivateMounts.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <unistd.h>

using namespace orvane::test;

namespace {
void touch(const QString& path) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("x");
}

void manyFiles(const QString& folder, int count) {
    QDir().mkpath(folder + QStringLiteral("/sub"));
    for (int i = 0; i < count; ++i)
        touch(folder + (i % 2 ? QStringLiteral("/sub/f%1") : QStringLiteral("/f%1")).arg(i));
}
} // namespace

class HomeFoldersTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> open(TestMachine& machine, const QStringList& accounts) {
        auto form = openWindow(machine, accounts);
        const QString root = machine.path(QStringLiteral("homes"));
        QDir().mkpath(root);
        // Writable by others, a root would be refused.
        QFile::setPermissions(root, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther);
        form->mDirPathEdit->setText(root);
        form->hDirPath = root + u'/';
        return form;
    }

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void creatingFoldersUnderATrimmedRoot() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("a"), QStringLiteral("b")});
        const QString root = form->mDirPathEdit->text();
        QVERIFY(QDir().mkdir(root + QStringLiteral("/b")));
        touch(root + QStringLiteral("/b/kept"));
        form->mDirPathEdit->setText(QStringLiteral("  ") + root + QStringLiteral("\t"));
        selectRows(form->ListView1, {QStringLiteral("a"), QStringLiteral("b")});
        form->N12->trigger();
        QCOMPARE(logMessages(*form), (QStringList{root + QString::fromUtf16(u"/a 创建成功 "),
                                                  root + QString::fromUtf16(u"/b 已经存在 ")}));
        QVERIFY(QFile::exists(root + QStringLiteral("/b/kept")));
        QVERIFY(selectedNames(form->ListView1).isEmpty());
    }

    void aMissingRootOrAnEmptyListEndsTheCommand() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("a")});
        const QString missing = machine.path(QStringLiteral("nowhere"));
        form->mDirPathEdit->setText(missing);
        form->N12->trigger();
        QCOMPARE(logMessages(*form).last(), QString::fromUtf16(u" 用户目录 ") + missing +
                                                QString::fromUtf16(u" 不存在或无法访问 "));
        form->mDirPathEdit->setText(machine.path(QStringLiteral("homes")));
        form->ListView1->clear();
        form->N12->trigger();
        QCOMPARE(logMessages(*form).last(),
                 QString::fromUtf16(u" 当前列表中没有用户,请先读取或创建用户 "));
    }

    void aFailedCreationEndsTheCommandInTheErrorBox() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        const QString root = form->mDirPathEdit->text();
        touch(root + QStringLiteral("/b")); // a file where the folder would go
        form->N7->trigger();
        form->N12->trigger();
        QCOMPARE(machine.dialogs.errors.size(), size_t(1));
        QCOMPARE(machine.dialogs.errors[0].text, QStringLiteral("I/O error 183."));
        // The rows before b were made and logged; c was never reached.
        QCOMPARE(logMessages(*form).last(), root + QString::fromUtf16(u"/a 创建成功 "));
        QVERIFY(QDir(root + QStringLiteral("/a")).exists());
        QVERIFY(!QDir(root + QStringLiteral("/c")).exists());
        // No refill: the selection is still there.
        QCOMPARE(selectedNames(form->ListView1).size(), 5);
    }

    void deletingEverythingButWhatMustStay() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("full"), QStringLiteral("locked"),
                                   QStringLiteral("linked"), QStringLiteral("absent")});
        const QString root = form->mDirPathEdit->text();
        QVERIFY(QDir().mkpath(root + QStringLiteral("/full/.hidden/deep")));
        touch(root + QStringLiteral("/full/.hidden/deep/.file"));
        touch(root + QStringLiteral("/full/plain"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/locked/sub")));
        touch(root + QStringLiteral("/locked/sub/readonly"));
        QVERIFY(
            QFile::setPermissions(root + QStringLiteral("/locked/sub/readonly"), QFile::ReadOwner));
        touch(root + QStringLiteral("/locked/other"));
        // Links to a folder outside the root and to the root itself.
        const QString outside = machine.path(QStringLiteral("outside"));
        QVERIFY(QDir().mkdir(outside));
        touch(outside + QStringLiteral("/precious"));
        QVERIFY(QDir().mkdir(root + QStringLiteral("/linked")));
        QVERIFY(::symlink(outside.toLocal8Bit(),
                          (root + QStringLiteral("/linked/out")).toLocal8Bit()) == 0);
        QVERIFY(::symlink(root.toLocal8Bit(),
                          (root + QStringLiteral("/linked/up")).toLocal8Bit()) == 0);
        QCOMPARE(machine.setHome(QStringLiteral("full"), root + QStringLiteral("/full")), 0u);

        form->N7->trigger();
        form->N13->trigger();
        QCOMPARE(
            logMessages(*form),
            (QStringList{root + QStringLiteral("/Administrator") + QString::fromUtf16(u"不存在"),
                         root + QStringLiteral("/Guest") + QString::fromUtf16(u"不存在"),
                         root + QStringLiteral("/full") + QString::fromUtf16(u"已删除"),
                         root + QStringLiteral("/locked") + QString::fromUtf16(u"删除失败"),
                         root + QStringLiteral("/linked") + QString::fromUtf16(u"已删除"),
                         root + QStringLiteral("/absent") + QString::fromUtf16(u"不存在")}));
        QVERIFY(QFile::exists(root + QStringLiteral("/locked/sub/readonly")));
        QVERIFY(!QFile::exists(root + QStringLiteral("/locked/other")));
        QVERIFY(QFile::exists(outside + QStringLiteral("/precious")));
        QVERIFY(QDir(root).exists());
        // The registration stays; the row shows the folder as missing.
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("full"))->text(2),
                 root + QStringLiteral("/full") + QString::fromUtf16(u" (目录不存在)"));
    }

    void linksAndOddNamesInsideAHomeFolder() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("alias"), QStringLiteral("odd")});
        const QString root = form->mDirPathEdit->text();
        const QString outside = machine.path(QStringLiteral("outside"));
        QVERIFY(QDir().mkdir(outside));
        touch(outside + QStringLiteral("/precious"));
        // The home folder is itself a link: neither it nor its target is touched.
        QVERIFY(::symlink(outside.toLocal8Bit(), (root + QStringLiteral("/alias")).toLocal8Bit()) ==
                0);
        // A link to a file goes, the file stays; names that only trim to dots
        // are ordinary names and go too.
        QVERIFY(QDir().mkdir(root + QStringLiteral("/odd")));
        QVERIFY(::symlink((outside + QStringLiteral("/precious")).toLocal8Bit(),
                          (root + QStringLiteral("/odd/file-link")).toLocal8Bit()) == 0);
        for (const char* name : {" ..", ". ", "..\t", " ."})
            touch(root + QStringLiteral("/odd/") + QLatin1String(name));
        QVERIFY(QDir().mkdir(root + QStringLiteral("/odd/.. ")));
        touch(root + QStringLiteral("/odd/.. /plain"));
        touch(root + QStringLiteral("/odd/plain"));

        selectRows(form->ListView1, {QStringLiteral("alias"), QStringLiteral("odd")});
        form->N13->trigger();
        QCOMPARE(logMessages(*form), (QStringList{root + QString::fromUtf16(u"/alias删除失败"),
                                                  root + QString::fromUtf16(u"/odd已删除")}));
        QVERIFY(QFile::exists(outside + QStringLiteral("/precious")));
        QVERIFY(QFileInfo(root + QStringLiteral("/alias")).isSymLink());
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/odd")));
    }

    void aMountInsideAHomeFolderStays() {
        // Mounts are made only in a private mount namespace of this thread.
        const std::string why = enterPrivateMountNamespace();
        if (!why.empty())
            QSKIP(("no private mount namespace: " + why).c_str());
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("m")});
        const QString root = form->mDirPathEdit->text();
        const QString shared = machine.path(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared + QStringLiteral("/sub")));
        touch(shared + QStringLiteral("/one"));
        touch(shared + QStringLiteral("/sub/two"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/m/data")));
        touch(root + QStringLiteral("/m/plain"));
        bool removed = false;
        {
            const ScopedMount data = ScopedMount::bind(shared, root + QStringLiteral("/m/data"));
            QVERIFY2(data.mounted(), data.error().c_str());
            selectRows(form->ListView1, {QStringLiteral("m")});
            form->N13->trigger();
            removed = !QFileInfo::exists(root + QStringLiteral("/m/data/one"));
        }
        QCOMPARE(logMessages(*form), QStringList{root + QString::fromUtf16(u"/m删除失败")});
        QVERIFY(!removed);
        QVERIFY(QFile::exists(shared + QStringLiteral("/one")));
        QVERIFY(QFile::exists(shared + QStringLiteral("/sub/two")));
        QVERIFY(QDir(root + QStringLiteral("/m/data")).exists());
        QVERIFY(!QFile::exists(root + QStringLiteral("/m/plain")));
    }

    void theWindowAnswersDuringALongDeletion() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("big")});
        const QString home = form->hDirPath + QStringLiteral("big");
        manyFiles(home, 3000);
        int firedDuringDeletion = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, form.get(), [&] {
            if (!QDir(home).exists())
                return;
            ++firedDuringDeletion;
            // A second command is refused while this one runs: creating the
            // selected folder would log that it exists.
            QVERIFY(form->commandRunning());
            form->N12->trigger();
        });
        timer.start(0);
        selectRows(form->ListView1, {QStringLiteral("big")});
        form->N13->trigger();
        timer.stop();
        QVERIFY(firedDuringDeletion > 0);
        QCOMPARE(logMessages(*form), QStringList{home + QString::fromUtf16(u"已删除")});
    }

    void closingTheWindowEndsADeletion() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("big"), QStringLiteral("next")});
        const QString home = form->hDirPath + QStringLiteral("big");
        manyFiles(home, 3000);
        QVERIFY(QDir().mkdir(form->hDirPath + QStringLiteral("next")));
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        selectRows(form->ListView1, {QStringLiteral("big"), QStringLiteral("next")});
        form->N13->trigger();
        QVERIFY(!form->isVisible());
        QVERIFY(!form->commandRunning());
        // Ended where it was: no line, the rest of the folder and the next row
        // left alone.
        QCOMPARE(logMessages(*form), QStringList());
        QVERIFY(QDir(home).exists());
        QVERIFY(QDir(form->hDirPath + QStringLiteral("next")).exists());
    }

    void namesThatAreNoPlainFolderNeverReachTheFileSystem() {
        TestMachine machine;
        const QStringList bad = {QStringLiteral(".."), QStringLiteral("a/b"), QStringLiteral("."),
                                 QString()};
        for (const QString& name : bad)
            machine.addRawAccount(name);
        auto form = open(machine, {});
        const QString root = form->mDirPathEdit->text();
        QVERIFY(QDir().mkdir(root + QStringLiteral("/a")));
        touch(root + QStringLiteral("/a/keep"));
        QStringList expected;
        const QString skipped = QString::fromUtf16(u" 不是有效的文件夹名称,已跳过");
        for (QAction* command : {form->N12, form->N13, form->N15}) {
            selectRows(form->ListView1, bad);
            QCOMPARE(selectedNames(form->ListView1).size(), bad.size());
            command->trigger();
            // The rows keep the order in which the accounts were written.
            for (const QString& name : bad)
                expected.append(name + skipped);
        }
        QCOMPARE(logMessages(*form), expected);
        QVERIFY(QFile::exists(root + QStringLiteral("/a/keep")));
        QVERIFY(QDir(root).exists());
        QVERIFY(!QDir(root + QStringLiteral("/a/b")).exists());
    }

    void viewingOpensTheFolderOrTheRoot() {
        TestMachine machine;
        const QString record = machine.path(QStringLiteral("opened"));
        const QString script = machine.path(QStringLiteral("browser.sh"));
        {
            QFile file(script);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record + "'\n").toUtf8());
        }
        QVERIFY(
            QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        ScopedEnv browser("ORVANE_FILE_BROWSER", script);
        auto form = open(machine, {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        const QString home = form->hDirPath + QStringLiteral("a");
        QVERIFY(QDir().mkdir(home));
        QCOMPARE(machine.setHome(QStringLiteral("a"), home), 0u);
        QCOMPARE(machine.setHome(QStringLiteral("c"), form->hDirPath + QStringLiteral("gone")), 0u);
        form->GetAccountList(form->mServerName);

        // "(默认)" and a folder that no longer exists: a line each, nothing opens.
        for (const char* name : {"b", "c"}) {
            selectRows(form->ListView1, {QLatin1String(name)});
            form->N11->trigger();
        }
        QCOMPARE(logMessages(*form),
                 (QStringList{QString::fromUtf16(u"b 用户未指定主文件夹,或文件夹位置错误"),
                              QString::fromUtf16(u"c 用户未指定主文件夹,或文件夹位置错误")}));
        selectRows(form->ListView1, {QStringLiteral("a")});
        form->N11->trigger();
        QTRY_VERIFY(QFile::exists(record));
        selectRows(form->ListView1, {QStringLiteral("a"), QStringLiteral("b")});
        form->N11->trigger();
        const auto lines = [&] {
            QFile file(record);
            file.open(QIODevice::ReadOnly);
            return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        };
        QTRY_COMPARE(lines().size(), 2);
        QCOMPARE(lines(), (QStringList{home, form->hDirPath}));
        QCOMPARE(form->ListBox1->count(), 2);
        QVERIFY(!QFile::exists(form->hDirPath + QStringLiteral("gone")));
    }
};

QTEST_MAIN(HomeFoldersTest)
#include "HomeFoldersTest.moc"
