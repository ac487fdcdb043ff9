// The SMS alarm settings page Tgsm: the station name (16 bytes) and five phone numbers (6 bytes
// each) that the controller's own modem uses, 0x0150-0x017D.
#include "pages/PageTable.h"

namespace tarsyn::pages {

namespace {

Page makeSmsPage() {
    Page page;
    page.window = QStringLiteral("Tgsm");
    page.titleKey = QStringLiteral("gsmcaption");
    page.title = QStringLiteral("短信");

    Block block;
    block.start = 0x0150;
    block.bytes = 46;
    block.count = 102;   // the whole reply
    block.minReply = 0;  // decoded whatever its length
    block.frames = 23;
    block.progressMax = 88;
    block.section = QStringLiteral("Gsm");
    block.waitAfterFailedOpen = true;
    block.columns = 1;
    block.fields = {
        textField(FieldKind::StationName, "edtzddz", 0x0150, "address", "lblzddz", "站点地址"),
        textField(FieldKind::Phone, "edtsj1", 0x0160, "sj1", "lblsj1", "报警手机1"),
        textField(FieldKind::Phone, "edtsj2", 0x0166, "sj2", "lblsj2", "报警手机2"),
        textField(FieldKind::Phone, "edtsj3", 0x016C, "sj3", "lblsj3", "报警手机3"),
        textField(FieldKind::Phone, "edtsj4", 0x0172, "sj4", "lblsj4", "报警手机4"),
        textField(FieldKind::Phone, "edtsj5", 0x0178, "sj5", "lblsj5", "报警手机5"),
    };
    page.blocks = {block};
    return page;
}

}  // namespace

const Page& smsPage() {
    static const Page page = makeSmsPage();
    return page;
}

}  // namespace tarsyn::pages
