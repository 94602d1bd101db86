#include "ui/HelpText.h"

namespace orvane::ui {

// The usage text of the help tab, one entry per shown line.
const QStringList& usageText() {
    static const QStringList text = {
        QString::fromUtf16(u"Orvane v.0.5 (  需求讨论版  )使用说明："),
        QString::fromUtf16(u"【功能】"),
        QString::fromUtf16(u"1.快速批量的根据命名规则创建用户帐号（用户名前缀 + 编号）；"),
        QString::fromUtf16(u"2.导入规范格式的CSV文件，自动批量生成用户帐号"),
        QString::fromUtf16(u"3.批量为用户批理创建个人主文件夹，设置关联、共享关系"),
        QString::fromUtf16(u"4.批量加入指定的用户组、或从指定的用户组中移除"),
        QString::fromUtf16(u"5.支持域环境"),
        QString::fromUtf16(u""),
        QString::fromUtf16(u"【操作说明】"),
        QString::fromUtf16(u"1. 前缀是指按命名规则生成用户名时指定的标识部分，如 USER1 -- USER100 "
                           u"则可以设定前缀为 \"USER\" "),
        QString::fromUtf16(u"2. 递增设定的是一组启止范围 如从 1-- "
                           u"100，则可以创建出100个用户帐号，帐号为前缀+编号 如 USER1 -- USER100"),
        QString::fromUtf16(
            u"3. 密码为统一的默认密码（可自行设定），但需符合当前系统设定的密码复杂度策略。"),
        QString::fromUtf16(u"4. 用户组的设定："),
        QString::fromUtf16(
            u"    4.1 主界面左侧的列表是当前系统所有的组名，右侧列表是当前所有用户帐号"),
        QString::fromUtf16(
            u"    4.2 "
            u"可以批量选中用户后，按住鼠标拖动到左侧的用户组上松开鼠标，即可完成加入用户组的操作"),
        QString::fromUtf16(u"    4.3 "
                           u"可以选中左侧的用户组名，再在右侧选择用户帐号，在右侧列表的右键快捷菜单"
                           u"中点选“添加到组”  或“从组中移除”，来完成对用户组"),
        QString::fromUtf16(u"的加入与退出"),
        QString::fromUtf16(u"5. 个人主文件夹的设定"),
        QString::fromUtf16(u"    5.1 "
                           u"选择用户帐号后，可以使用鼠标右键快速的为用户创建其个人文件夹，文件夹名"
                           u"称与用户帐号同名。"),
        QString::fromUtf16(u"    5.2 个人主文件夹生成成功后，可以根据需要设置关联。"),
        QString::fromUtf16(u"    5.3 个人主文件夹的相关功能当参考WINDOWS的帮助，默认不关联。"),
        QString::fromUtf16(
            u"    5.4  可以根据使用需要设置个人文件夹为共享或取消共享，默认为不共享。"),
        QString::fromUtf16(u"6. 支持批量删除用户帐号与个人文件功能。"),
        QString::fromUtf16(u"7. "
                           u"所有操作的结果与状态都会有日志栏输出显示，为优化用户体验本程序全程无弹"
                           u"出式提示框，用户请留意日志栏的输出结果。"),
        QString::fromUtf16(u"8. 在WIN2008 (及含WIN7以上系统)上必须以“管理员模式”运行。"),
        QString::fromUtf16(u""),
        QString::fromUtf16(u"【特别说明】"),
        QString::fromUtf16(u"本版本为“需求讨论版” 暂定版本号为v0.5 "
                           u"版，但所有功能均已经通过产品级测试，欢迎大家的测试使用，如果大家对本程"
                           u"的功能上有新的需"),
        QString::fromUtf16(u"求和产品改进建议都可以与我们联系，我们将会尊重每一个用户提出的要求与建"
                           u"议努力增强产品的各项功能，进行不断的完善到更符合大家"),
        QString::fromUtf16(
            u"的习惯与要求。我们也会感谢每一次参与产品需求升级的会员赠送我们纪念品。"),
    };
    return text;
}

} // namespace orvane::ui
