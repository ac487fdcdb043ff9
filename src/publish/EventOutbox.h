#pragma once

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QVector>
#include <map>
#include <memory>

#include "history/HistoryStore.h"
#include "history/JournalStore.h"

namespace tarsyn::publish {

/// Which journal rows one publisher sends: all of them (the window program), or those of some
/// controllers (one line of a service that polls several), with or without the events of no controller.
struct OutboxScope {
    QString name;             ///< part of the cursor's key: publishers of one site keep one cursor each
    QStringList controllers;  ///< trimmed remarks; empty: every controller
    bool pcWide = true;       ///< the events of no controller (logins, saved settings)
    bool contains(const QString& controller) const {
        return controller.isEmpty() ? pcWide : controllers.isEmpty() || controllers.contains(controller);
    }
};

/// One journal row; `known` is false for a kind this program does not know (written by a newer one),
/// which is passed over.
struct OutboxRow {
    history::JournalEvent event;
    bool known = true;
};

/// The journal as the outbox of the event topic. The journal table already holds every event in order
/// with its id, and it survives a lost broker and a restart, so nothing else queues events: a cursor
/// (table "mqtt_outbox": "scope", "last_id") remembers the last id the broker acknowledged. A site's
/// first start begins after the events stamped before the publisher started (`since`): those are
/// history, not news. Uses a connection of its own, on the thread that opened it.
///
/// Several programs may share one journal (PCs on one PostgreSQL server): with a `writer`, only the
/// events that writer wrote are this outbox's; the others come back unknown, to be passed over. Ids are
/// taken when an event is inserted, not when it commits, so an event may appear below ids already read:
/// an id missing between the rows read is remembered for a while (kLateMs) and its event, once it
/// appears, comes back before the newer rows.
class EventOutbox {
public:
    /// How long an id missing between the rows read is waited for (its transaction may still commit).
    static constexpr qint64 kLateMs = 10 * 60 * 1000;
    /// A hole of more ids than this is no open transaction (a sequence that jumped): not waited for.
    static constexpr qint64 kMaxHole = 1000;

    EventOutbox(history::HistoryLocation location, QString key, QString since,
                std::shared_ptr<history::WriteTurns> turns, QString writer = {});
    ~EventOutbox();
    EventOutbox(const EventOutbox&) = delete;
    EventOutbox& operator=(const EventOutbox&) = delete;

    /// Opens the connection, creates the cursor table when missing and reads the cursor; false with
    /// `why` on failure (tried again by the next call).
    bool open(QString* why);
    bool isOpen() const { return m_open; }
    /// The last id acknowledged.
    qint64 cursor() const { return m_cursor; }
    /// This outbox's events that committed late below ids already read, then journal rows with an id
    /// above `after`, oldest first, at most `limit` of these. Rows of another writer are not `known`.
    /// An unreadable table closes the connection (open() again later) and gives none.
    QVector<OutboxRow> after(qint64 after, int limit);
    /// Stores the cursor (never moved back: a late event's id below it changes nothing); false when
    /// the database refused (it is stored again with the next one).
    bool store(qint64 id);

private:
    QVector<OutboxRow> lateRows();
    void noteHoles(qint64 after, const QVector<qint64>& ids);

    history::HistoryLocation m_location;
    QString m_key, m_since, m_connectionName, m_writer;
    std::shared_ptr<history::WriteTurns> m_turns;
    bool m_open = false;
    bool m_dataColumn = false;  // the journal has its "data" column (checked until it has)
    qint64 m_cursor = 0;
    std::map<qint64, QDeadlineTimer> m_missing;  // ids not seen between rows read, until when waited for
};

}  // namespace tarsyn::publish
