#include "overseer/core/commands.h"

namespace lt::overseer
{

QList<QString> allKeys()
{
    using namespace key;
    return {日志管理, 终端配置, 组别配置, 显示黑单, 显示白单, 上传数据, 访问统计, 测试连接,
            日志导出, 恢复设置, 删除日志, 显示封面, 日志打印, 显示帮助, 流量统计, 关闭};
}

QList<QString> allPagingCaptions()
{
    return {paging::首页, paging::上页, paging::下页, paging::尾页};
}

QList<MenuItem> allMenuItems()
{
    using namespace item;
    return {查看_查看日志,
            查看_刷新日志,
            查看_查看网页,
            查看_禁止浏览,
            查看_允许浏览,
            查看_删除日志,
            查看_打印预览,
            终端_增加,
            终端_分组,
            终端_更名,
            终端_删除,
            终端_刷新,
            组别_增加,
            组别_配置,
            组别_更名,
            组别_删除,
            名单_增加,
            名单_删除,
            名单_查看,
            名单_显示最近访问,
            登录_修改系统使用端口号,
            登录_修改登录名称和口令,
            访问_增加,
            访问_删除,
            统计_删除记录,
            统计_查看网页,
            统计_不送日志,
            上传_打印,
            上传_删除,
            文件_保存,
            文件_关闭};
}

QList<QString> allMenus()
{
    using namespace menu;
    return {查看, 终端, 组别, 名单, 登录, 访问, 统计, 上传, 文件};
}

bool isInertMenuItem(const MenuItem& it)
{
    return it == item::文件_保存 || it == item::文件_关闭 || it == item::访问_增加;
}

bool menuItemEnabled(const MenuItem& it, int rows, const QString& firstHeader)
{
    using namespace item;
    // The items that need a row to act on.
    static const QList<MenuItem> needRows = {
        组别_配置,     终端_分组,     终端_删除,     终端_更名,     组别_更名,     查看_查看网页,
        查看_禁止浏览, 查看_允许浏览, 统计_查看网页, 统计_删除记录, 查看_删除日志, 组别_删除,
        名单_删除,     名单_查看,     上传_打印,     上传_删除};
    if (!needRows.contains(it))
        return true;
    if (rows <= 0)
        return false;
    // The statistics by terminal have no web page to open or to delete the rows of.
    if ((it == 统计_查看网页 || it == 统计_删除记录) && firstHeader == QStringLiteral("终端"))
        return false;
    return true;
}

} // namespace lt::overseer
