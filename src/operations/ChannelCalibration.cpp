#include "operations/ChannelCalibration.h"

#include <exception>

#include "config/LiveSettings.h"
#include "config/Prompter.h"
#include "link/Codec.h"
#include "link/ReplyCheck.h"
#include "monitor/CommandGate.h"
#include "monitor/PollControl.h"

namespace tarsyn::operations {

namespace {

// A word write's reply is its echo; the link reads it whole and checks it against the request.
constexpr int kCalibrationReplyLength = 4;
constexpr quint32 kFieldMax = 0xFFFF;

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

/// The digits without their leading zeros; empty for zero.
QString significant(const QString& digits) {
    int i = 0;
    while (i < digits.size() && digits.at(i) == QLatin1Char('0')) ++i;
    return digits.mid(i);
}

/// The entry for a magnitude spelled by `integerDigits` (any number of them), negative or not.
CalibrationEntry fromDigits(const QString& integerDigits, bool negative) {
    const QString digits = significant(integerDigits);
    CalibrationEntry e;
    if (digits.isEmpty()) {  // zero, "-0" included, is sent
        e.kind = CalibrationEntry::Kind::Value;
        return e;
    }
    if (negative) {
        e.kind = CalibrationEntry::Kind::Negative;
        return e;
    }
    if (digits.size() > 5 || digits.toUInt() > kFieldMax) {
        e.kind = CalibrationEntry::Kind::TooLarge;
        return e;
    }
    e.kind = CalibrationEntry::Kind::Value;
    e.value = quint16(digits.toUInt());
    return e;
}

/// "+"/"-" then the rest; false when nothing follows the sign.
bool takeSign(QString& t, bool& negative) {
    negative = false;
    if (t.startsWith(QLatin1Char('+')) || t.startsWith(QLatin1Char('-'))) {
        negative = t.at(0) == QLatin1Char('-');
        t.remove(0, 1);
    }
    return !t.isEmpty();
}

CalibrationEntry parseWhole(QString t) {
    bool negative = false;
    if (!takeSign(t, negative)) return {};
    for (QChar c : t)
        if (!isAsciiDigit(c)) return {};
    return fromDigits(t, negative);
}

CalibrationEntry parseTenths(QString t, const QLocale& locale) {
    bool negative = false;
    if (!takeSign(t, negative)) return {};
    const QString localPoint = locale.decimalPoint();
    QString digits;  // every mantissa digit, the point left out
    int point = -1;  // digits before the point
    int i = 0;
    for (; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (isAsciiDigit(c)) {
            digits += c;
        } else if (point < 0 && (c == QLatin1Char('.') || QString(c) == localPoint)) {
            point = int(digits.size());
        } else {
            break;
        }
    }
    if (digits.isEmpty()) return {};
    if (point < 0) point = int(digits.size());
    qint64 exponent = 0;
    if (i < t.size()) {
        if (t.at(i) != QLatin1Char('e') && t.at(i) != QLatin1Char('E')) return {};
        QString rest = t.mid(i + 1);
        bool negativeExponent = false;
        if (!takeSign(rest, negativeExponent)) return {};
        for (QChar c : rest)
            if (!isAsciiDigit(c)) return {};
        // Anything past a few hundred places is all zeros or far beyond the field either way.
        exponent = qMin<qint64>(significant(rest).size() > 4 ? 9999 : rest.toLongLong(), 9999);
        if (negativeExponent) exponent = -exponent;
    }
    if (significant(digits).isEmpty()) return fromDigits(QString(), negative);

    // Tenths: the point moves one place further right.
    const qint64 shift = point + exponent + 1;
    if (shift > 64) return fromDigits(QStringLiteral("99999999"), negative);  // huge, non-zero
    QString whole, fraction;
    if (shift <= 0) {
        fraction = QString(int(-shift), QLatin1Char('0')) + digits;
    } else if (shift >= digits.size()) {
        whole = digits + QString(int(shift - digits.size()), QLatin1Char('0'));
    } else {
        whole = digits.left(int(shift));
        fraction = digits.mid(int(shift));
    }
    // Round to the nearest tenth, a half to the even one.
    bool up = false;
    if (!fraction.isEmpty()) {
        const QChar first = fraction.at(0);
        const bool restZero = significant(fraction.mid(1)).isEmpty();
        if (first > QLatin1Char('5') || (first == QLatin1Char('5') && !restZero)) {
            up = true;
        } else if (first == QLatin1Char('5')) {
            const QChar last = whole.isEmpty() ? QLatin1Char('0') : whole.back();
            up = (last.digitValue() % 2) == 1;
        }
    }
    whole = significant(whole);
    if (whole.size() > 6) return fromDigits(whole, negative);  // far beyond the field
    quint32 magnitude = whole.isEmpty() ? 0 : whole.toUInt();
    if (up) ++magnitude;
    return fromDigits(QString::number(magnitude), negative);
}

}  // namespace

// Buttons in the order of the readings group; the words in the controller's order.
const std::array<CalibrationChannel, 10> kCalibrationChannels = {{
    {11, "pnl11", "0007009A", false, "V"},  // generator voltage, phase A
    {12, "pnl12", "0007009C", false, "V"},  // generator voltage, phase B
    {13, "pnl13", "0007009E", false, "V"},  // generator voltage, phase C
    {14, "pnl14", "00070094", false, "A"},  // current, phase A
    {15, "pnl15", "00070096", false, "A"},  // current, phase B
    {16, "pnl16", "00070098", false, "A"},  // current, phase C
    {17, "pnl17", "000700A0", true, "V"},   // battery voltage, tenths of a volt
    {18, "pnl34", "000700A2", false, "V"},  // mains voltage, phase A
    {19, "pnl35", "000700A4", false, "V"},  // mains voltage, phase B
    {20, "pnl36", "000700A6", false, "V"},  // mains voltage, phase C
}};

const CalibrationChannel* FindCalibrationChannel(int button) {
    for (const CalibrationChannel& c : kCalibrationChannels)
        if (c.button == button) return &c;
    return nullptr;
}

CalibrationEntry ParseCalibrationEntry(const QString& text, bool tenths, const QLocale& locale) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return {};
    return tenths ? parseTenths(t, locale) : parseWhole(t);
}

