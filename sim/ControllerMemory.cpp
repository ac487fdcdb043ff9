#include "ControllerMemory.h"

#include <QDate>
#include <QTime>

namespace tarsyn::sim {

namespace {

// Delay settings in seconds, in address order from 0x004C: cool-down stop, start delay, start
// interval, cranking, bypass detection, fuel cut-off, pre-supply, idle start, idle stop, speed-up,
// low oil pressure, high water temperature, generator voltage, oil temperature/level, speed signal
// loss, low battery, changeover, generator frequency, overspeed, overload, warm-up, speed-down.
constexpr quint8 kFactoryDelays[addr::kDelayCount] = {60, 5, 10, 8, 10, 15, 3, 10, 10, 5,  2,
                                                      5,  5, 5,  5, 30, 10, 5, 1,  10, 30, 5};

struct WordValue {
    int address;
    quint16 value;
};

// Alarm limits (0x0062-0x0075, 0x0084-0x0087), trip speed, CT ratio and calibration references.
constexpr WordValue kFactoryWords[] = {
    {0x0062, 264},   // generator voltage upper limit, V
    {0x0064, 196},   // generator voltage lower limit, V
    {0x0066, 200},   // generator current upper limit, A
    {0x0068, 98},    // water temperature upper limit, C
    {0x006A, 100},   // oil pressure lower limit, kPa
    {0x006C, 120},   // oil temperature upper / oil level lower limit
    {0x006E, 220},   // battery voltage lower limit, tenths of a volt
    {0x0070, 550},   // generator frequency upper limit, tenths of a hertz
    {0x0072, 450},   // generator frequency lower limit
    {0x0074, 1725},  // speed upper limit, rpm
    {0x0076, 1800},  // trip speed, rpm
    {0x007A, 200},   // current-transformer ratio (200/5)
    {0x0084, 1530},  // speed-up upper limit, rpm
    {0x0086, 1470},  // speed-down lower limit, rpm
    // Calibration references: the true value each channel was last calibrated to.
    {0x0094, 100},
    {0x0096, 100},
    {0x0098, 100},  // currents A, B, C
    {0x009A, 230},
    {0x009C, 230},
    {0x009E, 230},  // generator voltages A, B, C
    {0x00A0, 240},  // battery, tenths of a volt
    {0x00A2, 230},
    {0x00A4, 230},
    {0x00A6, 230},  // mains voltages A, B, C
};

struct ByteValue {
    int address;
    quint8 value;
};

constexpr ByteValue kFactoryBytes[] = {
    {0x0078, 1},     // device address
    {0x0079, 3},     // start attempts
    {0x007C, 118},   // flywheel teeth
    {0x007D, 100},   // water temperature adjustment
    {0x007E, 100},   // oil pressure adjustment
    {0x007F, 100},   // oil temperature / level adjustment
    {0x0080, 0x0C},  // control bits: water temperature and oil pressure by sensor
    {0x0081, 0x0A},  // control bits: automatic display switching, backlight always on
    {0x0082, 1},     // measurement setting
};

// Sensor curves: eight (hundredths of a volt, value) points each.
constexpr quint16 kFactoryCurves[3][8][2] = {
    // water temperature, C: an NTC sender, hotter at lower voltage
    {{50, 120}, {80, 100}, {120, 85}, {170, 70}, {230, 55}, {290, 40}, {350, 25}, {420, 10}},
    // oil pressure, kPa
    {{50, 0}, {100, 100}, {150, 200}, {200, 300}, {250, 400}, {300, 500}, {350, 600}, {400, 700}},
    // monitor (oil temperature / level)
    {{0, 0}, {60, 15}, {120, 30}, {180, 45}, {240, 60}, {300, 75}, {360, 90}, {420, 105}},
};

constexpr char kFactoryStation[] = "GENSET-01";
// Phone numbers as hexadecimal digits, "F" filling the unused places; all F is no number.
constexpr const char* kFactoryPhones[5] = {"13800138000F", "13912345678F", "FFFFFFFFFFFF", "FFFFFFFFFFFF",
                                           "FFFFFFFFFFFF"};

struct LogEntry {
    quint8 code;
    int year, month, day, hour, minute, second;
};

// What a controller in service for a while has seen: mostly mains trouble and a few engine alarms.
constexpr LogEntry kFactoryLog[] = {
    {0x01, 2009, 3, 7, 14, 5, 9},     {0x05, 2009, 6, 21, 3, 41, 17},   {0x03, 2009, 8, 2, 22, 10, 0},
    {0x04, 2009, 11, 15, 7, 30, 45},  {0x05, 2009, 12, 31, 23, 59, 58}, {0x02, 2010, 1, 12, 9, 1, 2},
    {0x08, 2010, 2, 28, 16, 20, 33},  {0x06, 2010, 4, 3, 11, 11, 11},   {0x01, 2010, 5, 19, 18, 45, 5},
    {0x07, 2010, 7, 8, 6, 0, 59},     {0x03, 2010, 9, 30, 13, 27, 40},  {0x09, 2010, 10, 10, 10, 10, 10},
    {0x01, 2010, 12, 24, 20, 15, 30},
};

}  // namespace

quint8 toBcd(int value) {
    const int v = qBound(0, value, 99);
    return quint8((v / 10) << 4 | (v % 10));
}

ControllerMemory::ControllerMemory() : m_bytes(addr::kAlarmLogEnd, '\0') {}

void ControllerMemory::setWord(int address, quint16 value) {
    setByte(address, quint8(value >> 8));
    setByte(address + 1, quint8(value));
}

quint32 ControllerMemory::value24(int address) const {
    return quint32(byte(address)) << 16 | quint32(byte(address + 1)) << 8 | byte(address + 2);
}

void ControllerMemory::setValue24(int address, quint32 value) {
    setByte(address, quint8(value >> 16));
    setByte(address + 1, quint8(value >> 8));
    setByte(address + 2, quint8(value));
}

void ControllerMemory::setBytes(int address, const QByteArray& data) {
    for (int i = 0; i < data.size(); ++i) m_bytes[address + i] = data.at(i);
}

void ControllerMemory::restoreFactoryConfiguration() {
    for (int a = addr::kConfigStart; a < addr::kConfigEnd; ++a) setByte(a, 0);
    for (int i = 0; i < addr::kDelayCount; ++i) {
        setByte(addr::kDelaySettings + i, kFactoryDelays[i]);
        setByte(addr::kActiveDelays + i, kFactoryDelays[i]);
    }
    for (const WordValue& w : kFactoryWords) setWord(w.address, w.value);
    for (const ByteValue& b : kFactoryBytes) setByte(b.address, b.value);

    QByteArray station(kFactoryStation);
    station.resize(16, '\0');
    setBytes(addr::kSms, station);
    for (int p = 0; p < 5; ++p) setBytes(addr::kSms + 16 + 6 * p, QByteArray::fromHex(kFactoryPhones[p]));

    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 8; ++i) {
            const int a = addr::kCurves + 32 * c + 4 * i;
            setWord(a, kFactoryCurves[c][i][0]);
            setWord(a + 2, kFactoryCurves[c][i][1]);
        }
    }
}

