#include "config/CatalogueText.h"

#include <QJsonDocument>
#include <QRegularExpression>

namespace tarsyn::config {

namespace {

const QString kKey = QStringLiteral("k");
const QString kArgs = QStringLiteral("a");
const QString kTranslation = QStringLiteral("t");
const QString kDefault = QStringLiteral("d");
const QString kMessage = QStringLiteral("m");

QString renderArg(const QJsonValue& a, const Catalogue& catalogue, bool* ok);

QString renderObject(const QJsonObject& o, const Catalogue& catalogue, bool* ok) {
    if (o.contains(kTranslation)) {
        // A label's caption is "Cooling-down delay:" on its page: in a sentence it names the value.
        static const QRegularExpression kTrailingColon(QStringLiteral("[:：\\s]+$"));
        QString caption = catalogue.translations.value(o.value(kTranslation).toString(), QString());
        caption.remove(kTrailingColon);
        return caption.isEmpty() ? o.value(kDefault).toString() : caption;
    }
    if (o.contains(kMessage)) {
        const QString key = o.value(kMessage).toString();
        if (!catalogue.messages.contains(key)) *ok = false;
        return catalogue.messages.value(key, QString());
    }
    const std::optional<CatalogueText> nested = CatalogueText::fromJson(o);
    if (!nested) {
        *ok = false;
        return {};
    }
    const QString text = nested->render(catalogue);
    if (text.isNull()) *ok = false;
    return text;
}

QString renderArg(const QJsonValue& a, const Catalogue& catalogue, bool* ok) {
    switch (a.type()) {
        case QJsonValue::String:
            return a.toString();
        case QJsonValue::Double:
            return QString::number(a.toDouble());
        case QJsonValue::Object:
            return renderObject(a.toObject(), catalogue, ok);
        case QJsonValue::Array: {
            QStringList parts;
            for (const QJsonValue& v : a.toArray()) parts << renderArg(v, catalogue, ok);
            return parts.join(QStringLiteral("; "));
        }
        default:
            return {};
    }
}

/// "%1".."%99" replaced in one pass: an argument holding "%2" stays as it is.
QString substitute(const QString& pattern, const QStringList& args) {
    QString out;
    out.reserve(pattern.size() + 16 * args.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('%') && i + 1 < pattern.size() && pattern.at(i + 1).isDigit()) {
            qsizetype j = i + 1;
            int n = 0;
            while (j < pattern.size() && pattern.at(j).isDigit() && j < i + 3)
                n = 10 * n + pattern.at(j++).digitValue();
            if (n >= 1 && n <= args.size()) {
                out += args.at(n - 1);
                i = j - 1;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace

Catalogue Catalogue::load(const Config& config, const QString& language) {
    const QString file = language + QStringLiteral(".lag");
    return {language, config.readSection(file, QStringLiteral("Messages")),
            config.readSection(file, QStringLiteral("Translations"))};
}

CatalogueText& CatalogueText::arg(const QString& literal) {
    m_args.append(literal.isNull() ? QStringLiteral("") : literal);
    return *this;
}

CatalogueText& CatalogueText::caption(const QString& translationKey, const QString& fallback) {
    m_args.append(QJsonObject{{kTranslation, translationKey}, {kDefault, fallback}});
    return *this;
}

CatalogueText& CatalogueText::word(const QString& key) {
    m_args.append(QJsonObject{{kMessage, key}});
    return *this;
}

CatalogueText& CatalogueText::text(const CatalogueText& nested) {
    m_args.append(nested.toJson());
    return *this;
}

CatalogueText& CatalogueText::list(const QVector<CatalogueText>& texts) {
    QJsonArray items;
    for (const CatalogueText& t : texts) items.append(t.toJson());
    m_args.append(items);
    return *this;
}

QJsonObject CatalogueText::toJson(const QJsonObject& extra) const {
    QJsonObject o = extra;
    if (!m_key.isEmpty()) o.insert(kKey, m_key);
    o.insert(kArgs, m_args);
    return o;
}

QString CatalogueText::toJsonText(const QJsonObject& extra) const {
    return QString::fromUtf8(QJsonDocument(toJson(extra)).toJson(QJsonDocument::Compact));
}

std::optional<CatalogueText> CatalogueText::fromJson(const QJsonObject& object) {
    const QJsonValue key = object.value(kKey), args = object.value(kArgs);
    if (!args.isArray() || !(key.isString() || key.isUndefined())) return std::nullopt;
    CatalogueText t(key.toString());
    t.m_args = args.toArray();
    return t;
}

std::optional<CatalogueText> CatalogueText::fromJsonText(const QString& json, QJsonObject* whole) {
    if (json.isEmpty()) return std::nullopt;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    if (whole) *whole = doc.object();
    return fromJson(doc.object());
}

QString CatalogueText::render(const Catalogue& catalogue) const {
    bool ok = true;
    QStringList args;
    for (const QJsonValue& a : m_args) args << renderArg(a, catalogue, &ok);
    if (m_key.isEmpty()) return ok ? args.join(QLatin1Char(' ')) : QString();
    if (!ok || !catalogue.messages.contains(m_key)) return {};
    return substitute(catalogue.messages.value(m_key, QString()), args);
}

}  // namespace tarsyn::config
