// The sensor curve page TForm7: three curves of eight points (voltage in hundredths, value), one
// block of 32 bytes each.
#include "pages/PageTable.h"

namespace tarsyn::pages {

namespace {

struct CurveNames {
    int start;
    const char* section;
    const char* group;
    const char* groupCaption;
    const char* voltage;       // edit prefix of the voltages ("edtysy")
    const char* voltageLabel;  // "lblswy"
    const char* value;         // "edtys"
    const char* valueLabel;    // "lblsw"
    const char* valueCaption;  // "水温"
    const char* valueKey;      // "ys"; the voltage keys add "y"
};

Block makeCurve(const CurveNames& n) {
    Block block;
    block.start = n.start;
    block.bytes = 32;
    block.count = 80;  // more than the 74 characters of the reply: what has arrived is taken
    block.minReply = 69;
    block.frames = 16;
    block.progressMax = 64;
    block.section = QString::fromUtf8(n.section);
    block.group = QString::fromUtf8(n.group);
    block.groupCaption = QString::fromUtf8(n.groupCaption);
    block.columns = 4;  // two points a row, so that the three curves fit a screen
    QStringList valueKeys, voltageKeys;
    for (int i = 1; i <= 8; ++i) {
        const QByteArray num = QByteArray::number(i);
        const int point = n.start + 4 * (i - 1);
        const QByteArray valueKey = QByteArray(n.valueKey) + num;
        const QByteArray voltageKey = QByteArray(n.valueKey) + "y" + num;
        block.fields << hundredthsField(QByteArray(n.voltage + num).constData(), point,
                                        voltageKey.constData(), QByteArray(n.voltageLabel + num).constData(),
                                        QByteArray("电压值" + num).constData())
                     << wordField(QByteArray(n.value + num).constData(), point + 2, valueKey.constData(),
                                  QByteArray(n.valueLabel + num).constData(),
                                  QByteArray(n.valueCaption + num).constData());
        valueKeys << QString::fromLatin1(valueKey);
        voltageKeys << QString::fromLatin1(voltageKey);
    }
    block.keyOrder = valueKeys + voltageKeys;  // the values first, then the voltages
    return block;
}

Page makeCurvePage() {
    Page page;
    page.window = QStringLiteral("TForm7");
    page.titleKey = QStringLiteral("Form7caption");
    page.title = QStringLiteral("曲线设置");
    page.blocks = {
        makeCurve({0x0180, "Sw", "grpsw1", "水温曲线", "edtysy", "lblswy", "edtys", "lblsw", "水温", "ys"}),
        makeCurve({0x01A0, "Yy", "grpyy2", "油压曲线", "edtyyy", "lblyyy", "edtyy", "lblyy", "油压", "yy"}),
        makeCurve({0x01C0, "Js", "grpjs3", "监视曲线", "edtjsy", "lbljsy", "edtjs", "lbljs", "监视", "js"}),
    };
    return page;
}

}  // namespace

const Page& curvePage() {
    static const Page page = makeCurvePage();
    return page;
}

}  // namespace tarsyn::pages