void ControllerMemory::loadFactoryImage() {
    m_bytes.fill('\0');
    restoreFactoryConfiguration();
    for (const LogEntry& e : kFactoryLog)
        appendAlarm(e.code, QDateTime(QDate(e.year, e.month, e.day), QTime(e.hour, e.minute, e.second)));
}

void ControllerMemory::appendAlarm(quint8 code, const QDateTime& when) {
    int count = alarmCount();
    if (count >= addr::kAlarmLogCapacity) {
        // Full: the oldest record gives way.
        const int tail = (count - 1) * addr::kAlarmRecordSize;
        setBytes(addr::kAlarmRecords, bytes(addr::kAlarmRecords + addr::kAlarmRecordSize, tail));
        count = addr::kAlarmLogCapacity - 1;
    }
    const QDate d = when.date();
    const QTime t = when.time();
    const int at = addr::kAlarmRecords + count * addr::kAlarmRecordSize;
    const quint8 record[addr::kAlarmRecordSize] = {code,
                                                   toBcd(d.year() % 100),
                                                   toBcd(d.month()),
                                                   toBcd(d.day()),
                                                   toBcd(t.hour()),
                                                   toBcd(t.minute()),
                                                   toBcd(t.second())};
    for (int i = 0; i < addr::kAlarmRecordSize; ++i) setByte(at + i, record[i]);
    setByte(addr::kAlarmLog, quint8(count + 1));
}

}  // namespace tarsyn::sim
