#include "Console.h"

#include "AlarmLogCommands.h"

namespace tarsyn::sim {

QString Console::normalised(const QByteArray& raw) { return QString::fromLocal8Bit(raw).trimmed().toLower(); }

Console::Outcome Console::run(const QByteArray& raw, const QDateTime& now, QString* said) {
    const QString line = normalised(raw);
    said->clear();
    Outcome outcome = Outcome::Done;
    if (line.isEmpty())
        outcome = Outcome::Empty;
    else if (AlarmLogCommand(line, m_memory, now, said)) {
    } else if (FaultCommand(line, m_faults, said))
        m_shaper.setFaults(m_faults);
    else if (line == QLatin1String("alarm on"))
        m_engine.setAlarm(true, true);
    else if (line == QLatin1String("alarm off"))
        m_engine.setAlarm(false, false);
    else if (line == QLatin1String("start"))
        m_engine.start();
    else if (line == QLatin1String("stop"))
        m_engine.resetStop();
    else if (line == QLatin1String("auto"))
        m_engine.automatic();
    else if (line == QLatin1String("test"))
        m_engine.test();
    else if (line == QLatin1String("quit"))
        outcome = Outcome::Quit;
    else
        outcome = Outcome::Unknown;
    m_engine.refresh();
    return outcome;
}

QByteArray Console::acknowledgement(const QByteArray& raw, Outcome outcome) {
    if (outcome == Outcome::Empty) return {};
    const QByteArray line = normalised(raw).toLocal8Bit();
    return (outcome == Outcome::Unknown ? QByteArrayLiteral("unknown: ") : QByteArrayLiteral("ok: ")) + line;
}

}  // namespace tarsyn::sim
