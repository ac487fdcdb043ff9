#include "aware/JournalTexts.h"

namespace tarsyn::aware {

QString settingsSavedText(const SavedSettings& s) {
    return QStringLiteral("language=%1 flash=%2 save1=%3 save2=%4 ports=%5")
        .arg(s.language, s.flash, s.save1, s.save2)
        .arg(s.ports);
}

QString loginSucceededText(bool superLevel) {
    return superLevel ? QStringLiteral("super") : QStringLiteral("ordinary");
}

QString loginFailedText(int attempt) { return QStringLiteral("attempt %1").arg(attempt); }

QString commandText(const QString& caption, const QString& control, const QString& request) {
    return QStringLiteral("%1 (%2, %3)").arg(caption, control, request);
}

QString calibrationSentText(const QString& what, const QString& value, const QString& control,
                            const QString& request) {
    return QStringLiteral("%1 = %2 (%3, %4)").arg(what, value, control, request);
}

QString remoteCommandText(const QString& commandText, const QString& client, const QString& id) {
    return QStringLiteral("%1, origin mqtt, client %2, id %3").arg(commandText, client, id);
}

QString remoteRefusedText(const QString& word, const QString& reason, const QString& client,
                          const QString& id) {
    return QStringLiteral("%1 refused (%2), origin mqtt, client %3, id %4")
        .arg(word.isEmpty() ? QStringLiteral("?") : word, reason, client,
             id.isEmpty() ? QStringLiteral("-") : id);
}

QString historyDroppedText(qint64 rows) {
    return QStringLiteral("%1 rows over the limit of the spool").arg(rows);
}

}  // namespace tarsyn::aware
