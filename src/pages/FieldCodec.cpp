#include "pages/FieldCodec.h"

#include <QLocale>
#include <cmath>

#include "config/Config.h"
#include "link/Codec.h"

namespace tarsyn::pages {

namespace {

constexpr int kNameBytes = 16;
constexpr int kNameUnits = 8;
constexpr int kNameChars = 32;
constexpr int kPhoneChars = 12;

quint32 widthRaw(const Field& f) { return f.kind == FieldKind::Byte ? 0xFFu : 0xFFFFu; }
quint32 maxRaw(const Field& f) { return f.high >= 0 ? qMin(quint32(f.high), widthRaw(f)) : widthRaw(f); }
quint32 minRaw(const Field& f) { return quint32(qMax(0, f.low)); }

QLocale userLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

/// Only digits (and, for a decimal, its point): the number conversions would also take a sign
/// ("+5"), an exponent ("5e0") or stop at a null character ("5\0"), none of which a page field holds.
bool plainNumber(const QString& text, bool decimal) {
    if (text.isEmpty()) return false;
    const QString point = userLocale().decimalPoint();
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) continue;
        if (decimal && (c == QLatin1Char('.') || point == QString(c))) continue;
        if (c == QLatin1Char('-')) continue;  // a negative number is refused by its range
        return false;
    }
    return true;
}

bool parseWhole(const QString& text, qint64& value) {
    bool ok = false;
    const QString t = text.trimmed();
    if (!plainNumber(t, false)) return false;
    value = t.toLongLong(&ok, 10);
    return ok;
}

bool parseDecimal(const QString& text, double& value) {
    const QString t = text.trimmed();
    if (!plainNumber(t, true)) return false;
    bool ok = false;
    value = userLocale().toDouble(t, &ok);
    if (!ok) value = QLocale::c().toDouble(t, &ok);  // a value typed with a point still reads
    return ok && std::isfinite(value);
}

}  // namespace

Refusal FieldCodec::check(const Field& field, const QString& text, quint32* value) const {
    switch (field.kind) {
        case FieldKind::Byte:
        case FieldKind::Word: {
            qint64 v = 0;
            if (!parseWhole(text, v) || v < qint64(minRaw(field)) || v > qint64(maxRaw(field)))
                return Refusal::Range;
            if (value) *value = quint32(v);
            return Refusal::None;
        }
        case FieldKind::Hundredths:
        case FieldKind::Tenths: {
            double v = 0;
            if (!parseDecimal(text, v) || v < 0) return Refusal::Range;
            // 1.234 is stored as 123 in hundredths, 22.46 as 225 in tenths
            const double raw = std::round(v * (field.kind == FieldKind::Tenths ? 10.0 : 100.0));
            if (raw < double(minRaw(field)) || raw > double(maxRaw(field))) return Refusal::Range;
            if (value) *value = quint32(raw);
            return Refusal::None;
        }
        case FieldKind::Phone: {
            // Each character travels as one hexadecimal digit: anything but a digit would shift the
            // controller's idea of every later field, and "F" would end the number early.
            if (text.size() > kPhoneChars) return Refusal::Phone;
            for (QChar c : text)
                if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Refusal::Phone;
            return Refusal::None;
        }
        case FieldKind::StationName:
            // A name is never cut on its way out: the operator shortens it.
            if (!m_config.representable(text)) return Refusal::Name;
            return nameLength(text) > nameLimit() ? Refusal::NameTooLong : Refusal::None;
        case FieldKind::Bit:
            return Refusal::None;
    }
    return Refusal::None;
}

QString FieldCodec::encode(const Field& field, const QString& text) const {
    switch (field.kind) {
        case FieldKind::Byte:
        case FieldKind::Word:
        case FieldKind::Hundredths:
        case FieldKind::Tenths: {
            quint32 value = 0;
            check(field, text, &value);
            return link::ToHex(value, field.width());
        }
        case FieldKind::Phone:
            return text.left(kPhoneChars).leftJustified(kPhoneChars, QLatin1Char('F'));
        case FieldKind::StationName:
            return encodeName(text);
        case FieldKind::Bit:
            return QString();
    }
    return QString();
}

