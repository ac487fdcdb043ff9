#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "reports/AlarmRecord.h"

namespace tarsyn::config {
class Prompter;
}
namespace tarsyn::link {
class ControllerLink;
}
namespace tarsyn::monitor {
class PollControl;
}

namespace tarsyn::reports {

/// One line of the list `lv1`: the record's number in the whole log, its text and time.
struct AlarmRow {
    int number = 0;
    AlarmRecord record;
};

/// What the alarm history window shows; the window copies it onto its controls after each step.
struct AlarmHistoryState {
    QString totalText;                 ///< `lblgzts`
    QString pageText;                  ///< `lbldqzy`, the current page
    QString pageCountText;             ///< `lblgzzys`
    QList<AlarmRow> rows;              ///< `lv1`
    bool firstEnabled = false;         ///< `Buttonsy`
    bool previousEnabled = false;      ///< `Buttonshy`
    bool nextEnabled = false;          ///< `Buttonxy`
    bool lastEnabled = false;          ///< `Buttonmy`
    bool pictureEnabled = false;       ///< `btnbcwj` and `btnqxdy`
    bool pageCaptionsEnabled = false;  ///< `lblgzym` and `lblgzfgh`, grey until a page shows rows
};

/// The whole alarm log as read in one go: complete only when the count and every page answered.
struct WholeAlarmLog {
    bool complete = false;
    int failedPage = 0;  ///< when incomplete: the page without an answer, 0 for the count itself
    QList<AlarmRow> rows;
};

/// How far reading the whole log has got: `step` of `steps` (eleven steps a page: ten waits and the
/// exchange; the first page comes with the count).
using LogProgress = std::function<void(int step, int steps)>;

/// The controller's alarm log, six records a page: the first read one second after the window
/// shows (count and page 1), then a page read for each paging button. Each exchange runs inside the
/// exclusive-exchange guard, so polling resumes however it ends. A reply that is too short or has
/// the wrong header is ignored silently; a port error ends the read with the standard error box.
class AlarmHistory {
public:
    AlarmHistory(link::ControllerLink& link, monitor::PollControl& poll, config::Prompter& prompter,
                 MessageLookup messages);

    const AlarmHistoryState& state() const { return m_state; }
    int currentPage() const { return m_page; }
    int total() const { return m_total; }
    int pageCount() const { return m_pageCount; }
    /// True once the first read of this showing was accepted: `total` and the page count describe
    /// the log. A showing, or a first read without an accepted answer, makes it false again.
    bool logKnown() const { return m_logKnown; }

    /// Each showing: `lblgzts` and the list are emptied (the page indicator keeps its texts), and the
    /// log counts as unknown until the first read answers.
    void clearForShowing();
    /// Closing: the four paging buttons go off.
    void closed();

    /// The first read: reopen the port (600 ms after a successful open), read the count and the
    /// first page, "00040200002C", 94 characters, 1000 ms.
    void firstRead();

    /// The paging buttons: set the current page, then read it.
    void firstPage() { readPage(1); }
    void previousPage() { readPage(m_page - 1); }
    void nextPage() { readPage(m_page + 1); }
    void lastPage() { readPage(m_pageCount); }

    /// Reads page `page` (1-based): ten waits of 100 ms with `PollState` 1 before each, then
    /// "0004" + address + "002A", 90 characters, 1000 ms.
    void readPage(int page);

    /// The page exchange alone, inside an exchange guard the caller holds: returns the reply when
    /// it is accepted, an empty text otherwise. Port errors are raised (link::SerialError).
    /// `afterWait`, when given, is called after each of the ten waits with its number (1…10).
    QString exchangePage(int page, const std::function<void(int)>& afterWait = {});
    /// The first read's exchange alone (count and the first six records), with the page read's ten
    /// waits before it, inside an exchange guard the caller holds: the reply when accepted, an empty
    /// text otherwise. Port errors are raised.
    QString exchangeCount(const std::function<void(int)>& afterWait = {});
    /// The records a first read's count says it holds are dates and times; else the reply is refused
    /// on the link and false returned.
    bool plausibleFirst(const QString& reply);

    /// Reads the whole log afresh inside one exchange guard: the count (with the first six records),
    /// then every further page, so nothing a previous read counted is taken on trust. A reply that
    /// is missing, short or raised on the port leaves the result incomplete at that page. The
    /// window's own state is not touched.
    WholeAlarmLog readWholeLog(const LogProgress& progress = {});

    /// The rows of records 1…`count` (at most six) of a first read's reply, and those of page `page`
    /// of a log of `total` records from a page reply.
    QList<AlarmRow> firstRows(const QString& reply, int count) const;
    QList<AlarmRow> pageRows(const QString& reply, int total, int page) const;

private:
    void settle(const std::function<void(int)>& afterWait);
    QList<AlarmRow> decodeRows(const QString& reply, int position, int count, int firstNumber) const;

    link::ControllerLink& m_link;
    monitor::PollControl& m_poll;
    config::Prompter& m_prompter;
    MessageLookup m_messages;
    AlarmHistoryState m_state;
    int m_page = 1;
    int m_total = 0;
    int m_pageCount = 1;
    bool m_logKnown = false;
};

}  // namespace tarsyn::reports
