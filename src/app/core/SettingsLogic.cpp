#include "app/core/SettingsLogic.h"

#include <limits>

#include "config/Config.h"
#include "config/DataFolder.h"
#include "config/Prompter.h"

namespace tarsyn::app {

namespace {
const QString kIni = QStringLiteral("system.ini");
const QString kSet = QStringLiteral("Set");
constexpr qint64 kMaxValue = std::numeric_limits<qint32>::max();
}  // namespace

IntervalMinimums IntervalMinimums::of(qint64 refreshSeconds, qint64 rows) {
    const qint64 visit = refreshSeconds * rows;
    // visit / 60 rounded to the nearest integer, halves to the even neighbour (30 s gives 0, 150 s gives 2).
    qint64 q = visit / 60;
    const qint64 r = visit % 60;
    if (2 * r > 60 || (2 * r == 60 && (q & 1))) ++q;
    return {visit, q + 1};
}

std::optional<qint64> WholeNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const qint64 v = text.toLongLong();
    if (v > kMaxValue) return std::nullopt;
    return v;
}

SettingsLogic::SettingsLogic(config::Config& config, config::LiveSettings& settings, const config::Messages& messages,
                             config::Prompter& prompter)
    : m_config(config), m_settings(settings), m_messages(messages), m_prompter(prompter) {}

void SettingsLogic::load() { m_settings.load(m_config); }

QStringList SettingsLogic::catalogueList() const { return config::CatalogueNames(m_config.dataDir()); }

void SettingsLogic::setFieldLabels(const QString& refresh, const QString& hourInterval,
                                   const QString& dayInterval) {
    m_refreshLabel = refresh;
    m_hourLabel = hourInterval;
    m_dayLabel = dayInterval;
}

QString SettingsLogic::raisedHourInterval(const QString& save1) const {
    const auto value = WholeNumber(save1);
    const auto refresh = WholeNumber(m_settings.refreshText());
    if (!value || !refresh) return save1;
    const qint64 min = IntervalMinimums::of(*refresh, m_settings.ports().size()).hourSeconds;
    return *value < min ? QString::number(min) : save1;
}

QString SettingsLogic::raisedDayInterval(const QString& save2) const {
    const auto value = WholeNumber(save2);
    const auto refresh = WholeNumber(m_settings.refreshText());
    if (!value || !refresh) return save2;
    const qint64 min = IntervalMinimums::of(*refresh, m_settings.ports().size()).dayMinutes;
    return *value < min ? QString::number(min) : save2;
}

void SettingsLogic::applyHourMinimum() {
    m_settings.setHourIntervalText(raisedHourInterval(m_settings.hourIntervalText()));
}

void SettingsLogic::applyDayMinimum() {
    m_settings.setDayIntervalText(raisedDayInterval(m_settings.dayIntervalText()));
}

bool SettingsLogic::addPort(const config::PortEntry& entry) {
    QVector<config::PortEntry> rows = m_settings.ports();
    // Until a list has been saved once there is nothing to clash with: the stored count decides.
    if (m_config.reini(kIni, kSet, QStringLiteral("Ports")) != QLatin1String("0")) {
        bool clash = false;
        for (const config::PortEntry& row : rows) {
            if (row.port == entry.port || row.remark == entry.remark) {
                m_prompter.information(m_messages.text(QStringLiteral("dl20")));
                clash = true;
            }
        }
        if (clash) return false;
    }
    rows.append(entry);
    m_settings.setPorts(rows);
    return true;
}

bool SettingsLogic::deletePort(int row) {
    QVector<config::PortEntry> rows = m_settings.ports();
    if (rows.size() < 2 || row < 0 || row >= rows.size()) return false;
    rows.removeAt(row);
    m_settings.setPorts(rows);
    return true;
}

QString SettingsLogic::refusal(const QString& label, const QString& unit, const QString& text) const {
    return QStringLiteral("%1 must be a whole number of %2 (0 to %3), not '%4'. Nothing was saved.")
        .arg(label, unit, QString::number(kMaxValue), text);
}

