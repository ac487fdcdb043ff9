#include "monitor/ReadingJson.h"

#include <vector>

namespace tarsyn::monitor {

namespace {

QJsonObject fieldsJson(const std::vector<BlockField>& fields, const FieldValue* values,
                       const CaptionOf& caption) {
    QJsonObject o;
    for (size_t i = 0; i < fields.size(); ++i) {
        const FieldValue& v = values[i];
        if (!v.valid) continue;  // absent, never null: the block was not read
        const BlockField& f = fields[i];
        const QString panel = QLatin1String(f.panel);
        QJsonObject field{{QStringLiteral("value"), v.value},
                          {QStringLiteral("unit"), UnitText(f.unit)},
                          {QStringLiteral("panel"), panel}};
        if (caption) {
            const QString text = caption(panel);
            if (!text.isEmpty()) field.insert(QStringLiteral("caption"), text);
        }
        o.insert(QLatin1String(f.key), field);
    }
    return o;
}

}  // namespace

QString UnitText(const char* unit) {
    return QLatin1String(unit) == QLatin1String("C") ? QStringLiteral("\u00B0C") : QString::fromLatin1(unit);
}

QJsonObject ReadingJson::values(const LiveReading& reading, const CaptionOf& caption) {
    return fieldsJson(LiveValueFields(), reading.values.data(), caption);
}

QJsonObject ReadingJson::delays(const LiveReading& reading, const CaptionOf& caption) {
    return fieldsJson(DelayBlockFields(), reading.delays.data(), caption);
}

QJsonObject ReadingJson::indicators(const LiveReading& reading) {
    QJsonObject o;
    for (const QString& name : IndicatorNames())
        if (const std::optional<bool> on = reading.indicator(name)) o.insert(name, *on);
    return o;
}

}  // namespace tarsyn::monitor
