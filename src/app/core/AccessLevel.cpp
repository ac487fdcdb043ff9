#include "app/core/AccessLevel.h"

#include "config/Config.h"
#include "config/LiveSettings.h"
#include "config/Prompter.h"

namespace tarsyn::app {

bool SettingsGate(const Access& access, const config::Messages& messages, config::Prompter& prompter) {
    if (access.AccessLevel() == kSuperLevel) return true;
    prompter.information(messages.text(QStringLiteral("dl29")));
    return false;
}

LoginLogic::LoginLogic(const config::Config& config, Access& access, const config::Messages& messages,
                       config::Prompter& prompter)
    : m_config(config), m_access(access), m_messages(messages), m_prompter(prompter) {}

void LoginLogic::begin() { m_attempts = 0; }

LoginLogic::Outcome LoginLogic::confirm(const QString& password) {
    ++m_attempts;
    const bool repeated = m_access.granted();
    // Before any level is granted the level variable is the attempt counter itself.
    if (!repeated) m_access.setAccessLevel(m_access.AccessLevel() + 1);

    // Stored hashes are signed decimal texts; compare texts, as they stand in the file.
    const QString hash = QString::number(config::ProductHash(m_config.toAnsi(password)));
    const QString ini = QStringLiteral("system.ini");
    const QString set = QStringLiteral("Set");
    // Super first: if both stored hashes are equal, the super level wins.
    if (hash == m_config.reini(ini, set, QStringLiteral("cjkl"))) {
        m_access.setAccessLevel(kSuperLevel);
        if (m_hook) m_hook(true, kSuperLevel);
        return Outcome::Granted;
    }
    if (hash == m_config.reini(ini, set, QStringLiteral("ptkl"))) {
        m_access.setAccessLevel(kOrdinaryLevel);
        if (m_hook) m_hook(true, kOrdinaryLevel);
        return Outcome::Granted;
    }
    if (m_hook) m_hook(false, m_attempts);
    m_prompter.information(m_messages.text(QStringLiteral("dl33")));
    if (!repeated && m_access.AccessLevel() >= kLoginAttempts) return Outcome::ForcedExit;
    return Outcome::Retry;
}

void LoginLogic::exit() { m_access.setAccessLevel(kExitingLevel); }

}  // namespace tarsyn::app
