#include "aware/JournalExport.h"

#include <QSaveFile>

namespace tarsyn::aware {

QString JournalKindText(history::JournalKind kind, const std::function<QString(const QString&)>& message) {
    return message(QStringLiteral("jk") + history::journalKindCode(kind));
}

bool WriteJournalCsv(const QString& path, const QVector<history::JournalEvent>& events,
                     const std::function<QString(history::JournalKind)>& kindText, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    file.write("\xEF\xBB\xBF");
    file.write(history::JournalCsv(events, kindText).toUtf8());
    if (!file.commit()) {
        if (error) *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace tarsyn::aware
