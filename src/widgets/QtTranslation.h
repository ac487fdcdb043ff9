#pragma once

#include <QLocale>
#include <QString>
#include <memory>

class QTranslator;

namespace tarsyn::widgets {

/// Qt's own texts in the current language: the buttons of message boxes ("Yes", "No", "OK",
/// "Cancel"), the input box and the file and print dialogs. A catalogue's name is a language name
/// ("Chinese", "English"), which picks Qt's translation for that language's usual locale ("Chinese":
/// qtbase_zh_CN.qm from Debian's qt6-translations-l10n). Installed on the application while it lives.
class QtTranslation {
public:
    /// `directory` holds Qt's .qm files; empty: the one Qt was built with.
    explicit QtTranslation(const QString& directory = QString());
    ~QtTranslation();
    QtTranslation(const QtTranslation&) = delete;
    QtTranslation& operator=(const QtTranslation&) = delete;

    /// Puts Qt's texts into `language` (a catalogue name), replacing the previous language. Nothing
    /// happens when `language` is already in effect. False when Qt has no translation for it: its
    /// built-in English texts are used then.
    bool apply(const QString& language);
    /// The language in effect (as given to apply).
    QString language() const { return m_language; }

    /// The locale a catalogue name stands for: a Qt language name (any case) with its usual
    /// territory, or a locale name such as "zh_CN"; QLocale::C when it is neither.
    static QLocale localeFor(const QString& language);

private:
    QString m_directory;
    QString m_language;
    bool m_loaded = false;
    std::unique_ptr<QTranslator> m_translator;
};

}  // namespace tarsyn::widgets
