// The system parameters page TForm8: bytes and words at 0x0076-0x007F written as five word frames,
// and the measurement setting at 0x0082 written alone with function 06.
#include "pages/PageTable.h"

namespace tarsyn::pages {

namespace {

Page makeSystemPage() {
    Page page;
    page.window = QStringLiteral("TForm8");
    page.titleKey = QStringLiteral("Form8caption");
    page.title = QStringLiteral("系统参数");

    Block block;
    block.start = 0x0076;
    block.bytes = 13;  // up to 0x0082; the control bits at 0x0080-0x0081 are read but not shown
    block.count = 32;
    block.minReply = 31;
    block.frames = 5;  // 0x0076-0x007F
    block.progressMax = 18;
    block.section = QStringLiteral("St");
    block.columns = 2;
    block.fields = {
        wordField("edttkzs", 0x0076, "tkzs", "lbltkzs", "脱扣转速"),
        byteField("edtsbdz", 0x0078, "sbdz", "lblsbdz", "设备地址"),
        byteField("edtqdcs", 0x0079, "qdcs", "lblqdcs", "启动次数"),
        wordField("edtctbl", 0x007A, "ctbl", "lblctbl", "CT比率"),
        byteField("edtflcs", 0x007C, "flcs", "lblflcs", "飞轮齿数"),
        byteField("edtswtz", 0x007D, "swtz", "lblswtz", "水温调整"),
        byteField("edtyytz", 0x007E, "yytz", "lblyytz", "油压调整"),
        byteField("edtywyw", 0x007F, "ywyw", "lblywyw", "油温油位调整"),
        byteField("edtclsz", 0x0082, "clsz", "lblclsz", "测量设置"),
    };
    // The program's one function-06 request: the byte at 0x0082, its value in four digits.
    block.extras = {{QStringLiteral("00060082"), QStringLiteral("edtclsz"), -1}};
    block.keyOrder = QStringList{"sbdz", "qdcs", "ctbl", "flcs", "swtz", "yytz", "ywyw", "clsz", "tkzs"};
    page.blocks = {block};
    page.notes = QStringList{"lblxtzs", "注释"};
    return page;
}

}  // namespace

const Page& systemPage() {
    static const Page page = makeSystemPage();
    return page;
}

}  // namespace tarsyn::pages