int FieldCodec::nameLength(const QString& text) const {
    return chinese() ? int(text.size()) : int(m_config.toAnsi(text).size());
}

int FieldCodec::nameLimit() const { return chinese() ? kNameUnits : kNameBytes; }

QString FieldCodec::encodeName(const QString& text) const {
    QString hex;
    if (chinese()) {
        // Eight UTF-16 units; a surrogate pair is never cut in two.
        int units = qMin(int(text.size()), kNameUnits);
        if (units > 0 && units < text.size() && text.at(units - 1).isHighSurrogate()) --units;
        for (int i = 0; i < units; ++i) hex += link::ToHex(text.at(i).unicode(), 4);
    } else {
        // Sixteen bytes of the code page, cut between characters, never through a double-byte one.
        QByteArray bytes;
        for (int i = 0; i < text.size(); ++i) {
            const int n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
            const QByteArray one = m_config.toAnsi(text.mid(i, n));
            if (bytes.size() + one.size() > kNameBytes) break;
            bytes += one;
            i += n - 1;
        }
        hex = QString::fromLatin1(bytes.toHex().toUpper());
    }
    return hex.left(kNameChars).leftJustified(kNameChars, QLatin1Char('0'));
}

QString FieldCodec::decode(const Field& field, const QString& reply, int position) const {
    switch (field.kind) {
        case FieldKind::Byte:
        case FieldKind::Word:
            return QString::number(link::HexField(reply, position, field.width()));
        case FieldKind::Hundredths:
        case FieldKind::Tenths:
            return valueText(field, link::HexField(reply, position, field.width()));
        case FieldKind::Phone: {
            const QString digits = reply.mid(position - 1, kPhoneChars);
            const int end = int(digits.indexOf(QLatin1Char('F')));
            return end >= 0 ? digits.left(end) : digits;  // twelve "F" are no number
        }
        case FieldKind::StationName:
            return decodeName(reply.mid(position - 1, kNameChars));
        case FieldKind::Bit:
            return QString();
    }
    return QString();
}

QString FieldCodec::decodeName(const QString& hex) const {
    // A zero adds nothing, so the zero fill vanishes.
    if (chinese()) {
        QString name;
        for (int i = 0; i < kNameUnits; ++i) {
            const QString group = hex.mid(4 * i, 4);
            if (group.size() < 4) break;  // a short reply gives a shorter name
            const quint32 unit = link::ParseHex(group);
            if (unit != 0) name += QChar(char16_t(unit));
        }
        return name;
    }
    QByteArray bytes;
    for (int i = 0; i < kNameBytes; ++i) {
        const quint32 b = link::HexField(hex, 2 * i + 1, 2);  // a missing pair is a conversion error
        if (b != 0) bytes += char(b);
    }
    return m_config.fromAnsi(bytes);
}

QString FieldCodec::rangeLow(const Field& field) { return valueText(field, minRaw(field)); }

QString FieldCodec::rangeHigh(const Field& field) { return valueText(field, maxRaw(field)); }

QString FieldCodec::hundredthsText(quint32 raw) { return userLocale().toString(raw / 100.0, 'f', 2); }

QString FieldCodec::valueText(const Field& field, quint32 raw) {
    if (field.kind == FieldKind::Hundredths) return hundredthsText(raw);
    if (field.kind == FieldKind::Tenths) return userLocale().toString(raw / 10.0, 'f', 1);
    return QString::number(raw);
}

QString FieldCodec::fileText(const Field& field, const QString& text) const {
    quint32 raw = 0;
    if (field.kind == FieldKind::Tenths && check(field, text, &raw) == Refusal::None)
        return QString::number(raw);
    return text;
}

QString FieldCodec::fromFileText(const Field& field, const QString& text) {
    qint64 raw = 0;
    if (field.kind == FieldKind::Tenths && parseWhole(text, raw) && raw >= 0 && raw <= qint64(maxRaw(field)))
        return valueText(field, quint32(raw));
    return text;
}

}  // namespace tarsyn::pages
