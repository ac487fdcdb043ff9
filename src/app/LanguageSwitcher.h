#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

namespace tarsyn::config {
class LiveSettings;
}  // namespace tarsyn::config

namespace tarsyn::app {

/// The one place where windows register for a language change. Each press of the language hot key
/// selects the catalogue after the language in effect (wrapping to the first), so the first press
/// always changes the language; it puts that catalogue's name into the live settings (the settings
/// window's language box mirrors it) and then calls every registered re-label callback in
/// registration order. Nothing is written to system.ini.
class LanguageSwitcher : public QObject {
    Q_OBJECT
public:
    using Relabel = std::function<void(const QString& language)>;

    LanguageSwitcher(config::LiveSettings& settings, const QStringList& languages, QObject* parent = nullptr);

    QStringList languages() const { return m_languages; }
    /// The catalogue list is built once at start; a new list keeps the counter where it is.
    void setLanguages(const QStringList& languages);
    int counter() const { return m_counter; }

    /// Adds a window's re-label step; returns an id for `remove`. `name` only helps reading a trace.
    int add(const QString& name, Relabel relabel);
    void remove(int id);
    QStringList registeredNames() const;

public slots:
    /// One hot key press: the next catalogue after the current language (wrapping), select, re-label
    /// everything.
    /// Does nothing without catalogues.
    void advance();

signals:
    void languageChanged(const QString& language);

private:
    struct Entry {
        int id;
        QString name;
        Relabel relabel;
    };
    config::LiveSettings& m_settings;
    QStringList m_languages;
    int m_counter = 0;
    int m_nextId = 1;
    QVector<Entry> m_entries;
};

}  // namespace tarsyn::app
