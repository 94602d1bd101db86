// Home folders under a home root that someone other than root could change:
// a folder of its path swapped for a link, before a command or while it runs,
// and roots that other users can write. The program runs as root here.
#include "WindowHelpers.h"
#include "os/FolderSwapper.h"
#include "os/PrivateMounts.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane::test;

namespace {

// An ordinary user who owns a folder above the home root.
constexpr uid_t kUser = 4242;

void touch(const QString& path) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write("x");
}

bool makeFolder(const QString& path, mode_t mode = 0755, uid_t owner = 0) {
    const QByteArray native = QFile::encodeName(path);
    return QDir().mkpath(path) && ::chmod(native.constData(), mode) == 0 &&
           ::chown(native.constData(), owner, owner) == 0;
}

bool link(const QString& target, const QString& at) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
}

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

class HomeRootTest : public QObject {
    Q_OBJECT

    // A window whose home root (for creation and deletion alike) is root.
    std::unique_ptr<TUMainForm> open(TestMachine& machine, const QStringList& accounts,
                                     const QString& root) {
        auto form = openWindow(machine, accounts);
        form->mDirPathEdit->setText(root);
        form->hDirPath = root + u'/';
        return form;
    }

    static void deleteAndCreate(TUMainForm& form, const QStringList& remove,
                                const QStringList& make) {
        selectRows(form.ListView1, remove);
        form.N13->trigger();
        selectRows(form.ListView1, make);
        form.N12->trigger();
    }

private slots:
    void initTestCase() {
        if (::geteuid() != 0)
            QSKIP("the other user's folders need root");
        ::umask(022);
        orvane::ui::applyLookAndFeel();
    }

    void aFolderOfTheRootSwappedForALinkIsNotFollowed() {
        // site/base/homes is the root; base is then swapped for a link to
        // elsewhere, which holds folders of the same names.
        TestMachine machine;
        const QString site = machine.path(QStringLiteral("site"));
        const QString homes = site + QStringLiteral("/base/homes");
        const QString elsewhere = site + QStringLiteral("/elsewhere");
        QVERIFY(makeFolder(homes + QStringLiteral("/victim")));
        touch(homes + QStringLiteral("/victim/own"));
        QVERIFY(makeFolder(elsewhere + QStringLiteral("/homes/victim")));
        touch(elsewhere + QStringLiteral("/homes/victim/precious"));
        auto form = open(machine, {QStringLiteral("victim"), QStringLiteral("fresh")}, homes);
        QVERIFY(QDir().rename(site + QStringLiteral("/base"), site + QStringLiteral("/away")));
        QVERIFY(link(elsewhere, site + QStringLiteral("/base")));

        deleteAndCreate(*form, {QStringLiteral("victim")}, {QStringLiteral("fresh")});

        QCOMPARE(logMessages(*form), (QStringList{homes + QString::fromUtf16(u"/victim删除失败"),
                                                  QString::fromUtf16(u" 用户目录 ") + homes +
                                                      QString::fromUtf16(u" 不存在或无法访问 ")}));
        QVERIFY(QFile::exists(elsewhere + QStringLiteral("/homes/victim/precious")));
        QVERIFY(!QFileInfo::exists(elsewhere + QStringLiteral("/homes/fresh")));
        QVERIFY(QFile::exists(site + QStringLiteral("/away/homes/victim/own")));
    }

    void aRootOtherUsersCanChangeIsRefused() {
        // root: the folders above the root and the root itself, with
        // their owners and modes. Only the last is safe.
        struct Case {
            const char* what;
            uid_t parentOwner;
            mode_t parentMode;
            mode_t rootMode;
            bool refused;
        };
        const Case cases[] = {
            {"a parent owned by a user", kUser, 0755, 0755, true},
            {"a parent the group can write", 0, 0775, 0755, true},
            {"a root others can write", 0, 0755, 0757, true},
            {"a sticky root others can write", 0, 0755, 01777, true},
            {"a sticky parent others can write", 0, 01777, 0755, false},
        };
        for (const Case& c : cases) {
            TestMachine machine;
            const QString parent = machine.path(QStringLiteral("site"));
            const QString homes = parent + QStringLiteral("/homes");
            QVERIFY(makeFolder(homes + QStringLiteral("/victim")));
            touch(homes + QStringLiteral("/victim/own"));
            QVERIFY(makeFolder(parent, c.parentMode, c.parentOwner));
            QVERIFY(makeFolder(homes, c.rootMode));
            auto form = open(machine, {QStringLiteral("victim"), QStringLiteral("fresh")}, homes);

            deleteAndCreate(*form, {QStringLiteral("victim")}, {QStringLiteral("fresh")});

            const QStringList expected =
                c.refused ? QStringList{homes + QString::fromUtf16(u"/victim删除失败"),
                                        QString::fromUtf16(u" 用户目录 ") + homes +
                                            QString::fromUtf16(u" 不存在或无法访问 ")}
                          : QStringList{homes + QString::fromUtf16(u"/victim已删除"),
                                        homes + QString::fromUtf16(u"/fresh 创建成功 ")};
            QVERIFY2(logMessages(*form) == expected,
                     qPrintable(QLatin1String(c.what) + QStringLiteral(": ") +
                                logMessages(*form).join(u'|')));
            QCOMPARE(QFile::exists(homes + QStringLiteral("/victim/own")), c.refused);
            QCOMPARE(QFileInfo::exists(homes + QStringLiteral("/fresh")), !c.refused);
        }
    }

