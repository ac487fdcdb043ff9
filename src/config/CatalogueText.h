#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QVector>
#include <optional>

#include "config/Config.h"

namespace tarsyn::config {

/// One language's catalogue (`<language>.lag`): its [Messages] and its [Translations], read once.
struct Catalogue {
    QString language;
    IniSection messages;
    IniSection translations;
    /// The catalogue of `language`; a missing file gives empty sections (every text then falls back).
    static Catalogue load(const Config& config, const QString& language);
};

/// A text kept as what it says rather than in one language: a message key of the catalogues and its
/// arguments, each a literal (a number, a value as entered), a control's caption from [Translations],
/// another message, a nested text, or a list of texts. Stored as compact JSON
/// ({"k":"awlow","a":[{"t":"lbl11.Caption","d":"pnl11"},"23","22.8"]}) and said in any language later:
/// an event recorded in a Chinese session reads in English in an English window and the other way round.
class CatalogueText {
public:
    CatalogueText() = default;
    /// A text of message `key` ("%1 = %2"); with an empty key the arguments are joined by blanks.
    explicit CatalogueText(const QString& key) : m_key(key) {}

    /// An argument said as it is: a value, a number, a name.
    CatalogueText& arg(const QString& literal);
    /// The caption of control `translationKey` ("lblzs9.Caption") without a trailing colon;
    /// `fallback` where the catalogue has none.
    CatalogueText& caption(const QString& translationKey, const QString& fallback);
    /// The text of message `key` ("jdon"): a word of the catalogue.
    CatalogueText& word(const QString& key);
    /// A nested text.
    CatalogueText& text(const CatalogueText& nested);
    /// Texts said one after the other, separated by "; ".
    CatalogueText& list(const QVector<CatalogueText>& texts);

    bool isNull() const { return m_key.isEmpty() && m_args.isEmpty(); }
    QString key() const { return m_key; }

    /// {"k": key, "a": arguments} with the members of `extra` added.
    QJsonObject toJson(const QJsonObject& extra = {}) const;
    /// Compact JSON text of toJson().
    QString toJsonText(const QJsonObject& extra = {}) const;
    /// The text of a toJson() object; nullopt for anything else.
    static std::optional<CatalogueText> fromJson(const QJsonObject& object);
    /// The text of compact JSON; nullopt for an empty, unparsable or foreign text.
    static std::optional<CatalogueText> fromJsonText(const QString& json, QJsonObject* whole = nullptr);

    /// Said in `catalogue`'s language; a null text when a message it needs is missing there (the
    /// caller then shows what it has instead).
    QString render(const Catalogue& catalogue) const;

private:
    QString m_key;
    QJsonArray m_args;
};

}  // namespace tarsyn::config
