#include "overseer/core/columnlayouts.h"

namespace lt::overseer
{

namespace
{

ColumnFormat col(const char* header, int twips, bool centred = false)
{
    return {QString::fromUtf8(header), twips, centred};
}

} // namespace

ColumnLayout ListviewHeadShow_日志()
{
    return {col("终端", 1200), col("地址", 1550), col("时间", 1890),
            col("组别", 1500), col("标题", 6000), col("域名(网站/网页)", 9000),
            col("类别", 600),  col("结果", 600)};
}

ColumnLayout ListviewHeadShow_终端()
{
    return {col("终端", 1200), col("ＩＰ", 1550), col("组别", 1550)};
}

ColumnLayout ListviewHeadShow_组别()
{
    return {col("组别", 2550), col("访问", 550), col("上传", 550)};
}

ColumnLayout ListviewHeadShow_黑单()
{
    return {col("域名(网站/网页)", 4550), col("标题", 4550), col("类别", 600, true)};
}

ColumnLayout ListviewHeadShow_白单()
{
    return {col("域名(网站/网页)", 4550), col("标题", 4550), col("是否记日志", 1200, true)};
}

ColumnLayout ListviewHeadShow_访问()
{
    return {col("域名(网站/网页)", 9000), col("标题", 6500), col("类别", 550), col("时间", 2000)};
}

ColumnLayout ListviewHeadShow_流量()
{
    return {col("终端", 1750), col("地址", 1750), col("流量(MB)", 3850)};
}

ColumnLayout ListviewHeadShow_上传()
{
    return {col("终端", 1750), col("发地址", 1750), col("内容", 4890), col("时间", 1890),
            col("收地址", 4890)};
}

ColumnLayout ListviewHeadShow_统计()
{
    return {col("域名(网站/网页)", 4550), col("标题", 4550), col("访问次数", 1200)};
}

ColumnLayout ListviewHeadShow_地址()
{
    return {col("终端", 4550), col("地址", 4550), col("访问次数", 1200)};
}

} // namespace lt::overseer