    void aUserSwappingTheRootWhileCommandsRunReachesNothing() {
        // The user owns site and swaps site/homes with a link to elsewhere as
        // fast as the system lets them, while folders are deleted and made.
        TestMachine machine;
        const QString site = machine.path(QStringLiteral("site"));
        const QString homes = site + QStringLiteral("/homes");
        const QString elsewhere = machine.path(QStringLiteral("elsewhere"));
        QStringList victims;
        QStringList fresh;
        for (int i = 0; i < 40; ++i) {
            const QString name = QStringLiteral("u%1").arg(i, 2, 10, QLatin1Char('0'));
            victims.append(name);
            QVERIFY(makeFolder(homes + u'/' + name));
            touch(homes + u'/' + name + QStringLiteral("/own"));
            QVERIFY(makeFolder(elsewhere + u'/' + name));
            touch(elsewhere + u'/' + name + QStringLiteral("/precious"));
        }
        for (int i = 0; i < 20; ++i)
            fresh.append(QStringLiteral("n%1").arg(i, 2, 10, QLatin1Char('0')));
        QVERIFY(makeFolder(site, 0755, kUser));
        QVERIFY(link(elsewhere, site + QStringLiteral("/homes.link")));
        auto form = open(machine, victims + fresh, homes);

        FolderSwapper swapper(site, "homes", "homes.link", kUser);
        QVERIFY(swapper.started());
        QVERIFY(swapper.seenSwapped());
        deleteAndCreate(*form, victims, fresh);
        // The race lasted the whole of both commands.
        QVERIFY(swapper.stillSwapping());
        swapper.stop();

        for (const QString& name : victims) {
            QVERIFY2(QFile::exists(elsewhere + u'/' + name + QStringLiteral("/precious")),
                     qPrintable(name));
            QVERIFY2(QFile::exists(homes + u'/' + name + QStringLiteral("/own")), qPrintable(name));
        }
        for (const QString& name : fresh)
            QVERIFY2(!QFileInfo::exists(elsewhere + u'/' + name), qPrintable(name));
    }

    void newFoldersAreNeverWritableByOthersWhateverTheUmask() {
        TestMachine machine;
        const QString homes = machine.path(QStringLiteral("homes"));
        QVERIFY(makeFolder(homes));
        auto form = open(machine, {QStringLiteral("a"), QStringLiteral("b")}, homes);
        for (const mode_t mask : {mode_t(0), mode_t(077)}) {
            const mode_t saved = ::umask(mask);
            selectRows(form->ListView1, {mask ? QStringLiteral("b") : QStringLiteral("a")});
            form->N12->trigger();
            ::umask(saved);
        }
        QCOMPARE(modeOf(homes + QStringLiteral("/a")), mode_t(0755));
        QCOMPARE(modeOf(homes + QStringLiteral("/b")), mode_t(0700));
    }

    void theTopOfTheTreeIsNeverDeletedFrom() {
        // An account named like a folder under "/", which a fresh machine
        // reads as its root. The folder is a private tmpfs, so even a fault
        // here removes nothing of the system's.
        const std::string why = enterPrivateMountNamespace();
        if (!why.empty())
            QSKIP(("no private mount namespace: " + why).c_str());
        QString name;
        for (const char* candidate : {"mnt", "srv", "media", "opt"}) {
            if (QFileInfo(QStringLiteral("/") + QLatin1String(candidate)).isDir()) {
                name = QLatin1String(candidate);
                break;
            }
        }
        if (name.isEmpty())
            QSKIP("no folder under / to mount on");
        const QString top = QStringLiteral("/") + name;
        const ScopedMount scratch = ScopedMount::tmpfs(top);
        QVERIFY2(scratch.mounted(), scratch.error().c_str());
        touch(top + QStringLiteral("/kept"));
        TestMachine machine;
        auto form = openWindow(machine, {name, QStringLiteral("orvaneNoSuchHome")});
        form->hDirPath = QStringLiteral("/");
        selectRows(form->ListView1, {name, QStringLiteral("orvaneNoSuchHome")});
        form->N13->trigger();
        QCOMPARE(logMessages(*form), (QStringList{top + QString::fromUtf16(u"删除失败"),
                                                  QString::fromUtf16(u"/orvaneNoSuchHome不存在")}));
        QVERIFY(QFile::exists(top + QStringLiteral("/kept")));
    }

    void aRelativeOrEmptyRootIsNeverDeletedFrom() {
        // Found relative to the current folder, the folders exist; they stay.
        TestMachine machine;
        const QString here = QDir::currentPath();
        QVERIFY(makeFolder(machine.path(QStringLiteral("relative/a"))));
        touch(machine.path(QStringLiteral("relative/a/kept")));
        QVERIFY(makeFolder(machine.path(QStringLiteral("a"))));
        touch(machine.path(QStringLiteral("a/kept")));
        QVERIFY(QDir::setCurrent(machine.dir.path()));
        auto form = openWindow(machine, {QStringLiteral("a")});
        for (const QString& root : {QStringLiteral("relative/"), QString()}) {
            form->hDirPath = root;
            selectRows(form->ListView1, {QStringLiteral("a")});
            form->N13->trigger();
        }
        QDir::setCurrent(here);
        QCOMPARE(logMessages(*form), (QStringList{QString::fromUtf16(u"relative/a删除失败"),
                                                  QString::fromUtf16(u"a删除失败")}));
        QVERIFY(QFile::exists(machine.path(QStringLiteral("relative/a/kept"))));
        QVERIFY(QFile::exists(machine.path(QStringLiteral("a/kept"))));
    }
};

QTEST_MAIN(HomeRootTest)
#include "HomeRootTest.moc"
