#pragma once
// The names that bind the console's commands: the keys of the command toolbar, the captions of
// the paging toolbar, the context menus and their items. The controls are built from them, the
// program's root binds handlers to them and the tests walk them, so a caption is written once.

#include <QList>
#include <QString>

namespace lt::overseer
{

namespace key
{
inline const QString 日志管理 = QStringLiteral("日志管理");
inline const QString 终端配置 = QStringLiteral("终端配置");
inline const QString 组别配置 = QStringLiteral("组别配置");
inline const QString 显示黑单 = QStringLiteral("显示黑单");
inline const QString 显示白单 = QStringLiteral("显示白单");
inline const QString 上传数据 = QStringLiteral("上传数据");
inline const QString 访问统计 = QStringLiteral("访问统计");
inline const QString 测试连接 = QStringLiteral("测试连接");
inline const QString 日志导出 = QStringLiteral("日志导出");
inline const QString 恢复设置 = QStringLiteral("恢复设置");
inline const QString 删除日志 = QStringLiteral("删除日志");
inline const QString 显示封面 = QStringLiteral("显示封面");
inline const QString 日志打印 = QStringLiteral("日志打印");
inline const QString 显示帮助 = QStringLiteral("显示帮助");
inline const QString 流量统计 = QStringLiteral("流量统计");
inline const QString 关闭 = QStringLiteral("关闭");
} // namespace key

namespace paging
{
inline const QString 首页 = QStringLiteral("首页");
inline const QString 上页 = QStringLiteral("上页");
inline const QString 下页 = QStringLiteral("下页");
inline const QString 尾页 = QStringLiteral("尾页");
} // namespace paging

namespace menu
{
inline const QString 查看 = QStringLiteral("查看");
inline const QString 终端 = QStringLiteral("终端");
inline const QString 组别 = QStringLiteral("组别");
inline const QString 名单 = QStringLiteral("名单");
inline const QString 登录 = QStringLiteral("登录");
inline const QString 访问 = QStringLiteral("访问");
inline const QString 统计 = QStringLiteral("统计");
inline const QString 上传 = QStringLiteral("上传");
inline const QString 文件 = QStringLiteral("文件");
} // namespace menu

// One item of one context menu; the same caption may stand in several menus.
struct MenuItem {
    QString menu;
    QString caption;
    bool operator==(const MenuItem&) const = default;
};

namespace item
{
inline const MenuItem 查看_查看日志{menu::查看, QStringLiteral("查看日志")};
inline const MenuItem 查看_刷新日志{menu::查看, QStringLiteral("刷新日志")};
inline const MenuItem 查看_查看网页{menu::查看, QStringLiteral("查看网页")};
inline const MenuItem 查看_禁止浏览{menu::查看, QStringLiteral("禁止浏览")};
inline const MenuItem 查看_允许浏览{menu::查看, QStringLiteral("允许浏览")};
inline const MenuItem 查看_删除日志{menu::查看, QStringLiteral("删除日志")};
inline const MenuItem 查看_打印预览{menu::查看, QStringLiteral("打印预览")};
inline const MenuItem 终端_增加{menu::终端, QStringLiteral("增加")};
inline const MenuItem 终端_分组{menu::终端, QStringLiteral("分组")};
inline const MenuItem 终端_更名{menu::终端, QStringLiteral("更名")};
inline const MenuItem 终端_删除{menu::终端, QStringLiteral("删除")};
inline const MenuItem 终端_刷新{menu::终端, QStringLiteral("刷新")};
inline const MenuItem 组别_增加{menu::组别, QStringLiteral("增加")};
inline const MenuItem 组别_配置{menu::组别, QStringLiteral("配置")};
inline const MenuItem 组别_更名{menu::组别, QStringLiteral("更名")};
inline const MenuItem 组别_删除{menu::组别, QStringLiteral("删除")};
inline const MenuItem 名单_增加{menu::名单, QStringLiteral("增加")};
inline const MenuItem 名单_删除{menu::名单, QStringLiteral("删除")};
inline const MenuItem 名单_查看{menu::名单, QStringLiteral("查看")};
// The recent visits have no key: they are opened from the lists they feed.
inline const MenuItem 名单_显示最近访问{menu::名单, QStringLiteral("显示最近访问")};
inline const MenuItem 登录_修改系统使用端口号{menu::登录, QStringLiteral("修改系统使用端口号")};
inline const MenuItem 登录_修改登录名称和口令{menu::登录, QStringLiteral("修改登录名称和口令")};
inline const MenuItem 访问_增加{menu::访问, QStringLiteral("增加")};
inline const MenuItem 访问_删除{menu::访问, QStringLiteral("删除")};
inline const MenuItem 统计_删除记录{menu::统计, QStringLiteral("删除记录")};
inline const MenuItem 统计_查看网页{menu::统计, QStringLiteral("查看网页")};
inline const MenuItem 统计_不送日志{menu::统计, QStringLiteral("不送日志")};
inline const MenuItem 上传_打印{menu::上传, QStringLiteral("打印")};
inline const MenuItem 上传_删除{menu::上传, QStringLiteral("删除")};
inline const MenuItem 文件_保存{menu::文件, QStringLiteral("保存")};
inline const MenuItem 文件_关闭{menu::文件, QStringLiteral("关闭")};
} // namespace item

// The sixteen keys of Toolbar1, top to bottom.
QList<QString> allKeys();
// The paging captions in their order on Toolbar2.
QList<QString> allPagingCaptions();
// Every item of every context menu, menu by menu, each menu's items in their order.
QList<MenuItem> allMenuItems();
// The menu names in the order of the menu bar.
QList<QString> allMenus();

// Items that the menu has but that do nothing by design ("文件": "保存", "关闭"; "访问": "增加").
bool isInertMenuItem(const MenuItem& item);

// Whether a context-menu item is enabled when its menu pops up over a list of `rows` rows whose
// first column header is `firstHeader`.
bool menuItemEnabled(const MenuItem& item, int rows, const QString& firstHeader);

} // namespace lt::overseer
