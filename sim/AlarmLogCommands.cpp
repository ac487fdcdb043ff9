#include "AlarmLogCommands.h"

#include <QStringList>

namespace tarsyn::sim {

namespace {

// The codes that have texts in the shipped catalogues.
constexpr int kLastNamedCode = 0x20;

}  // namespace

void SeedAlarmLog(ControllerMemory& memory, int count) {
    for (int a = addr::kAlarmLog; a < addr::kAlarmLogEnd; ++a) memory.setByte(a, 0);
    const QDateTime start(QDate(2009, 1, 1), QTime(8, 0, 0));
    for (int i = 0; i < qBound(0, count, addr::kAlarmLogCapacity); ++i) {
        // 5 days, 3 hours, 7 minutes and 11 seconds apart: every date and time field moves.
        const QDateTime when = start.addSecs(qint64(i) * (((5 * 24 + 3) * 60 + 7) * 60 + 11));
        memory.appendAlarm(quint8(i % kLastNamedCode + 1), when);
    }
}

bool AlarmLogCommand(const QString& line, ControllerMemory& memory, const QDateTime& now, QString* reply) {
    const QStringList words = line.simplified().split(QLatin1Char(' '));
    if (words.size() != 2) return false;
    bool ok = false;
    if (words[0] == QLatin1String("fault")) {
        const int code = words[1].toInt(&ok, 16);
        if (!ok || code < 1 || code > 0xFF) {
            if (reply)
                *reply = QStringLiteral("fault needs a hexadecimal code 01-FF, not '%1'").arg(words[1]);
            return true;
        }
        memory.appendAlarm(quint8(code), now);
        if (reply) *reply = QStringLiteral("alarm log: %1 records").arg(memory.alarmCount());
        return true;
    }
    if (words[0] == QLatin1String("log")) {
        const int count = words[1].toInt(&ok);
        if (!ok || count < 0 || count > addr::kAlarmLogCapacity) {
            if (reply) *reply = QStringLiteral("log needs a record count 0-255, not '%1'").arg(words[1]);
            return true;
        }
        SeedAlarmLog(memory, count);
        if (reply) *reply = QStringLiteral("alarm log: %1 records").arg(memory.alarmCount());
        return true;
    }
    return false;
}

}  // namespace tarsyn::sim
