// The help page: its fixed usage text, and the browser sent to the support
// page each time the page is shown.
#include "WebEngineBrowser.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"
#include "ui/UserMMain.h"

#include <QApplication>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QWebEngineView>
#include <unistd.h>

using orvane::test::TestMachine;

namespace {

// The usage text, line by line, as the help page must show it.
const char16_t* const kUsage[] = {
    u"Orvane v.0.5 (  需求讨论版  )使用说明：",
    u"【功能】",
    u"1.快速批量的根据命名规则创建用户帐号（用户名前缀 + 编号）；",
    u"2.导入规范格式的CSV文件，自动批量生成用户帐号",
    u"3.批量为用户批理创建个人主文件夹，设置关联、共享关系",
    u"4.批量加入指定的用户组、或从指定的用户组中移除",
    u"5.支持域环境",
    u"",
    u"【操作说明】",
    u"1. 前缀是指按命名规则生成用户名时指定的标识部分，如 USER1 -- USER100 则可以设定前缀为 "
    u"\"USER\" ",
    u"2. 递增设定的是一组启止范围 如从 1-- 100，则可以创建出100个用户帐号，帐号为前缀+编号 如 "
    u"USER1 -- USER100",
    u"3. 密码为统一的默认密码（可自行设定），但需符合当前系统设定的密码复杂度策略。",
    u"4. 用户组的设定：",
    u"    4.1 主界面左侧的列表是当前系统所有的组名，右侧列表是当前所有用户帐号",
    u"    4.2 可以批量选中用户后，按住鼠标拖动到左侧的用户组上松开鼠标，即可完成加入用户组的操作",
    u"    4.3 "
    u"可以选中左侧的用户组名，再在右侧选择用户帐号，在右侧列表的右键快捷菜单中点选“添加到组”  "
    u"或“从组中移除”，来完成对用户组",
    u"的加入与退出",
    u"5. 个人主文件夹的设定",
    u"    5.1 "
    u"选择用户帐号后，可以使用鼠标右键快速的为用户创建其个人文件夹，文件夹名称与用户帐号同名。",
    u"    5.2 个人主文件夹生成成功后，可以根据需要设置关联。",
    u"    5.3 个人主文件夹的相关功能当参考WINDOWS的帮助，默认不关联。",
    u"    5.4  可以根据使用需要设置个人文件夹为共享或取消共享，默认为不共享。",
    u"6. 支持批量删除用户帐号与个人文件功能。",
    u"7. "
    u"所有操作的结果与状态都会有日志栏输出显示，为优化用户体验本程序全程无弹出式提示框，用户请留意"
    u"日志栏的输出结果。",
    u"8. 在WIN2008 (及含WIN7以上系统)上必须以“管理员模式”运行。",
    u"",
    u"【特别说明】",
    u"本版本为“需求讨论版” 暂定版本号为v0.5 "
    u"版，但所有功能均已经通过产品级测试，欢迎大家的测试使用，如果大家对本程的功能上有新的需",
    u"求和产品改进建议都可以与我们联系，我们将会尊重每一个用户提出的要求与建议努力增强产品的各项功"
    u"能，进行不断的完善到更符合大家",
    u"的习惯与要求。我们也会感谢每一次参与产品需求升级的会员赠送我们纪念品。"};

// Passes every request on to the real browser and keeps it.
class CountingBrowser final : public orvane::WebBrowser {
public:
    CountingBrowser(std::unique_ptr<orvane::WebBrowser> real, std::vector<QUrl>& requests)
        : m_real(std::move(real)), m_requests(requests) {}
    QWidget* widget() override { return m_real->widget(); }
    void Navigate(const QUrl& url) override {
        m_requests.push_back(url);
        m_real->Navigate(url);
    }

private:
    std::unique_ptr<orvane::WebBrowser> m_real;
    std::vector<QUrl>& m_requests;
};

} // namespace

class HelpPageTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void usageTextIsShownLineForLine() {
        TestMachine machine;
        TUMainForm form(machine.platform());
        const QStringList shown = form.Memo1->toPlainText().split(u'\n');
        QCOMPARE(shown.size(), 30);
        for (int i = 0; i < 30; ++i)
            QCOMPARE(shown[i], QString::fromUtf16(kUsage[i]));
        QVERIFY(shown[9].endsWith(QStringLiteral("\"USER\" ")));
        QCOMPARE(shown[7], QString());
    }

    void browserIsMadeOnFirstShowAndSentThereEveryTime() {
        TestMachine machine;
        orvane::Platform platform = machine.platform();
        std::vector<QUrl> requests;
        platform.browser = [&](QWidget* parent) -> std::unique_ptr<orvane::WebBrowser> {
            return std::make_unique<CountingBrowser>(orvane::createWebEngineBrowser(parent),
                                                     requests);
        };
        TUMainForm form(platform);
        form.show();
        // Never shown, the help page makes no request and has no browser.
        QVERIFY(!form.WebBrowser1);
        form.PageControl1->setCurrentWidget(form.TabSheet2);
        QVERIFY(form.WebBrowser1);
        auto* view = qobject_cast<QWebEngineView*>(form.WebBrowser1->widget());
        QVERIFY(view);
        QCOMPARE(view->parentWidget(), form.GroupBox7);
        QCOMPARE(requests.size(), size_t(1));
        const QUrl support = requests[0];
        QCOMPARE(support.scheme(), QStringLiteral("http"));
        QCOMPARE(support.path(), QStringLiteral("/thread-1795-1-1.html"));
        QVERIFY(support.host().endsWith(QStringLiteral(".example")));
        QVERIFY(!support.hasQuery() && !support.hasFragment());
        // The view itself goes there.
        QTRY_COMPARE_WITH_TIMEOUT(view->url(), support, 30000);

        form.PageControl1->setCurrentWidget(form.TabSheet1);
        QCOMPARE(requests.size(), size_t(1));
        form.PageControl1->setCurrentWidget(form.TabSheet2);
        QCOMPARE(requests.size(), size_t(2));
        QCOMPARE(requests[1], support);
        QCOMPARE(form.WebBrowser1->widget(), view);
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    HelpPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HelpPageTest.moc"
