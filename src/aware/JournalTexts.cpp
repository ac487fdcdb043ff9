#include "aware/JournalTexts.h"

#include <QJsonObject>

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

QString JournalData(const config::CatalogueText& text, const QString& objects, const QString& frames) {
    QJsonObject extra;
    if (!objects.isEmpty()) extra.insert(QStringLiteral("o"), objects);
    if (!frames.isEmpty()) extra.insert(QStringLiteral("fr"), frames);
    return text.toJsonText(extra);
}

QString alarmData(const QString& indicator) {
    return JournalData(config::CatalogueText().caption(
                           QStringLiteral("lbl") + indicator + QStringLiteral(".Caption"), indicator),
                       indicator);
}

QString watchData(const QString& panel, bool low, double limit, double value) {
    // The panel "pnl17" is captioned by the label "lbl17".
    return JournalData(config::CatalogueText(low ? QStringLiteral("awlow") : QStringLiteral("awhigh"))
                           .caption(QStringLiteral("lbl") + panel.mid(3) + QStringLiteral(".Caption"), panel)
                           .arg(QString::number(limit))
                           .arg(QString::number(value)),
                       panel);
}

namespace {
config::CatalogueText commandCaption(const QString& control) {
    return config::CatalogueText().caption(control + QStringLiteral(".Caption"), control);
}
}  // namespace

QString commandData(const QString& control, const QString& request) {
    return JournalData(commandCaption(control), control, request);
}

QString remoteCommandData(const QString& control, const QString& request, const QString& client) {
    return JournalData(
        config::CatalogueText(QStringLiteral("jdremote")).text(commandCaption(control)).arg(client), control,
        request);
}

QString calibrationSentData(const QString& control, const QString& value, const QString& request) {
    return JournalData(config::CatalogueText(QStringLiteral("jdcalib"))
                           .caption(control + QStringLiteral(".Hint"), control)
                           .arg(value),
                       control, request);
}

QString settingsSavedData(const SavedSettings& s) {
    return JournalData(config::CatalogueText(QStringLiteral("jdsettings"))
                           .arg(s.language)
                           .arg(s.flash)
                           .arg(s.save1)
                           .arg(s.save2)
                           .arg(QString::number(s.ports)));
}

QString loginSucceededData(bool superLevel) {
    return JournalData(
        config::CatalogueText().word(superLevel ? QStringLiteral("jdsuper") : QStringLiteral("jdordinary")));
}

QString loginFailedData(int attempt) {
    return JournalData(config::CatalogueText(QStringLiteral("jdattempt")).arg(QString::number(attempt)));
}

QString historyDroppedData(qint64 rows) {
    return JournalData(config::CatalogueText(QStringLiteral("jddropped")).arg(QString::number(rows)));
}

}  // namespace tarsyn::aware
