#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QVector>

#include "aware/Awareness.h"
#include "history/Journal.h"
#include "link/Codec.h"

namespace tarsyn::test {

/// A live reply (106 characters) with the alarm byte (0x001A), the state byte (0x001B) and the
/// battery voltage (0x0030, tenths of a volt) set; everything else zero.
inline QString aliveReply(quint8 alarms, quint8 states = 0, quint16 batteryTenths = 0) {
    QByteArray data(48, '\0');
    data[0x1A - 0x06] = char(alarms);
    data[0x1B - 0x06] = char(states);
    data[0x30 - 0x06] = char(batteryTenths >> 8);
    data[0x31 - 0x06] = char(batteryTenths & 0xFF);
    return link::BuildFrame(QStringLiteral("000430") + QString::fromLatin1(data.toHex().toUpper()));
}

/// A journal that keeps what it is told.
class RecordingJournal : public history::Journal {
public:
    struct Entry {
        history::JournalKind kind;
        QString controller;
        QString detail;
        QString data;  ///< the event's values, when it was recorded with them
    };
    void record(history::JournalKind kind, const QString& controller, const QString& detail) override {
        entries.append({kind, controller, detail, QString()});
    }
    void recordWithData(history::JournalKind kind, const QString& controller, const QString& detail,
                        const QString& data) override {
        entries.append({kind, controller, detail, data});
    }
    int count(history::JournalKind kind) const {
        int n = 0;
        for (const Entry& e : entries) n += e.kind == kind;
        return n;
    }
    QVector<Entry> entries;
};

/// Notification requests, as the tray would get them.
class RecordingNotifier : public aware::Notifier {
public:
    struct Note {
        QString title;
        QString text;
    };
    void notify(const QString& title, const QString& text) override { notes.append({title, text}); }
    QVector<Note> notes;
};

/// Copies the shipped catalogue `language`.lag into `dir` (the data folder of a test).
inline bool copyCatalogue(const QString& dir, const QString& language = QStringLiteral("English")) {
    const QString from = qEnvironmentVariable("TARSYN_SOURCE_DIR") + QStringLiteral("/data/") + language +
                         QStringLiteral(".lag");
    return QFile::copy(from, QDir(dir).filePath(language + QStringLiteral(".lag")));
}

}  // namespace tarsyn::test
