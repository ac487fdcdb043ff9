#include "reports/AlarmRecord.h"

#include <QDate>
#include <QTime>

#include "link/Codec.h"

namespace tarsyn::reports {

AlarmRecord DecodeAlarmRecord(const QString& reply, int position, const MessageLookup& text) {
    const QString r = reply.mid(position - 1, alarmlog::kRecordChars);
    auto field = [&r](int byte) { return r.mid(2 * byte, 2); };
    AlarmRecord record;
    record.code = field(0);
    // The catalogue key is "E" followed by the code's two characters as sent ("E05", "E1A").
    const QString key = QStringLiteral("E") + record.code;
    record.text = text ? text(key) : QStringLiteral("0");
    record.time =
        QStringLiteral("20%1-%2-%3 %4:%5:%6").arg(field(1), field(2), field(3), field(4), field(5), field(6));
    return record;
}

bool AlarmRecordPlausible(const QString& reply, int position) {
    const QString r = reply.mid(position - 1, alarmlog::kRecordChars);
    if (r.size() != alarmlog::kRecordChars) return false;
    int fields[6] = {};
    for (int i = 0; i < 6; ++i) {
        const QString digits = r.mid(2 * (i + 1), 2);
        bool ok = false;
        fields[i] = digits.toInt(&ok, 10);
        if (!ok || !digits.at(0).isDigit() || !digits.at(1).isDigit()) return false;  // no sign, no space
    }
    return QDate(2000 + fields[0], fields[1], fields[2]).isValid() &&
           QTime(fields[3], fields[4], fields[5]).isValid();
}

bool AlarmRecordsPlausible(const QString& reply, int position, int count) {
    for (int i = 0; i < count; ++i)
        if (!AlarmRecordPlausible(reply, position + alarmlog::kRecordChars * i)) return false;
    return true;
}

int AlarmPageCount(int total) {
    if (total <= 0) return 1;
    return (total + alarmlog::kRowsPerPage - 1) / alarmlog::kRowsPerPage;
}

QString AlarmPageAddress(int page) {
    const int bytesPerPage = alarmlog::kRowsPerPage * alarmlog::kRecordChars / 2;
    return link::ToHex(quint32(alarmlog::kFirstRecord + bytesPerPage * (page - 1)), 4);
}

QString AlarmPageRequest(int page) {
    return QStringLiteral("0004") + AlarmPageAddress(page) + QStringLiteral("002A");
}

int AlarmRowsOnPage(int total, int page) {
    if (AlarmPageCount(total) > page) return alarmlog::kRowsPerPage;
    return total - alarmlog::kRowsPerPage * (page - 1);
}

}  // namespace tarsyn::reports