QString ChannelName(const OperationServices& services, const CalibrationChannel& channel) {
    // The reading's label carries the panel's number: `pnl34` is labelled `lbl34`.
    const QString panel = QLatin1String(channel.panel);
    const QString key = QStringLiteral("lbl") + panel.mid(3) + QStringLiteral(".Caption");
    const QString name = services.caption ? services.caption(key) : QString();
    return name.isEmpty() || name == QLatin1String("0") ? panel : name;
}

void ChannelCalibration::CalibrateChannel(const CalibrationChannel& channel) {
    OperationServices& s = m_services;
    if (!s.gate.pass(monitor::GateRule::NeedsLink)) return;
    // From the question to the last reply the line is the operator's.
    monitor::LineActivityScope calibrating(s.poll.activity(), monitor::LineActivity::Kind::Calibration);
    const QString name = ChannelName(s, channel);
    const QString largest = channel.tenths ? QStringLiteral("6553.5") : QStringLiteral("65535");
    QString text;
    const QString prompt =
        s.messages.text(QLatin1String(kPromptKey)).arg(name, QLatin1String(channel.unit), largest);
    if (!s.prompter.input(s.messages.text(QStringLiteral("dl3")), prompt, text)) return;  // Cancel
    const CalibrationEntry entry = ParseCalibrationEntry(text, channel.tenths, m_locale);
    switch (entry.kind) {
        case CalibrationEntry::Kind::NotANumber:
            s.prompter.error(s.messages.text(QLatin1String(kNotANumberKey)).arg(name, largest));
            return;
        case CalibrationEntry::Kind::Negative:
            s.prompter.error(s.messages.text(QLatin1String(kNegativeKey)).arg(name, largest));
            return;
        case CalibrationEntry::Kind::TooLarge:
            // A fifth hexadecimal digit would lengthen the word write past its field: never sent.
            s.prompter.error(
                s.messages.text(QLatin1String(channel.tenths ? kTooLargeTenthsKey : kTooLargeKey)));
            return;
        case CalibrationEntry::Kind::Value:
            break;
    }
    const QString request = QLatin1String(channel.prefix) + link::ToHex(entry.value, 4);
    link::ReplyVerdict verdict = link::ReplyVerdict::NoReply;
    try {
        verdict = PausedTransaction(s, request, kCalibrationReplyLength);
    } catch (const std::exception&) {
        // Polling has resumed; the word may or may not have reached the controller.
        s.prompter.error(s.messages.text(QLatin1String(kNoAnswerKey)).arg(name));
        return;
    }
    if (s.sent) s.sent(QStringLiteral("btn%1").arg(channel.button), text.trimmed(), request);
    // Silence is what an unacknowledged write may get, but an echo that fails its check is a line
    // fault: whether the controller took the value is unknown, so the exchange counts as unanswered.
    if (verdict != link::ReplyVerdict::Ok && verdict != link::ReplyVerdict::NoReply) {
        s.prompter.error(s.messages.text(QLatin1String(kNoAnswerKey)).arg(name));
        return;
    }
    // Silence: the word went out, but only an echo would say the controller heard it.
    if (verdict == link::ReplyVerdict::NoReply) {
        s.prompter.error(s.messages.text(QLatin1String(kUnconfirmedKey)).arg(name));
        return;
    }
    s.prompter.information(s.messages.text(QStringLiteral("dl6")));
}

}  // namespace tarsyn::operations
