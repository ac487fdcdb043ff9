#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "history/HistoryStore.h"
#include "history/Journal.h"
#include "link/Clock.h"

namespace tarsyn::history {

class JournalWriter;

/// One event as the writer thread writes it.
struct JournalWriterEvent {
    QString sj, port, kind, detail, data;  ///< a null data is written as SQL NULL
};

/// One row of the journal table.
struct JournalEvent {
    qint64 id = 0;
    QString sj;          ///< "yyyy-MM-dd hh:mm:ss", as the history tables stamp their rows
    QString controller;  ///< the entry's remark; empty for PC-wide events
    JournalKind kind = JournalKind::AlarmRaised;
    QString detail;  ///< the text as recorded (older programs show it)
    QString data;    ///< the event's values as compact JSON; empty in a row written by an older program
    bool operator==(const JournalEvent& o) const {
        return sj == o.sj && controller == o.controller && kind == o.kind && detail == o.detail &&
               data == o.data;
    }
};

/// What the journal window asks for: every part left empty matches everything.
struct JournalFilter {
    QString controller;               ///< exact remark; null = all controllers
    std::optional<JournalKind> kind;  ///< one kind; none = all kinds
    QDateTime from;                   ///< "sj" >= from; invalid = no lower bound
    QDateTime to;                     ///< "sj" <= to; invalid = no upper bound
    int limit = 10000;                ///< newest first, at most this many
};

/// The event journal: table "journal" ("id", "sj", "port", "kind", "detail", "data", "writer", index on "sj")
/// in the history database. "data" (nullable) holds the event's values for a reader to say it in his language
/// and "writer" the program that recorded it; a table made by an older program gets the columns at open() and
/// its old rows keep NULL. record() stamps the event and hands it to a writer thread with a Qt SQL connection
/// of its own, which commits each event (or each group of them, see Journal::beginGroup) in its own
/// transaction a moment later, so an alarm storm costs the poll tick next to nothing and a killed program
/// loses at most the event being written at that instant; the writes do not wait for the disk's sync (a
/// killed program keeps them, a power cut may not). Reads see every event recorded before them. record()
/// never throws: a failure is kept in lastError(), reported once through the error callback, and the
/// connection is tried again at most every kRetrySeconds. Reads, purge and schema use a second connection on
/// the creating thread.
class JournalStore : public Journal {
public:
    using ErrorCallback = std::function<void(const QString&)>;
    static constexpr int kRetrySeconds = 30;
    static constexpr int kDefaultRetentionDays = 365;
    /// How long closing waits for the writer before the events it has not written go to the spool.
    static constexpr int kEndSeconds = 5;

    /// `writeTurns`: the history store's (HistoryStore::writeTurns()) when both write to one embedded
    /// database, so that the writer thread lets the recorder go first without SQLite's sleeps.
    JournalStore(HistoryLocation location, const link::Clock& clock, ErrorCallback onError = {},
                 std::shared_ptr<WriteTurns> writeTurns = nullptr);
    ~JournalStore() override;
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;

    /// Who writes the events (stored in column "writer"): several programs may share one journal,
    /// and each publishes only its own. Set before open(); the composition root gives it
    /// (JournalWriterIdentity). Empty by default.
    void setWriter(const QString& writer) { m_writerIdentity = writer; }
    QString writer() const { return m_writerIdentity; }

    /// Opens the connection and creates the table and its index when missing (an older kalde.db has
    /// neither), and adds the "data" column to a table made without it; false with lastError() on
    /// failure.
    bool open();
    void close();
    bool isOpen() const;
    QString lastError() const { return m_lastError; }
    QString connectionName() const { return m_connectionName; }
    /// Where the journal is, and the turns its writer takes (a reader of the table on its own
    /// connection, such as the broker's outbox, uses them too).
    const HistoryLocation& location() const { return m_location; }
    std::shared_ptr<WriteTurns> writeTurns() const { return m_writeTurns; }
    /// The clock that stamps the events (the journal window's default time range follows it).
    const link::Clock& clock() const { return m_clock; }

    void record(JournalKind kind, const QString& controller, const QString& detail) override;
    void recordWithData(JournalKind kind, const QString& controller, const QString& detail,
                        const QString& data) override;
    void beginGroup() override { ++m_groupDepth; }
    void endGroup() override;
    /// Waits until every event recorded so far is written (or the writer is failing).
    void flush();
    /// The same for at most `limit` (the program ends and must not wait on a frozen server): events
    /// not written by then go to the journal's spool, "kalde-journal.spool" beside the history's spool,
    /// and the next open() writes them first. Returns how many events wait there (0: all written).
    qint64 flushWithin(std::chrono::milliseconds limit);
    /// Where flushWithin() leaves the events it could not write (empty: the history has no spool).
    QString spoolPath() const;

    /// Deletes events older than `days` days before now; returns how many went (-1 on failure).
    int purgeOlderThan(int days);
    /// Events matching `filter`, newest first. Raises HistoryError.
    QVector<JournalEvent> events(const JournalFilter& filter);
    /// The remarks that occur in the journal, sorted (the window's controller filter).
    QStringList controllers();

private:
    bool usable();
    void takeWriterError();
    HistoryError failure(const QString& what, const QString& reason) const;

    HistoryLocation m_location;
    const link::Clock& m_clock;
    ErrorCallback m_onError;
    QString m_connectionName;
    QString m_lastError;
    QDateTime m_lastAttempt;
    bool m_reported = false;
    std::shared_ptr<WriteTurns> m_writeTurns;
    QString m_writerIdentity;
    // The stamp of the last event: a storm stamps many events within one second.
    QDate m_stampDate;
    QTime m_stampSecond;
    QString m_stamp;
    std::unique_ptr<JournalWriter> m_writer;
    int m_groupDepth = 0;
    QVector<JournalWriterEvent> m_group;  // recorded in the open group, handed over at its end
};

/// The journal's writer identity of a program: the host and the data folder it runs on
/// ("site-box:/var/lib/tarsyn"), the same at every start.
QString JournalWriterIdentity(const QString& host, const QString& dataDir);

/// The retention setting: system.ini [Aware] "days", whole days; a missing, zero or unreadable
/// value gives the default of 365.
int JournalRetentionDays(const QString& setting);

/// The events as CSV (RFC 4180: comma separated, fields with a comma, quote or line break quoted,
/// quotes doubled, CR LF line ends): a header line "time,controller,kind,detail", then one line per
/// event in the given order. `kindText` turns a kind into the text written (the catalogue's). With
/// `splitDetail`, the detail column holds the first of its texts and the columns named `moreColumns`
/// (added to the header) the others.
using JournalDetailSplit = std::function<QStringList(const JournalEvent& event)>;
QString JournalCsv(const QVector<JournalEvent>& events, const std::function<QString(JournalKind)>& kindText,
                   const JournalDetailSplit& splitDetail = {}, const QStringList& moreColumns = {});

}  // namespace tarsyn::history
