#pragma once

#include <QString>
#include <optional>

namespace tarsyn::history {

/// What happened, as one row of the event journal records it. The code stored in the table is the
/// short text of journalKindCode(); the journal window shows the catalogue's text for it.
enum class JournalKind {
    AlarmRaised,         ///< an alarm indicator of a controller turned on (detail: indicator and text)
    AlarmCleared,        ///< ... and off again
    LinkLost,            ///< the controller stopped answering
    LinkRegained,        ///< the controller answers again
    CommandSent,         ///< an operating command went to the controller
    CalibrationSent,     ///< a calibration value went to the controller
    BlockWritten,        ///< a parameter block was written (page, block, fields' old and new values)
    SettingsSaved,       ///< the settings window wrote system.ini
    LoginSucceeded,      ///< detail: the level granted, never what was typed
    LoginFailed,         ///< detail: the level asked for at most, never what was typed
    WatchRaised,         ///< an operator's own watch limit was crossed for its hold time (PC side only)
    WatchCleared,        ///< ... and the value came back past its hysteresis
    CommandDeclined,     ///< the operator answered No to an operating command's question: nothing sent
    HistoryDropped,      ///< history rows went unwritten: the spool was full (detail: how many)
    CommandRefused,      ///< a remote command was refused: nothing sent (detail: word, reason, client, id)
    AlarmActiveAtStart,  ///< an alarm indicator was on at the controller's first reply since the start
};

/// All kinds, in the order above (filters and tests walk them).
inline constexpr JournalKind kJournalKinds[] = {
    JournalKind::AlarmRaised,        JournalKind::AlarmCleared,   JournalKind::LinkLost,
    JournalKind::LinkRegained,       JournalKind::CommandSent,    JournalKind::CalibrationSent,
    JournalKind::BlockWritten,       JournalKind::SettingsSaved,  JournalKind::LoginSucceeded,
    JournalKind::LoginFailed,        JournalKind::WatchRaised,    JournalKind::WatchCleared,
    JournalKind::CommandDeclined,    JournalKind::HistoryDropped, JournalKind::CommandRefused,
    JournalKind::AlarmActiveAtStart,
};

/// The stored code of a kind ("alarm-raised", "link-lost", …); also the suffix of its catalogue key
/// "jk" + code.
QString journalKindCode(JournalKind kind);
/// The kind of a stored code; nullopt for a code this program does not know.
std::optional<JournalKind> journalKindFromCode(const QString& code);

/// Where anything that acts on or observes a controller reports an event for the journal. A record
/// never throws and never waits long: an implementation that cannot write keeps the reason and goes on.
/// `controller` is the remark of the port-list entry the event concerns (empty for PC-wide events
/// such as a login).
class Journal {
public:
    virtual ~Journal() = default;
    virtual void record(JournalKind kind, const QString& controller, const QString& detail) = 0;
    /// The same with the event's values: `data` is compact JSON (a catalogue text, see
    /// aware::JournalData) from which a reader says the event in his own language; `detail` stays
    /// the text older programs show. A journal that keeps no values records the detail alone.
    virtual void recordWithData(JournalKind kind, const QString& controller, const QString& detail,
                                const QString& data) {
        Q_UNUSED(data);
        record(kind, controller, detail);
    }
    /// Events recorded from beginGroup() to the matching endGroup() are written together, all or none
    /// (the alarm edges of one reply). Groups may nest; the outermost one counts.
    virtual void beginGroup() {}
    virtual void endGroup() {}
};

/// A group of journal events for the lifetime of this object.
class JournalGroup {
public:
    explicit JournalGroup(Journal& journal) : m_journal(journal) { m_journal.beginGroup(); }
    ~JournalGroup() { m_journal.endGroup(); }
    JournalGroup(const JournalGroup&) = delete;
    JournalGroup& operator=(const JournalGroup&) = delete;

private:
    Journal& m_journal;
};

}  // namespace tarsyn::history
