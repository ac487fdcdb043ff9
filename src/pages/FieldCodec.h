#pragma once

#include <QString>
#include <functional>

#include "pages/PageTable.h"

namespace tarsyn::config {
class Config;
}

namespace tarsyn::pages {

/// Why a control's text cannot be written.
enum class Refusal {
    None,
    Range,        ///< not a number, negative, or too wide for the field
    Phone,        ///< a character other than a decimal digit, or more than 12 of them
    Name,         ///< a station name the code page cannot hold
    NameTooLong,  ///< a station name over the 16 bytes of the code page (8 UTF-16 units in Chinese)
};

/// Turns controls' texts into the hexadecimal text the controller stores and back, for every field
/// kind. Station names depend on the code page (the Config's) and on the current language: in
/// "Chinese" they travel as UTF-16 units.
class FieldCodec {
public:
    FieldCodec(const config::Config& config, std::function<QString()> language)
        : m_config(config), m_language(std::move(language)) {}

    /// Checks `text` for `field`. For a number field `value` receives its stored value.
    Refusal check(const Field& field, const QString& text, quint32* value = nullptr) const;
    /// The field's stored text, exactly `field.width()` characters; the text must have passed check.
    QString encode(const Field& field, const QString& text) const;
    /// The control text of a field from the reply, from the 1-based `position`. A number field or a
    /// station-name pair that is not hexadecimal raises ConversionError (the controls decoded before
    /// keep their texts).
    QString decode(const Field& field, const QString& reply, int position) const;

    /// The allowed range of a number field as shown in a refusal ("0", "255"; "0.00", "655.35";
    /// "0.0", "6553.5").
    static QString rangeLow(const Field& field);
    static QString rangeHigh(const Field& field);
    /// A hundredths value as the page shows it: two decimals, the user's decimal separator.
    static QString hundredthsText(quint32 raw);
    /// A stored number of a number field as the page shows it (225 in tenths is "22.5").
    static QString valueText(const Field& field, quint32 raw);

    /// The text system.ini keeps for a control's text: the text as typed, except for a tenths field
    /// that passes its check, which keeps the stored number ("22.5" is kept as "225").
    QString fileText(const Field& field, const QString& text) const;
    /// The control's text for a system.ini value (the reverse; a tenths value that is not a whole
    /// number is shown as it is, and a write then refuses it).
    static QString fromFileText(const Field& field, const QString& text);

    bool chinese() const { return m_language() == QLatin1String("Chinese"); }
    /// How much of the controller's 16 bytes a station name takes: bytes of the code page, or UTF-16
    /// units in "Chinese"; and the most there is room for (16, or 8).
    int nameLength(const QString& text) const;
    int nameLimit() const;

private:
    QString encodeName(const QString& text) const;
    QString decodeName(const QString& hex) const;

    const config::Config& m_config;
    std::function<QString()> m_language;
};

}  // namespace tarsyn::pages
