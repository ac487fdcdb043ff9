#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "ControllerMemory.h"
#include "EngineModel.h"
#include "ReplyShaper.h"

namespace tarsyn::sim {

/// The simulator's console: the lines typed on its standard input while it serves the line (alarm
/// on/off, the operating commands, the alarm log and the line faults). The same console drives the
/// simulator in-process in the tests, so a test and an operator at the console do the same thing.
class Console {
public:
    enum class Outcome { Done, Quit, Unknown, Empty };

    Console(ControllerMemory& memory, EngineModel& engine, FaultOptions& faults, ReplyShaper& shaper)
        : m_memory(memory), m_engine(engine), m_faults(faults), m_shaper(shaper) {}

    /// Carries out one console line at the controller's time `now`; `said` gets what the command has
    /// to tell the operator (the line faults now on, a wrong argument), or stays empty.
    Outcome run(const QByteArray& raw, const QDateTime& now, QString* said);

    /// The line on standard output that tells whoever typed `raw` it has taken effect, so that a
    /// script or a test waits for it instead of for a while: "ok: alarm on", "unknown: wobble".
    /// Empty for an empty line (nothing was asked).
    static QByteArray acknowledgement(const QByteArray& raw, Outcome outcome);

    /// The command as the console reads it: trimmed, lower case.
    static QString normalised(const QByteArray& raw);

private:
    ControllerMemory& m_memory;
    EngineModel& m_engine;
    FaultOptions& m_faults;
    ReplyShaper& m_shaper;
};

}  // namespace tarsyn::sim
