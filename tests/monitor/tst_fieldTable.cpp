// The integration guide's and the man page's tables of the reading's JSON keys are the live-field table's
// own: a key, unit, scale or range changed in code and not in the documents (or the other way) fails here. On
// failure the expected text is printed, to paste between the markers.
#include <QFile>
#include <QtTest>

#include "monitor/FieldTable.h"

using namespace tarsyn::monitor;

namespace {

// The text between the line holding `begin` and the line holding `end`; null when either is missing.
QString between(const QString& path, const QString& begin, const QString& end) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    const QString text = QString::fromUtf8(file.readAll());
    const qsizetype from = text.indexOf(begin);
    if (from < 0) return QString();
    const qsizetype start = text.indexOf(QLatin1Char('\n'), from) + 1;
    const qsizetype stop = text.indexOf(end, start);
    if (stop < 0) return QString();
    return text.mid(start, text.lastIndexOf(QLatin1Char('\n'), stop) + 1 - start);
}

}  // namespace

class TestFieldTable : public QObject {
    Q_OBJECT
private slots:
    void guideTableIsTheCodes();
    void manPageTableIsTheCodes();
    void tableRowsFromTheTable();
};

void TestFieldTable::guideTableIsTheCodes() {
    const QString documented =
        between(qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/docs/integration.md"),
                QStringLiteral("<!-- live-fields begin"), QStringLiteral("<!-- live-fields end"));
    QVERIFY2(!documented.isNull(), "docs/integration.md has no <!-- live-fields begin/end --> markers");
    const QString expected = FieldTable(FieldTableFormat::Markdown);
    if (documented != expected)
        qWarning().noquote() << QStringLiteral("docs/integration.md should hold:\n") + expected;
    QCOMPARE(documented, expected);
}

void TestFieldTable::manPageTableIsTheCodes() {
    const QString documented = between(
        qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/packaging/man/tarsynctl.1.scd.in"),
        QStringLiteral("; live-fields begin"), QStringLiteral("; live-fields end"));
    QVERIFY2(!documented.isNull(), "tarsynctl.1.scd.in has no '; live-fields begin/end' markers");
    // scdoc needs an empty line before and after a table.
    const QString expected =
        QStringLiteral("\n") + FieldTable(FieldTableFormat::Scdoc) + QStringLiteral("\n");
    if (documented != expected)
        qWarning().noquote() << QStringLiteral("tarsynctl.1.scd.in should hold:\n") + expected;
    QCOMPARE(documented, expected);
}

// A few rows spelled out, so that the generator itself is checked against what a reader expects:
// the battery in tenths of a volt up to 60 V, the power factor in hundredths up to 1, a delay in
// seconds.
void TestFieldTable::tableRowsFromTheTable() {
    const QString md = FieldTable(FieldTableFormat::Markdown);
    QVERIFY(md.startsWith("| Member | Key | Panel | Unit | Scale | Range |\n|---|---|---|---|---|---|\n"));
    QVERIFY(md.contains("| `values` | `battery_voltage` | `pnl17` | V | 0.1 | 0 to 60 |\n"));
    QVERIFY(md.contains("| `values` | `power_factor` | `pnl33` | none | 0.01 | 0 to 1 |\n"));
    QVERIFY(md.contains("| `values` | `water_temperature` | `pnl24` | \u00B0C | 1 | 0 to 200 |\n"));
    QVERIFY(md.contains("| `delays` | `cranking_time` | `pnl44` | s | 1 | 0 to 60 |\n"));
    QCOMPARE(md.count(QLatin1Char('\n')), 2 + 21 + 22);
    const QString scd = FieldTable(FieldTableFormat::Scdoc);
    QVERIFY(scd.startsWith("[[ *Member*\n:[ *Key*\n"));
    QVERIFY(scd.contains("|  values\n:  mains_voltage_phase_a\n:  pnl34\n:  V\n:  1\n:  0 to 600\n"));
}

QTEST_GUILESS_MAIN(TestFieldTable)
#include "tst_fieldTable.moc"