SettingsLogic::CloseResult SettingsLogic::close(const QString& superPassword,
                                                const QString& ordinaryPassword) {
    if (!m_prompter.confirm(m_messages.text(QStringLiteral("dl1")))) return CloseResult::Closed;
    if (!superPassword.isEmpty() && superPassword == ordinaryPassword) {
        m_prompter.information(m_messages.text(QStringLiteral("dl28")));
        return CloseResult::StayOpen;
    }

    // Every number is checked before anything is written: a half-written section with a stale "jzm"
    // would stop the next start.
    const auto refresh = WholeNumber(m_settings.refreshText());
    if (!refresh) {
        m_prompter.information(refusal(m_refreshLabel, QStringLiteral("seconds"), m_settings.refreshText()));
        return CloseResult::StayOpen;
    }
    const auto hour = WholeNumber(m_settings.hourIntervalText());
    if (!hour) {
        m_prompter.information(
            refusal(m_hourLabel, QStringLiteral("seconds"), m_settings.hourIntervalText()));
        return CloseResult::StayOpen;
    }
    const auto day = WholeNumber(m_settings.dayIntervalText());
    if (!day) {
        m_prompter.information(refusal(m_dayLabel, QStringLiteral("minutes"), m_settings.dayIntervalText()));
        return CloseResult::StayOpen;
    }
    const QVector<config::PortEntry> rows = m_settings.ports();
    const IntervalMinimums min = IntervalMinimums::of(*refresh, rows.size());
    if (min.hourSeconds > kMaxValue) {
        m_prompter.information(
            QStringLiteral(
                "%1 × %2 ports is too long a recording interval (more than %3 seconds). Nothing was saved.")
                .arg(m_refreshLabel, QString::number(rows.size()), QString::number(kMaxValue)));
        return CloseResult::StayOpen;
    }

    // Numbers go to the file in plain decimal ("010" is stored as "10"), and the live settings follow.
    const QString language = m_settings.language();
    const QString flash = QString::number(*refresh);
    const QString save2 = QString::number(std::max(*day, min.dayMinutes));
    const QString save1 = QString::number(std::max(*hour, min.hourSeconds));
    const QString ports = QString::number(rows.size());
    const QString cjkl = superPassword.isEmpty()
                             ? m_config.reini(kIni, kSet, QStringLiteral("cjkl"))
                             : QString::number(config::ProductHash(m_config.toAnsi(superPassword)));
    const QString ptkl = ordinaryPassword.isEmpty()
                             ? m_config.reini(kIni, kSet, QStringLiteral("ptkl"))
                             : QString::number(config::ProductHash(m_config.toAnsi(ordinaryPassword)));

    // Two passwords with one hash are one password to the login, which tries the super hash first:
    // the ordinary password would open the super level.
    if ((!superPassword.isEmpty() || !ordinaryPassword.isEmpty()) && cjkl == ptkl) {
        m_prompter.information(m_messages.text(QStringLiteral("dl28")));
        return CloseResult::StayOpen;
    }

    QList<config::IniEntry> entries{{kSet, QStringLiteral("language"), language},
                            {kSet, QStringLiteral("flash"), flash},
                            {kSet, QStringLiteral("save2"), save2},
                            {kSet, QStringLiteral("save1"), save1},
                            {kSet, QStringLiteral("ports"), ports}};
    for (int i = 0; i < rows.size(); ++i) {
        const QString n = QString::number(i);
        entries << config::IniEntry{kSet, QStringLiteral("port") + n, rows[i].port}
                << config::IniEntry{kSet, QStringLiteral("remark") + n, rows[i].remark}
                << config::IniEntry{kSet, QStringLiteral("portremark") + n, rows[i].notes};
    }
    if (!superPassword.isEmpty()) entries << config::IniEntry{kSet, QStringLiteral("cjkl"), cjkl};
    if (!ordinaryPassword.isEmpty()) entries << config::IniEntry{kSet, QStringLiteral("ptkl"), ptkl};
    // The check value covers the texts exactly as they will stand in the file.
    entries << config::IniEntry{kSet, QStringLiteral("jzm"),
                        config::CheckValue(m_config, language, flash, save2, save1, ports, cjkl, ptkl)};
    try {
        m_config.wriniBatch(kIni, entries);
    } catch (const config::ConfigError& e) {
        m_prompter.error(e.message());
        return CloseResult::StayOpen;
    }
    m_settings.setRefreshText(flash);
    m_settings.setDayIntervalText(save2);
    m_settings.setHourIntervalText(save1);
    if (m_savedHook) m_savedHook();
    return CloseResult::Saved;
}

}  // namespace tarsyn::app
