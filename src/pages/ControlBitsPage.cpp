// The control bits page TForm9: twelve options, one bit each, in the bytes 0x0080 and 0x0081,
// written as one word.
#include "pages/PageTable.h"

namespace tarsyn::pages {

namespace {

Page makeControlBitsPage() {
    Page page;
    page.window = QStringLiteral("TForm9");
    page.titleKey = QStringLiteral("Form9caption");
    page.title = QStringLiteral("控制位");

    Block block;
    block.start = 0x0080;
    block.bytes = 2;
    block.count = 14;
    block.minReply = 13;
    block.frames = 1;  // both bytes in one word; bits 4-7 of 0x0081 are written as 0
    block.progressMax = 18;
    block.progressAfterWait = 18;  // the one frame leaves pb1 at 1 until the last second has passed
    block.section = QStringLiteral("Kz");
    block.columns = 3;
    block.fields = {
        bitField(0x0080, 0, "grpqh1", "速度源", "rbsd1", "油机电源频率", "rbsd2", "速度传感器", "sd"),
        bitField(0x0080, 1, "grpdz", "带载方式选择", "rbdz1", "保持", "rbdz2", "脉冲(保持2秒后断开)", "dz"),
        bitField(0x0080, 2, "grpsw", "水温监测", "rbwc1", "水温报警开关", "rbwc2", "水温传感器", "wc"),
        bitField(0x0080, 3, "grpjc", "油压监测", "rbjc1", "油压报警开关", "rbjc2", "油压传感器", "jc"),
        bitField(0x0080, 4, "grpww", "油温/油位监测", "rbww1", "油温/油位开关", "rbww2", "油温/油位感器",
                 "ww"),
        bitField(0x0080, 5, "grpfy", "油温/油位反应", "rbfy1", "告警停机", "rbfy2", "告警不停机", "fy"),
        bitField(0x0080, 6, "grpdc", "电池电压低反应", "rbdc1", "告警停机", "rbdc2", "告警不停机", "dc"),
        bitField(0x0080, 7, "grpyx", "油温/油位选择", "rbxz1", "油位", "rbxz2", "油温", "xz"),
        bitField(0x0081, 0, "grpcl", "电压测量方式", "rbcl1", "测量相电压", "rbcl2", "测量线电压", "cl"),
        bitField(0x0081, 1, "grpqh", "显示切换方式", "rbqh1", "手动切换", "rbqh2", "自动切换", "qh"),
        bitField(0x0081, 2, "grpyy", "汉英语言选择", "rb999", "汉语", "rb991", "Engish", "yy"),
        bitField(0x0081, 3, "grpbg", "背光选择", "rbbg1", "自动", "rbbg2", "常亮", "bg"),
    };
    block.keyOrder = QStringList{"sd", "dz", "wc", "jc", "ww", "fy", "dc", "xz", "bg", "yy", "qh", "cl"};
    page.blocks = {block};
    return page;
}

}  // namespace

const Page& controlBitsPage() {
    static const Page page = makeControlBitsPage();
    return page;
}

}  // namespace tarsyn::pages
