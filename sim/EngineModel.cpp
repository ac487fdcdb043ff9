#include "EngineModel.h"

#include <QDateTime>
#include <cmath>
#include <utility>

namespace tarsyn::sim {

namespace {

constexpr double kAmbientC = 25.0;
constexpr double kHotC = 82.0;
constexpr double kWarmTauMs = 120000.0;  // the water warms and cools with a two-minute time constant
constexpr double kCrankRpm = 250.0;
constexpr quint32 kBaseHoursTenths = 123456;  // 12345.6 h on the meter when the model starts

// Live addresses of the ten calibrated channels, in the order of their words from 0x0094.
constexpr int kCalibratedField[10] = {0x001E, 0x0020, 0x0022, 0x0024, 0x0026,
                                      0x0028, 0x0030, 0x0006, 0x0008, 0x000A};

quint64 splitmix(quint64 x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

quint16 clampWord(double v) { return quint16(qBound(0.0, std::round(v), 65535.0)); }

}  // namespace

// The ten calibrated channels before calibration, plus the rest of the live block.
struct EngineModel::Readings {
    double channel[10] = {};  // currents A-C, generator volts A-C, battery (tenths), mains volts A-C
    int mainsHz = 0, waterTemp2 = 0, oilPressure2 = 0, power = 0, powerFactor = 0;
    int waterTemp = 0, oilPressure = 0, oilTemp = 0, genHz = 0, rpm = 0;
    quint32 hours = 0;
    quint8 states = 0, inputs = 0, outputs = 0;
};

EngineModel::EngineModel(ControllerMemory& memory, const link::Clock& clock, quint32 seed)
    : m_memory(memory), m_clock(clock), m_seed(seed), m_originMsSinceEpoch(clock.now().toMSecsSinceEpoch()) {
    m_gain.fill(1.0);
}

qint64 EngineModel::nowMs() const { return m_clock.now().toMSecsSinceEpoch() - m_originMsSinceEpoch; }

void EngineModel::enter(Phase phase, qint64 atMs) {
    if (phase == Phase::Stopping) m_stopFromRpm = rpmAt(atMs);
    m_phase = phase;
    m_phaseStartMs = atMs;
}

void EngineModel::advance(qint64 now) {
    if (now < m_lastMs) now = m_lastMs;  // a clock set back does not run the engine backwards
    for (;;) {
        qint64 end = -1;
        Phase next = m_phase;
        switch (m_phase) {
            case Phase::Cranking:
                end = m_phaseStartMs + kCrankMs;
                next = Phase::RunningUp;
                break;
            case Phase::RunningUp:
                end = m_phaseStartMs + kRunUpMs;
                next = Phase::Running;
                break;
            case Phase::Stopping:
                end = m_phaseStartMs + kStopMs;
                next = Phase::Stopped;
                break;
            default:
                break;
        }
        const bool phaseEnds = end >= 0 && end <= now;
        const qint64 segmentEnd = phaseEnds ? end : now;
        const qint64 dt = segmentEnd - m_lastMs;
        if (turning()) m_runMs += dt;
        const double target = (m_phase == Phase::Running || m_phase == Phase::RunningUp) ? kHotC : kAmbientC;
        m_waterTemp = target + (m_waterTemp - target) * std::exp(-double(dt) / kWarmTauMs);
        m_lastMs = segmentEnd;
        if (!phaseEnds) break;
        enter(next, end);
    }
}

double EngineModel::rpmAt(qint64 now) const {
    const double t = double(now - m_phaseStartMs);
    switch (m_phase) {
        case Phase::Stopped:
            return 0;
        case Phase::Cranking:
            return kCrankRpm * qMin(1.0, t / 300.0);
        case Phase::RunningUp:
            return kCrankRpm + (kRatedRpm - kCrankRpm) * qMin(1.0, t / kRunUpMs);
        case Phase::Running:
            return kRatedRpm;
        case Phase::Stopping:
            return m_stopFromRpm * qMax(0.0, 1.0 - t / kStopMs);
    }
    return 0;
}

bool EngineModel::supplying() const {
    return m_phase == Phase::Running && m_lastMs - m_phaseStartMs >= kWarmUpMs && !m_test && !m_alarm;
}

int EngineModel::jitter(int channel, int amplitude) const {
    if (amplitude <= 0 || m_steady) return 0;
    const quint64 second = quint64(m_lastMs / 1000);
    const quint64 h = splitmix(splitmix(quint64(m_seed) << 32 | quint32(channel)) ^ second);
    return int(h % quint64(2 * amplitude + 1)) - amplitude;
}

void EngineModel::refresh() {
    advance(nowMs());
    Readings r;
    const double rpm = rpmAt(m_lastMs);
    const bool running = m_phase == Phase::Running;
    const bool supply = supplying();
    // A generator gives out voltage once it turns fast enough to excite itself.
    const double genVolts = rpm < 600 ? 0.0 : 230.0 * rpm / kRatedRpm;
    const double minutes = double(m_lastMs) / 60000.0;
    const double load = supply ? 120.0 + 10.0 * std::sin(minutes / 3.0) : 0.0;

    for (int p = 0; p < 3; ++p) {
        r.channel[p] = supply ? load + (p == 1 ? -4 : p == 2 ? 3 : 0) + jitter(p, 2) : 0.0;
        r.channel[3 + p] = genVolts > 0 ? genVolts + (p - 1) + jitter(3 + p, 1) : 0.0;
        r.channel[7 + p] = 230 + (1 - p) + jitter(7 + p, 2);
    }
    const bool cranking = m_phase == Phase::Cranking;
    r.channel[6] = cranking ? 215 + jitter(6, 3) : (running ? 246 : 242) + jitter(6, 1);
    r.mainsHz = 500 + jitter(10, 1);
    r.rpm = int(std::round(rpm)) + (running ? jitter(11, 3) : 0);
    r.genHz = int(std::round(r.rpm / 3.0));  // four poles: 1500 rpm is 50.0 Hz, in tenths
    r.powerFactor = supply ? 85 + jitter(12, 1) : 0;
    double watts = 0;
    for (int p = 0; p < 3; ++p) watts += r.channel[3 + p] * m_gain[3 + p] * r.channel[p] * m_gain[p];
    r.power = int(std::round(watts * r.powerFactor / 100.0 / 100.0));  // tenths of a kW
    r.waterTemp = int(std::round(m_waterTemp)) + jitter(13, 1) * (turning() ? 1 : 0);
    r.waterTemp2 = r.waterTemp - 3;
    r.oilPressure = rpm < 100 ? 0 : int(std::round(350.0 * rpm / kRatedRpm)) + jitter(14, 3);
    r.oilPressure2 = int(std::round(r.oilPressure * 0.95));
    r.oilTemp = int(std::round(60.0 + (m_waterTemp - kAmbientC) / 2.0));
    r.hours = kBaseHoursTenths + quint32(m_runMs / 360000);  // tenths of an hour

    // State bits: 0 reset, 1 automatic, 2 starting, 4 supplying, 5 test.
    if (m_mode == Mode::Reset) r.states |= 0x01;
    if (m_mode == Mode::Automatic) r.states |= 0x02;
    if (m_phase == Phase::Cranking || m_phase == Phase::RunningUp) r.states |= 0x04;
    if (supply) r.states |= 0x10;
    if (m_test) r.states |= 0x20;
    // Input bit 7: the emergency stop button is held.
    if (m_alarm) r.inputs |= 0x80;
    // Output bits: 7 crank, 6 fuel, 5 fault, 4 pre-supply, 3 mains breaker, 2 generator breaker,
    // 1 speed up, 0 speed down.
    if (cranking) r.outputs |= 0x80 | 0x10;
    if (m_phase == Phase::Cranking || m_phase == Phase::RunningUp || running) r.outputs |= 0x40;
    if (m_alarm) r.outputs |= 0x20;
    r.outputs |= supply ? 0x04 : 0x08;
    if (m_phase == Phase::RunningUp) r.outputs |= 0x02;
    if (m_phase == Phase::Stopping) r.outputs |= 0x01;
    write(r);
}

void EngineModel::write(const Readings& r) {
    for (int c = 0; c < 10; ++c) m_memory.setWord(kCalibratedField[c], clampWord(r.channel[c] * m_gain[c]));
    m_memory.setWord(0x000C, clampWord(r.mainsHz));
    m_memory.setWord(0x000E, 0);
    m_memory.setWord(0x0010, clampWord(r.waterTemp2));
    m_memory.setWord(0x0012, clampWord(r.oilPressure2));
    m_memory.setWord(0x0014, clampWord(r.power));
    m_memory.setValue24(0x0016, r.hours & 0xFFFFFF);
    m_memory.setByte(0x0019, quint8(r.powerFactor));
    m_memory.setByte(addr::kAlarmBits, m_alarm ? kAlarmBits : 0);
    m_memory.setByte(addr::kStateBits, r.states);
    m_memory.setByte(addr::kInputBits, r.inputs);
    m_memory.setByte(addr::kOutputBits, r.outputs);
    m_memory.setWord(0x002A, clampWord(r.waterTemp));
    m_memory.setWord(0x002C, clampWord(r.oilPressure));
    m_memory.setWord(0x002E, clampWord(r.oilTemp));
    m_memory.setWord(0x0032, clampWord(r.genHz));
    m_memory.setWord(0x0034, clampWord(r.rpm));
    // The controller works with the delays as set; the block the main window polls shows them.
    m_memory.setBytes(addr::kActiveDelays, m_memory.bytes(addr::kDelaySettings, addr::kDelayCount));
}

void EngineModel::automatic() {
    advance(nowMs());
    m_mode = Mode::Automatic;
    m_test = false;
}

void EngineModel::start() {
    advance(nowMs());
    if (m_alarm) return;  // the emergency stop holds the engine
    m_mode = Mode::Manual;
    m_test = false;
    if (m_phase == Phase::Stopped || m_phase == Phase::Stopping) enter(Phase::Cranking, m_lastMs);
}

void EngineModel::resetStop() {
    advance(nowMs());
    m_mode = Mode::Reset;
    m_test = false;
    if (m_phase != Phase::Stopped && m_phase != Phase::Stopping) enter(Phase::Stopping, m_lastMs);
}

void EngineModel::test() {
    advance(nowMs());
    if (m_alarm) return;
    m_test = true;
    if (m_phase == Phase::Stopped || m_phase == Phase::Stopping) enter(Phase::Cranking, m_lastMs);
}

void EngineModel::restoreFactorySettings() {
    m_memory.restoreFactoryConfiguration();
    m_gain.fill(1.0);
}

void EngineModel::setAlarm(bool on, bool log) {
    advance(nowMs());
    if (on && !m_alarm) {
        if (turning() && m_phase != Phase::Stopping) enter(Phase::Stopping, m_lastMs);
        if (log) m_memory.appendAlarm(kEmergencyStopCode, m_clock.now());
    }
    m_alarm = on;
}

void EngineModel::calibrate(int address, quint16 trueValue) {
    const int index = (address - addr::kCalibration) / 2;
    if (address < addr::kCalibration || index >= 10 || (address - addr::kCalibration) % 2 != 0) return;
    // What the channel reads now without its jitter, before any earlier calibration: the readings
    // that follow centre on the true value (and equal it when steady).
    const bool steady = std::exchange(m_steady, true);
    refresh();
    m_steady = steady;
    const double raw = m_memory.word(kCalibratedField[index]) / m_gain[index];
    if (raw >= 1.0) m_gain[index] = trueValue / raw;  // a channel that reads nothing has no scale to set
}

void EngineModel::startRunning() {
    advance(nowMs());
    m_mode = Mode::Manual;
    m_test = false;
    m_alarm = false;
    m_phase = Phase::Running;
    m_phaseStartMs = m_lastMs - kWarmUpMs;
    m_waterTemp = kHotC;
}

}  // namespace tarsyn::sim
