#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QtGlobal>

namespace tarsyn::sim {

/// Addresses of the controller's memory map (addresses count bytes).
namespace addr {
constexpr int kSize = 1024;
constexpr int kLive = 0x0006;  // 48 bytes of readings and bit fields, refreshed by the engine model
constexpr int kLiveCount = 48;
constexpr int kAlarmBits = 0x001A;
constexpr int kStateBits = 0x001B;
constexpr int kInputBits = 0x001C;
constexpr int kOutputBits = 0x001D;
constexpr int kActiveDelays = 0x0036;  // 22 bytes: the delays in force, a copy of the delay settings
constexpr int kDelayCount = 22;
constexpr int kDelaySettings = 0x004C;  // 22 bytes the delay page edits
constexpr int kConfigStart = 0x004C;    // delays, alarm limits, system parameters, control bits
constexpr int kConfigEnd = 0x0088;      // one past the speed-down lower limit at 0x0086
constexpr int kCalibration = 0x0094;    // ten words: currents, generator volts, battery, mains volts
constexpr int kCalibrationCount = 20;
constexpr int kSms = 0x0150;  // station name (16 bytes) and five phone numbers (6 bytes each)
constexpr int kSmsCount = 46;
constexpr int kCurves = 0x0180;  // three curves of eight (hundredths of a volt, value) points
constexpr int kCurvesCount = 96;
constexpr int kAlarmLog = 0x0200;  // record count, one spare byte, then 7-byte records
constexpr int kAlarmRecords = 0x0202;
constexpr int kAlarmRecordSize = 7;
// The log is read-only and runs on past the 1024 bytes: its count byte allows 255 records, read
// in pages of six, so the memory answers up to the end of the 43rd page (0x0910).
constexpr int kAlarmLogCapacity = 255;
constexpr int kAlarmLogEnd = kAlarmRecords + (kAlarmLogCapacity + 5) / 6 * 6 * kAlarmRecordSize;
}  // namespace addr

/// The controller's 1024 bytes, with the factory contents every page reads.
/// Multi-byte values are stored most significant byte first.
class ControllerMemory {
public:
    ControllerMemory();

    static bool inRange(int address, int count) {
        return address >= 0 && count >= 0 && address + count <= addr::kSize;
    }
    /// Reads may go on into the alarm log's records up to its 255th.
    static bool readable(int address, int count) {
        return address >= 0 && count >= 0 && address + count <= addr::kAlarmLogEnd;
    }

    quint8 byte(int address) const { return quint8(m_bytes.at(address)); }
    void setByte(int address, quint8 value) { m_bytes[address] = char(value); }
    quint16 word(int address) const { return quint16(byte(address) << 8 | byte(address + 1)); }
    void setWord(int address, quint16 value);
    quint32 value24(int address) const;
    void setValue24(int address, quint32 value);
    /// `count` bytes from `address`; the caller checks inRange first.
    QByteArray bytes(int address, int count) const { return m_bytes.mid(address, count); }
    void setBytes(int address, const QByteArray& data);

    /// Restores every configuration block (delays, limits, system parameters, control bits,
    /// calibration, SMS settings, sensor curves) as it left the factory; the alarm log is kept.
    void restoreFactoryConfiguration();
    /// The factory configuration plus an alarm log of 13 records, so that paging has three pages.
    void loadFactoryImage();

    int alarmCount() const { return byte(addr::kAlarmLog); }
    /// Appends a record (code and time as two-digit decimal fields, e.g. 09 12 31 23 59 58);
    /// a full log drops its oldest record.
    void appendAlarm(quint8 code, const QDateTime& when);

private:
    QByteArray m_bytes;
};

/// A number written so that its hexadecimal digits read as the decimal value (59 becomes 0x59),
/// the way the controller stores dates and times in its alarm log.
quint8 toBcd(int value);

}  // namespace tarsyn::sim
