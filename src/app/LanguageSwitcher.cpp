#include "app/LanguageSwitcher.h"

#include <algorithm>

#include "config/LiveSettings.h"

namespace tarsyn::app {

LanguageSwitcher::LanguageSwitcher(config::LiveSettings& settings, const QStringList& languages,
                                   QObject* parent)
    : QObject(parent), m_settings(settings), m_languages(languages) {}

void LanguageSwitcher::setLanguages(const QStringList& languages) { m_languages = languages; }

int LanguageSwitcher::add(const QString& name, Relabel relabel) {
    const int id = m_nextId++;
    m_entries.append({id, name, std::move(relabel)});
    return id;
}

void LanguageSwitcher::remove(int id) {
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [id](const Entry& e) { return e.id == id; }),
        m_entries.end());
}

QStringList LanguageSwitcher::registeredNames() const {
    QStringList names;
    for (const Entry& e : m_entries) names << e.name;
    return names;
}

void LanguageSwitcher::advance() {
    if (m_languages.isEmpty()) return;
    // The next catalogue after the one in effect, so that every press changes the language; a
    // language not in the list (none stored yet) starts the cycle at the first entry.
    const int current = m_languages.indexOf(m_settings.language());
    m_counter = current >= 0 ? current + 1 : 0;
    if (m_counter >= m_languages.size()) m_counter = 0;
    const QString language = m_languages.at(m_counter);
    m_settings.setLanguage(language);
    // A copy: a callback may register or remove windows without disturbing this pass.
    const QVector<Entry> entries = m_entries;
    for (const Entry& e : entries)
        if (e.relabel) e.relabel(language);
    emit languageChanged(language);
}

}  // namespace tarsyn::app
