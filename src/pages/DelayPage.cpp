// The delay settings page TForm6: 22 one-byte delays after the delays in force, in two blocks.
#include "monitor/LiveMap.h"
#include "pages/PageTable.h"

namespace tarsyn::pages {

namespace {

Page makeDelayPage() {
    Page page;
    page.window = QStringLiteral("TForm6");
    page.titleKey = QStringLiteral("Form6caption");
    page.title = QStringLiteral("延迟设置");

    // The start and stop sequence: 10 bytes at 0x004C.
    Block start;
    start.start = 0x004C;
    start.bytes = 10;
    start.count = 26;  // the header and the data; check and CR LF go with the purge
    start.minReply = 26;
    start.frames = 5;
    start.progressMax = 18;
    start.section = QStringLiteral("Ys");
    start.group = QStringLiteral("grp1");
    start.columns = 3;
    start.fields = {
        byteField("edtys1", 0x004C, "ys1", "lbl41", "冷却停机延时"),
        byteField("edtys2", 0x004D, "ys2", "lbl42", "机组启动延时"),
        byteField("edtys3", 0x004E, "ys3", "lbl43", "启动间隔延时"),
        byteField("edtys4", 0x004F, "ys4", "lbl44", "启动运转延时"),
        byteField("edtys5", 0x0050, "ys5", "lbl45", "旁路检测延时"),
        byteField("edtys6", 0x0051, "ys6", "lbl46", "停机断油延时"),
        byteField("edtys7", 0x0052, "ys7", "lbl51", "预供延时"),
        byteField("edtys8", 0x0053, "ys8", "lbl52", "怠速启动延时"),
        byteField("edtys9", 0x0054, "ys9", "lbl53", "怠速停机延时"),
        byteField("edtys10", 0x0055, "ys10", "lbl54", "升速延时"),
    };

    // Alarm, transfer, warm-up and speed-change delays: 12 bytes at 0x0056.
    Block alarms = start;
    alarms.start = 0x0056;
    alarms.bytes = 12;
    alarms.count = 30;
    alarms.minReply = 30;
    alarms.frames = 6;
    alarms.progressMax = 22;
    alarms.group = QStringLiteral("grp2");
    alarms.fields = {
        byteField("edtys11", 0x0056, "ys11", "lbl55", "油压低延时"),
        byteField("edtys12", 0x0057, "ys12", "lbl56", "水温高延时"),
        byteField("edtys13", 0x0058, "ys13", "lbl61", "机组电压过限延时"),
        byteField("edtys14", 0x0059, "ys14", "lbl62", "油温高/油位低延时"),
        byteField("edtys15", 0x005A, "ys15", "lbl63", "速度信号丢失延时"),
        byteField("edtys16", 0x005B, "ys16", "lbl64", "电池电压低延时"),
        byteField("edtys17", 0x005C, "ys17", "lbl65", "倒转换延时"),
        byteField("edtys18", 0x005D, "ys18", "lbl66", "机组频率过限延时"),
        byteField("edtys19", 0x005E, "ys19", "lbl101", "超速延时"),
        byteField("edtys20", 0x005F, "ys20", "lbl102", "过载延时"),
        byteField("edtys21", 0x0060, "ys21", "lbl103", "暖机延时"),
        byteField("edtys22", 0x0061, "ys22", "lbl104", "降速延时"),
    };
    // The settings at 0x004C-0x0061 are the delays the controller puts in force at 0x0036-0x004B, in
    // the same order: each has the physical range of its delay in the live-field table.
    int delay = 0;
    for (Block* block : {&start, &alarms})
        for (Field& f : block->fields) {
            const monitor::BlockField& inForce = monitor::DelayBlockFields().at(size_t(delay++));
            f.low = int(inForce.low);
            f.high = int(inForce.high);
        }
    page.blocks = {start, alarms};
    return page;
}

}  // namespace

const Page& delayPage() {
    static const Page page = makeDelayPage();
    return page;
}

}  // namespace tarsyn::pages
