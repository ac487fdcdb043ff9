#pragma once

#include <QtGlobal>
#include <array>

#include "ControllerMemory.h"
#include "link/Clock.h"

namespace tarsyn::sim {

/// The generator set behind the controller: engine phases, operating mode and alarm, and the live
/// readings they produce. refresh() writes the live block (0x0006-0x0035) and the delays in force
/// (0x0036-0x004B) for the clock's "now"; the readings jitter by a few units, deterministically for
/// a given seed and clock, so tests can check them.
class EngineModel {
public:
    enum class Phase { Stopped, Cranking, RunningUp, Running, Stopping };
    enum class Mode { Manual, Automatic, Reset };

    /// Starter on, then the run-up to 1500 rpm, then warm-up before taking the load; the stop ramp.
    static constexpr qint64 kCrankMs = 1000;
    static constexpr qint64 kRunUpMs = 3000;
    static constexpr qint64 kWarmUpMs = 1000;
    static constexpr qint64 kStopMs = 3000;
    static constexpr int kRatedRpm = 1500;
    /// Emergency stop (alarm bit 7) and the voltage/frequency fault (bit 0): shown red.
    static constexpr quint8 kAlarmBits = 0x81;
    /// Code of the alarm log record an emergency stop adds.
    static constexpr quint8 kEmergencyStopCode = 0x08;

    EngineModel(ControllerMemory& memory, const link::Clock& clock, quint32 seed = 1);

    /// Moves the engine on to the clock's time and writes the live block and the delays in force.
    void refresh();

    // Operating commands (function 05). Start and test are refused while the emergency stop is held.
    void automatic();
    void start();
    void resetStop();
    void test();
    /// Factory settings: the configuration blocks and the calibration are restored.
    void restoreFactorySettings();

    /// Raises or clears the emergency stop; raising it stops a turning engine and, when `log` is
    /// set, adds a record to the alarm log.
    void setAlarm(bool on, bool log);
    bool alarm() const { return m_alarm; }

    /// A calibration word was written: the channel's reading becomes `trueValue` from now on.
    void calibrate(int address, quint16 trueValue);

    /// Starts with the engine already running and supplying (for demos).
    void startRunning();
    /// Readings without their jitter, the same every second (demos, exact end-to-end checks).
    void setSteady(bool on) { m_steady = on; }

    Phase phase() const { return m_phase; }
    Mode mode() const { return m_mode; }
    bool testMode() const { return m_test; }
    bool supplying() const;

private:
    struct Readings;
    void advance(qint64 nowMs);
    void enter(Phase phase, qint64 atMs);
    qint64 nowMs() const;
    bool turning() const { return m_phase != Phase::Stopped; }
    double rpmAt(qint64 nowMs) const;
    int jitter(int channel, int amplitude) const;
    void write(const Readings& r);

    ControllerMemory& m_memory;
    const link::Clock& m_clock;
    quint32 m_seed;
    qint64 m_originMsSinceEpoch;

    Phase m_phase = Phase::Stopped;
    Mode m_mode = Mode::Automatic;
    bool m_test = false;
    bool m_alarm = false;
    bool m_steady = false;
    qint64 m_phaseStartMs = 0;
    qint64 m_lastMs = 0;
    double m_stopFromRpm = 0;
    qint64 m_runMs = 0;             // engine turning time since the model started
    double m_waterTemp = 25.0;      // C, relaxes toward 82 while running and 25 while stopped
    std::array<double, 10> m_gain;  // calibration factors, in the order of the calibration words
};

}  // namespace tarsyn::sim
