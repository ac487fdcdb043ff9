// The controller's alarm log: one record decoded from any text, and the first and page reads of
// the alarm history with the reply the fuzzer makes. Promises: a record's code and time are its
// characters copied as they stand (nothing in a record can fail); a reply is accepted exactly when
// it passes the reply check and its records are dates and times of day (else LastVerdict says
// OutOfRange), and one that fails shows nothing (a first read that fails says why the count is
// missing, and keeps none); an accepted reply shows at most six rows,
// numbered from the page's first record, each the record at its place in the reply. Input: one byte chooses
// the page read (0 is the first read) and, with its top bit, whether the rest is the reply as it arrives or
// the data digits of a well-framed reply.
#include "FakeClock.h"
#include "FakePollControl.h"
#include "FakeSerialPort.h"
#include "FuzzCheck.h"
#include "ScriptedPrompter.h"
#include "link/ControllerLink.h"
#include "reports/AlarmHistory.h"
#include "reports/AlarmRecord.h"

using namespace tarsyn;
namespace al = reports::alarmlog;

namespace {

QString lookup(const QString& key) { return QStringLiteral("text of ") + key; }

void checkRecord(const QString& reply, int position, const reports::AlarmRecord& record) {
    const QString r = reply.mid(position - 1, al::kRecordChars);
    auto part = [&r](int byte) { return r.mid(2 * byte, 2); };
    FUZZ_REQUIRE(record.code == part(0), record.code);
    FUZZ_REQUIRE(record.text == lookup(QStringLiteral("E") + part(0)), record.text);
    const QString time = QStringLiteral("20") + part(1) + QLatin1Char('-') + part(2) + QLatin1Char('-') +
                         part(3) + QLatin1Char(' ') + part(4) + QLatin1Char(':') + part(5) +
                         QLatin1Char(':') + part(6);
    FUZZ_REQUIRE(record.time == time, record.time + " for " + r);
}

struct Rig {
    test::FakeSerialPort port;
    test::FakeSleeper sleeper;
    link::ControllerLink link{port, sleeper};
    test::FakePollControl poll;
    test::ScriptedPrompter prompter;
    reports::AlarmHistory history{link, poll, prompter, lookup};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const quint8 choice = in.byte();
    const int page = (choice & 0x7F) % 4;  // 0: the first read; 1-3: a page of a 20-record log
    const QString request = page == 0 ? al::kFirstRequest : reports::AlarmPageRequest(page);
    const QString reply = (choice & 0x80) ? fuzz::framedReply(request, in.rest()) : in.restAsLatin1();

    for (int position : {1, 7, 11})
        checkRecord(reply, position, reports::DecodeAlarmRecord(reply, position, lookup));

    Rig rig;
    rig.port.OpenPort();
    QString answer = reply;
    if (page > 0) {
        // A log of 20 records is known first; then the page is read with the fuzzer's reply.
        QString first = al::kFirstHeader + QStringLiteral("14");
        while (first.size() < al::kFirstCount) first += QStringLiteral("01");  // 2001-01-01 01:01:01
        first = link::BuildFrame(first);
        rig.port.onWrite = [&rig, &first](const QString&) { rig.port.arrive(first); };
        rig.history.firstRead();
        FUZZ_REQUIRE(rig.history.logKnown() && rig.history.total() == 20, "the known log was not read");
    }
    rig.port.onWrite = [&rig, &answer](const QString&) { rig.port.arrive(answer); };
    if (page == 0)
        rig.history.firstRead();
    else
        rig.history.readPage(page);

    const QString got = rig.link.LastReply();
    const int count = page == 0 ? al::kFirstCount : al::kPageCount;
    const QString header = page == 0 ? al::kFirstHeader : al::kPageHeader;
    const reports::AlarmHistoryState& state = rig.history.state();
    const bool accepted = got.size() >= count && got.startsWith(header);
    FUZZ_REQUIRE(
        accepted == (rig.link.LastVerdict() == link::ReplyVerdict::Ok),
        "accepted " + QString::number(accepted) + ": " + link::ReplyVerdictName(rig.link.LastVerdict()));
    if (!accepted) {
        FUZZ_REQUIRE(state.rows.isEmpty() && !state.pictureEnabled, "a refused reply showed rows: " + got);
        // A refused page shows nothing; a refused first read gives no count, and says once why paging,
        // pictures and the export stay off.
        const QStringList told =
            page == 0 ? QStringList{QStringLiteral("error:") + lookup(QStringLiteral("alnocount"))}
                      : QStringList{};
        FUZZ_REQUIRE(rig.prompter.shown == told,
                     "a refused reply was reported as: " + rig.prompter.shown.join('|'));
        FUZZ_REQUIRE(page > 0 || (!rig.history.logKnown() && state.totalText.isEmpty()),
                     "a refused first read kept a count");
        return 0;
    }
    if (page == 0) {
        const QString totalDigits = got.mid(6, 2);
        FUZZ_REQUIRE(fuzz::allHex(totalDigits), "a checked reply with the count " + totalDigits);
        const int total = int(fuzz::valueOf(totalDigits));
        FUZZ_REQUIRE(rig.history.total() == total && state.totalText == QString::number(total),
                     state.totalText);
        FUZZ_REQUIRE(state.rows.size() == qMin(total, al::kRowsPerPage), QString::number(state.rows.size()));
    } else {  // pages 1-3 of 20 records are full
        FUZZ_REQUIRE(state.rows.size() == al::kRowsPerPage, QString::number(state.rows.size()));
    }
    FUZZ_REQUIRE(state.pictureEnabled == (page > 0 || !state.rows.isEmpty()), "save and print");
    const int at = page == 0 ? al::kFirstRecordPosition : al::kPageRecordPosition;
    for (int i = 0; i < state.rows.size(); ++i) {
        FUZZ_REQUIRE(state.rows.at(i).number == al::kRowsPerPage * qMax(page - 1, 0) + i + 1, "row number");
        checkRecord(got, at + al::kRecordChars * i, state.rows.at(i).record);
    }
    return 0;
}
