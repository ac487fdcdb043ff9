// The alarm limits page TForm10: twelve words. The read spans 0x0062-0x0087; the 14 bytes in the
// middle (system parameters, control bits, 0x0083) are skipped, and the two words beyond them go out
// as frames of their own.
#include "pages/PageTable.h"

namespace tarsyn::pages {

namespace {

Page makeAlarmLimitsPage() {
    Page page;
    page.window = QStringLiteral("TForm10");
    page.titleKey = QStringLiteral("Form10caption");
    page.title = QStringLiteral("报警上下限");

    Block block;
    block.start = 0x0062;
    block.bytes = 38;
    block.count = 85;   // the whole reply but its final LF
    block.steps = 500;  // the longest reply of the pages
    block.minReply = 81;
    block.frames = 10;  // 0x0062-0x0075
    block.progressMax = 48;
    block.section = QStringLiteral("Bj");
    block.columns = 2;
    // The limits are held in the controller's own units, those of the live readings: the battery and
    // the frequencies in tenths (a battery low limit of 22.5 V is stored as 225). The page shows and
    // takes them as the main window shows the readings, each with its unit beside it.
    block.fields = {
        withUnit(wordField("edtdysx", 0x0062, "dysx", "lbldysx", "机组电压上限"), "lbldysxdw", "V"),
        withUnit(wordField("edtdyxx", 0x0064, "dyxx", "lbldyxx", "机组电压下限"), "lbldyxxdw", "V"),
        withUnit(wordField("edtdlsx", 0x0066, "dlsx", "lbldlsx", "机组电流上限"), "lbldlsxdw", "A"),
        withUnit(wordField("edtswsx", 0x0068, "swsx", "lblswsx", "水温上限"), "lblswsxdw", "°C"),
        withUnit(wordField("edtyyxx", 0x006A, "yyxx", "lblyyxx", "油压下限"), "lblyyxxdw", "kPa"),
        withUnit(wordField("edtywxx", 0x006C, "ywxx", "lblywxx", "油温上限/油位下限"), "lblywxxdw", "°C / %"),
        withUnit(tenthsField("edtdzxx", 0x006E, "dzxx", "lbldzxx", "电池电压下限"), "lbldzxxdw", "V"),
        withUnit(tenthsField("edtplsx", 0x0070, "plsx", "lblplsx", "机组频率上限"), "lblplsxdw", "Hz"),
        withUnit(tenthsField("edtplxx", 0x0072, "plxx", "lblplxx", "机组频率下限"), "lblplxxdw", "Hz"),
        withUnit(wordField("edtzssx", 0x0074, "zssx", "lblzssx", "转速上限"), "lblzssxdw", "转/分钟"),
        withUnit(wordField("edtsssx", 0x0084, "sssx", "lblsssx", "升速上限"), "lblsssxdw", "转/分钟"),
        withUnit(wordField("edtssxx", 0x0086, "ssxx", "lblssxx", "降速下限"), "lblssxxdw", "转/分钟"),
    };
    // An upper limit below its lower one would leave the set no value that raises no alarm.
    block.limitPairs = {{QStringLiteral("edtdyxx"), QStringLiteral("edtdysx")},
                        {QStringLiteral("edtplxx"), QStringLiteral("edtplsx")},
                        {QStringLiteral("edtssxx"), QStringLiteral("edtsssx")}};
    block.extras = {{QStringLiteral("00070084"), QStringLiteral("edtsssx"), 48},
                    {QStringLiteral("00070086"), QStringLiteral("edtssxx"), -1}};
    page.blocks = {block};
    return page;
}

}  // namespace

const Page& alarmLimitsPage() {
    static const Page page = makeAlarmLimitsPage();
    return page;
}

}  // namespace tarsyn::pages
