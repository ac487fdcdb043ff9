#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>
#include <array>

#include "operations/PausedExchange.h"

namespace tarsyn::operations {

/// One calibrated analog channel: its "校准" button, the panel showing the reading, and the word
/// write ("00" "07" address value) that tells the controller the channel's true value.
struct CalibrationChannel {
    int button;          ///< `btn11`…`btn20`
    const char* panel;   ///< the reading beside the button
    const char* prefix;  ///< "0007" and the calibration word's address; four value digits follow
    bool tenths;         ///< entered in volts with one decimal, sent in tenths (battery voltage)
    const char* unit;    ///< the unit the main window shows the reading in
};

/// The ten calibration words lie back to back from 0x0094: currents, generator volts, battery,
/// mains volts; the buttons run generator volts, currents, battery, mains volts.
extern const std::array<CalibrationChannel, 10> kCalibrationChannels;

/// The channel of a calibration button by its number (11…20); nullptr when there is none.
const CalibrationChannel* FindCalibrationChannel(int button);

/// How the text typed as a channel's true value reads.
struct CalibrationEntry {
    enum class Kind {
        Value,      ///< fits the 16-bit field: `value` is what is sent
        Negative,   ///< below zero: refused, naming the channel and the range
        TooLarge,   ///< beyond the 16-bit field (above 65535, or 6553.5 V): refused
        NotANumber  ///< empty or not a number: refused, naming the channel and the range
    };
    Kind kind = Kind::NotANumber;
    quint16 value = 0;
};

/// Reads an entry: whole-number channels take a signed decimal integer; the battery voltage takes a
/// decimal number with "." or the locale's decimal separator (an exponent is allowed), times ten,
/// rounded to the nearest integer with halves to even, computed on the decimal digits exactly.
/// Spaces around the text are ignored.
CalibrationEntry ParseCalibrationEntry(const QString& text, bool tenths, const QLocale& locale = QLocale());

/// Message keys of the refusal of an entry beyond the 16-bit field, naming the limit.
inline constexpr const char* kTooLargeKey = "jzsx1";        ///< whole numbers: 65535
inline constexpr const char* kTooLargeTenthsKey = "jzsx2";  ///< battery voltage: 6553.5 V
/// The input box's prompt: "%1" the channel, "%2" its unit, "%3" the largest value.
inline constexpr const char* kPromptKey = "jzts1";
/// The entry is not a number: "%1" the channel, "%2" the largest value. Nothing was sent.
inline constexpr const char* kNotANumberKey = "jzts2";
/// The exchange failed or its echo was garbled: "%1" the channel.
inline constexpr const char* kNoAnswerKey = "jzts3";
/// The word went out and nothing came back: the write carries no acknowledgement of its own, so
/// nothing confirms that the controller took it. "%1" the channel.
inline constexpr const char* kUnconfirmedKey = "jzts4";
/// The entry is below zero: "%1" the channel, "%2" the largest value. Nothing was sent.
inline constexpr const char* kNegativeKey = "jzts5";

/// The channel's name as the main window labels its reading ("lbl11.Caption"), or the panel's
/// name where the catalogue has none.
QString ChannelName(const OperationServices& services, const CalibrationChannel& channel);

/// Calibrates the main window's analog channels.
class ChannelCalibration {
public:
    explicit ChannelCalibration(OperationServices services, QLocale locale = QLocale())
        : m_services(std::move(services)), m_locale(std::move(locale)) {}

    /// The click of a "校准" button: the gate (`dl5`, then `dl4`), the `dl3` input box naming the
    /// channel, its unit and range, then the word write with polling paused and `dl6` once the
    /// controller echoed it. Cancel ends silently; an empty, non-numeric or negative entry is refused
    /// naming the channel and the range, an entry beyond the 16-bit field naming the limit; a
    /// failed exchange says that the controller did not answer, and a write that went out without
    /// an answer says so (`jzts4`): sent, but unconfirmed. Only the exchange pauses polling.
    void CalibrateChannel(const CalibrationChannel& channel);

private:
    OperationServices m_services;
    QLocale m_locale;
};

}  // namespace tarsyn::operations
