#include "app/core/SettingsLogic.h"

#include "config/Config.h"
#include "config/DataFolder.h"
#include "config/Prompter.h"
#include "config/SettingsLimits.h"

namespace tarsyn::app {

namespace {
const QString kIni = QStringLiteral("system.ini");
const QString kSet = QStringLiteral("Set");
}  // namespace

IntervalMinimums IntervalMinimums::of(qint64 refreshSeconds, qint64 rows) {
    const qint64 visit = refreshSeconds * rows;
    // visit / 60 rounded to the nearest integer, halves to the even neighbour (30 s gives 0, 150 s gives 2).
    qint64 q = visit / 60;
    const qint64 r = visit % 60;
    if (2 * r > 60 || (2 * r == 60 && (q & 1))) ++q;
    return {visit, q + 1};
}

QString FallBackToInstalledLanguage(config::LiveSettings& settings, const config::Config& config) {
    const QStringList installed = config::CatalogueNames(config.dataDir());
    const QString stored = settings.language();
    if (installed.isEmpty() || installed.contains(stored)) return {};
    settings.setLanguage(installed.first());
    return stored;
}

SettingsLogic::SettingsLogic(config::Config& config, config::LiveSettings& settings,
                             const config::Messages& messages, config::Prompter& prompter)
    : m_config(config), m_settings(settings), m_messages(messages), m_prompter(prompter) {
    beginEdit();
}

void SettingsLogic::load() {
    m_settings.load(m_config);
    FallBackToInstalledLanguage(m_settings, m_config);  // the program's start has said so already
    beginEdit();
}

void SettingsLogic::beginEdit() {
    m_draft.assign(m_settings);
    // The box shows the language the settings hold, not the one Shift+End switched to for the moment:
    // a save keeps what is stored unless the operator chooses otherwise.
    const QString stored = m_config.reini(kIni, kSet, QStringLiteral("language")).trimmed();
    if (catalogueList().contains(stored)) m_draft.setLanguage(stored);
}

QStringList SettingsLogic::catalogueList() const { return config::CatalogueNames(m_config.dataDir()); }

QString SettingsLogic::raisedHourInterval(const QString& save1) const {
    const auto value = config::WholeNumber(save1);
    const auto refresh = config::WholeNumber(m_draft.refreshText());
    if (!value || !refresh) return save1;
    const qint64 min = IntervalMinimums::of(*refresh, m_draft.ports().size()).hourSeconds;
    return *value < min ? QString::number(min) : save1;
}

QString SettingsLogic::raisedDayInterval(const QString& save2) const {
    const auto value = config::WholeNumber(save2);
    const auto refresh = config::WholeNumber(m_draft.refreshText());
    if (!value || !refresh) return save2;
    const qint64 min = IntervalMinimums::of(*refresh, m_draft.ports().size()).dayMinutes;
    return *value < min ? QString::number(min) : save2;
}

void SettingsLogic::applyHourMinimum() {
    m_draft.setHourIntervalText(raisedHourInterval(m_draft.hourIntervalText()));
}

void SettingsLogic::applyDayMinimum() {
    m_draft.setDayIntervalText(raisedDayInterval(m_draft.dayIntervalText()));
}

void SettingsLogic::refuse(const QString& key, const QStringList& args) const {
    QString text = m_messages.text(key);
    switch (args.size()) {
        case 1:
            text = text.arg(args[0]);
            break;
        case 2:
            text = text.arg(args[0], args[1]);
            break;
        case 3:
            text = text.arg(args[0], args[1], args[2]);
            break;
        case 4:
            text = text.arg(args[0], args[1], args[2], args[3]);
            break;
        default:
            text = text.arg(args[0], args[1], args[2], args[3], args[4]);
            break;
    }
    m_prompter.information(text);
}

bool SettingsLogic::storable(const QString& text) const {
    return m_config.representable(text) && !text.contains(QLatin1Char('\n')) &&
           !text.contains(QLatin1Char('\r'));
}

bool SettingsLogic::addPort(const config::PortEntry& entry) {
    QVector<config::PortEntry> rows = m_draft.ports();
    const auto refused = [this](const char* key, const QStringList& args) {
        refuse(QString::fromLatin1(key), args);
        return false;
    };
    // A row without a port name would be polled as a device that can never open.
    if (entry.port.trimmed().isEmpty()) return refused("stportempty", {m_labels.port});
    if (rows.size() >= config::kMaxPorts) return refused("stportmax", {QString::number(config::kMaxPorts)});
    const std::pair<const QString*, const QString*> texts[] = {
        {&entry.port, &m_labels.port}, {&entry.remark, &m_labels.remark}, {&entry.notes, &m_labels.notes}};
    for (const auto& [text, label] : texts)
        if (!storable(*text)) return refused("stchars", {*label});
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
    m_draft.setPorts(rows);
    return true;
}

bool SettingsLogic::deletePort(int row) {
    QVector<config::PortEntry> rows = m_draft.ports();
    if (rows.size() < 2 || row < 0 || row >= rows.size()) return false;
    rows.removeAt(row);
    m_draft.setPorts(rows);
    return true;
}

bool SettingsLogic::numberRefused(const QString& label, const QString& unit, const QString& text, qint64 min,
                                  qint64 max) const {
    if (config::WholeNumberWithin(text, min, max)) return false;
    refuse(QStringLiteral("stnumber"),
           {label, QString::number(min), QString::number(max), unit, text.left(40)});
    return true;
}

bool SettingsLogic::passwordRefused(const QString& label, const QString& password) const {
    // The login hashes the code-page bytes: a character the code page lacks would be stored as "?".
    if (password.size() > config::kMaxPasswordLength)
        refuse(QStringLiteral("stpwlong"), {label, QString::number(config::kMaxPasswordLength)});
    else if (!m_config.representable(password))
        refuse(QStringLiteral("stpwchars"), {label});
    else
        return false;
    return true;
}

SettingsLogic::CloseResult SettingsLogic::close(const QString& superPassword,
                                                const QString& ordinaryPassword) {
    if (!m_prompter.confirm(m_messages.text(QStringLiteral("dl1")))) {
        beginEdit();  // an edit that is not saved never takes effect
        return CloseResult::Closed;
    }
    if (!superPassword.isEmpty() && superPassword == ordinaryPassword) {
        m_prompter.information(m_messages.text(QStringLiteral("dl28")));
        return CloseResult::StayOpen;
    }

    // Everything is checked before anything is written: a half-written section with a stale "jzm"
    // would stop the next start.
    const FieldLabels& l = m_labels;
    if (numberRefused(l.refresh, l.refreshUnit, m_draft.refreshText(), config::kMinRefreshSeconds,
                      config::kMaxRefreshSeconds) ||
        numberRefused(l.hourInterval, l.hourUnit, m_draft.hourIntervalText(), 0,
                      config::kMaxHourIntervalSeconds) ||
        numberRefused(l.dayInterval, l.dayUnit, m_draft.dayIntervalText(), 0, config::kMaxDayIntervalMinutes))
        return CloseResult::StayOpen;
    const qint64 refresh = *config::WholeNumber(m_draft.refreshText());
    const qint64 hour = *config::WholeNumber(m_draft.hourIntervalText());
    const qint64 day = *config::WholeNumber(m_draft.dayIntervalText());
    const QVector<config::PortEntry> rows = m_draft.ports();
    const IntervalMinimums min = IntervalMinimums::of(refresh, rows.size());
    // One row per port visit must fit in the hour the hour table keeps.
    if (min.hourSeconds > config::kMaxHourIntervalSeconds) {
        refuse(QStringLiteral("stvisit"),
               {l.refresh, QString::number(refresh), QString::number(rows.size()),
                QString::number(min.hourSeconds), QString::number(config::kMaxHourIntervalSeconds)});
        return CloseResult::StayOpen;
    }
    // With no catalogue at all there is nothing to choose from: the language is not what stops a save.
    const QStringList languages = catalogueList();
    if (!languages.isEmpty() && !languages.contains(m_draft.language())) {
        refuse(QStringLiteral("stlanguage"), {l.language, languages.join(QStringLiteral(", "))});
        return CloseResult::StayOpen;
    }
    if (passwordRefused(l.superPassword, superPassword) ||
        passwordRefused(l.ordinaryPassword, ordinaryPassword))
        return CloseResult::StayOpen;

    // Numbers go to the file in plain decimal ("010" is stored as "10").
    const QString language = m_draft.language();
    const QString flash = QString::number(refresh);
    const QString save2 = QString::number(std::max(day, min.dayMinutes));
    const QString save1 = QString::number(std::max(hour, min.hourSeconds));
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
    entries << config::IniEntry{
        kSet, QStringLiteral("jzm"),
        config::CheckValue(m_config, language, flash, save2, save1, ports, cjkl, ptkl)};
    try {
        m_config.wriniBatch(kIni, entries);
    } catch (const config::ConfigError& e) {
        m_prompter.error(e.message());
        return CloseResult::StayOpen;
    }
    // Only what the file now holds takes effect.
    m_draft.setRefreshText(flash);
    m_draft.setDayIntervalText(save2);
    m_draft.setHourIntervalText(save1);
    m_settings.assign(m_draft);
    if (m_savedHook) m_savedHook();
    return CloseResult::Saved;
}

}  // namespace tarsyn::app
