#include "widgets/QtTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tarsyn::widgets {

QtTranslation::QtTranslation(const QString& directory)
    : m_directory(directory.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : directory) {}

QtTranslation::~QtTranslation() {
    if (m_translator) QCoreApplication::removeTranslator(m_translator.get());
}

QLocale QtTranslation::localeFor(const QString& language) {
    const QString name = language.trimmed();
    if (name.isEmpty()) return QLocale::c();
    for (int l = QLocale::AnyLanguage + 1; l <= QLocale::LastLanguage; ++l) {
        const auto lang = static_cast<QLocale::Language>(l);
        if (QLocale::languageToString(lang).compare(name, Qt::CaseInsensitive) == 0) return QLocale(lang);
    }
    const QLocale byName(name);
    return byName.language() == QLocale::C ? QLocale::c() : byName;
}

bool QtTranslation::apply(const QString& language) {
    if (m_translator && language == m_language) return m_loaded;
    if (m_translator) QCoreApplication::removeTranslator(m_translator.get());
    m_translator = std::make_unique<QTranslator>();
    m_language = language;
    const QLocale locale = localeFor(language);
    // Every Qt module's texts that message boxes and dialogs use are in qtbase.
    m_loaded = locale.language() != QLocale::C &&
               m_translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), m_directory);
    if (m_loaded) QCoreApplication::installTranslator(m_translator.get());
    return m_loaded;
}

}  // namespace tarsyn::widgets
