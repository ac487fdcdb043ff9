#include "config/SettingsLimits.h"

#include <QDir>
#include <limits>

#include "config/Config.h"

namespace tarsyn::config {

std::optional<qint64> WholeNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const qint64 v = text.toLongLong();
    if (v > std::numeric_limits<qint32>::max()) return std::nullopt;
    return v;
}

bool WholeNumberWithin(const QString& text, qint64 min, qint64 max) {
    const auto v = WholeNumber(text);
    return v && *v >= min && *v <= max;
}

QString SettingsRangeProblem(const Config& config) {
    const QString ini = QStringLiteral("system.ini");
    const IniSection set = config.readSection(ini, QStringLiteral("Set"));
    struct Bound {
        const char* key;
        qint64 min, max;
        const char* unit;
    };
    // "ports" first: a huge count would make the program list rows until memory runs out.
    const Bound bounds[] = {{"ports", 0, kMaxPorts, "ports"},
                            {"flash", kMinRefreshSeconds, kMaxRefreshSeconds, "seconds"},
                            {"save1", 0, kMaxHourIntervalSeconds, "seconds"},
                            {"save2", 0, kMaxDayIntervalMinutes, "minutes"}};
    for (const Bound& b : bounds) {
        const QString value = set.value(QString::fromLatin1(b.key));
        if (WholeNumberWithin(value, b.min, b.max)) continue;
        return QStringLiteral(
                   "%1: [Set] %2=%3 is not a whole number from %4 to %5 (%6): put the file back as the "
                   "program saved it, or make a new one with tarsyn --init-config --data-dir \"%7\" --force")
            .arg(QDir::toNativeSeparators(config.filePath(ini)), QString::fromLatin1(b.key), value.left(40),
                 QString::number(b.min), QString::number(b.max), QString::fromLatin1(b.unit),
                 QDir::toNativeSeparators(config.dataDir()));
    }
    return {};
}

}  // namespace tarsyn::config
