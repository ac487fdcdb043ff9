#include "reports/AlarmHistory.h"

#include "config/Prompter.h"
#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "link/LinkError.h"
#include "monitor/PollControl.h"

namespace tarsyn::reports {

namespace {

// After reopening the port the controller's line needs a moment before the first request.
constexpr int kReopenSettleMs = 600;
// Before a page read: ten short waits, the poll state held at 1 through each of them.
constexpr int kPageWaits = 10;
constexpr int kPageWaitMs = 100;

bool accepted(const QString& reply, int count, const QString& header) {
    return reply.size() > count - 1 && reply.startsWith(header);
}

}  // namespace

AlarmHistory::AlarmHistory(link::ControllerLink& link, monitor::PollControl& poll, config::Prompter& prompter,
                           MessageLookup messages)
    : m_link(link), m_poll(poll), m_prompter(prompter), m_messages(std::move(messages)) {}

void AlarmHistory::clearForShowing() {
    // Nothing of an earlier showing stays: its page "1 / 3" would describe a log not read now.
    m_state = AlarmHistoryState();
    m_logKnown = false;  // the log may have changed since the last showing
}

void AlarmHistory::closed() {
    m_state.firstEnabled = m_state.previousEnabled = m_state.nextEnabled = m_state.lastEnabled = false;
}

void AlarmHistory::firstRead() {
    m_state.pictureEnabled = false;
    m_logKnown = false;  // until this read answers, the count of an earlier one may be stale
    QString reply;
    try {
        monitor::ExclusiveExchange guard(m_poll, monitor::LineActivity::Kind::AlarmLog);
        link::SerialPort& port = m_link.port();
        if (port.Connected()) port.ClosePort();
        bool opened = false;
        try {
            port.OpenPort();
            opened = true;
        } catch (const link::SerialError&) {
            // Ignored here: the exchange below then fails on the closed port and says why.
        }
        if (opened) m_link.sleeper().sleep(kReopenSettleMs);
        guard.poll().setPollState(1);
        m_link.Transaction(alarmlog::kFirstRequest, alarmlog::kFirstCount, alarmlog::kWaitMs);
        reply = m_link.LastReply();
        // A reply that fails its check, or carries another block's bytes (records that are no dates),
        // gives no count: paging, pictures and the export all need it, so say why they stay off.
        if (!accepted(reply, alarmlog::kFirstCount, alarmlog::kFirstHeader) || !plausibleFirst(reply)) {
            m_state = AlarmHistoryState();
            m_prompter.error(m_messages ? m_messages(QStringLiteral("alnocount"))
                                        : QStringLiteral("alnocount"));
            return;
        }

        const int total = int(link::HexField(reply, 7, 2));
        m_page = 1;
        m_total = total;
        m_pageCount = AlarmPageCount(total);
        m_logKnown = true;
        const int rows = qMin(total, alarmlog::kRowsPerPage);
        m_state.totalText = QString::number(total);
        m_state.pageText = QStringLiteral("1");
        m_state.pageCountText = QString::number(m_pageCount);
        if (m_pageCount > 1) m_state.nextEnabled = m_state.lastEnabled = true;
        m_state.rows = firstRows(reply, rows);
        if (rows > 0) m_state.pageCaptionsEnabled = m_state.pictureEnabled = true;
    } catch (const link::LinkError& e) {
        m_prompter.error(e.message());
    }
}

void AlarmHistory::settle(const std::function<void(int)>& afterWait) {
    for (int i = 0; i < kPageWaits; ++i) {
        m_poll.setPollState(1);
        m_link.sleeper().sleep(kPageWaitMs);
        if (afterWait) afterWait(i + 1);
    }
    m_poll.setPollState(1);
}

QString AlarmHistory::exchangeCount(const std::function<void(int)>& afterWait) {
    settle(afterWait);
    m_link.Transaction(alarmlog::kFirstRequest, alarmlog::kFirstCount, alarmlog::kWaitMs);
    const QString reply = m_link.LastReply();
    return accepted(reply, alarmlog::kFirstCount, alarmlog::kFirstHeader) && plausibleFirst(reply)
               ? reply
               : QString();
}

bool AlarmHistory::plausibleFirst(const QString& reply) {
    const int total = int(link::HexField(reply, 7, 2));
    if (AlarmRecordsPlausible(reply, alarmlog::kFirstRecordPosition, qMin(total, alarmlog::kRowsPerPage)))
        return true;
    m_link.refuseReply();  // counted as a check error, as a frame that failed its check
    return false;
}

QString AlarmHistory::exchangePage(int page, const std::function<void(int)>& afterWait) {
    const QString request = AlarmPageRequest(page);
    settle(afterWait);
    m_link.Transaction(request, alarmlog::kPageCount, alarmlog::kWaitMs);
    const QString reply = m_link.LastReply();
    if (!accepted(reply, alarmlog::kPageCount, alarmlog::kPageHeader)) return QString();
    if (!AlarmRecordsPlausible(reply, alarmlog::kPageRecordPosition, AlarmRowsOnPage(m_total, page))) {
        m_link.refuseReply();
        return QString();
    }
    return reply;
}

void AlarmHistory::readPage(int page) {
    m_page = page;
    m_state.pictureEnabled = false;
    try {
        QString reply;
        {
            monitor::ExclusiveExchange guard(m_poll, monitor::LineActivity::Kind::AlarmLog);
            reply = exchangePage(page);
        }
        // A port error has left by now, before the list is emptied: the previous page stays.
        m_state.rows.clear();
        if (reply.isEmpty()) return;
        m_state.pageText = QString::number(page);
        // Page 1 is tested before the last page, so a one-page log would still offer "next".
        bool back = true, forward = true;
        if (page == 1)
            back = false;
        else if (page == m_pageCount)
            forward = false;
        m_state.firstEnabled = m_state.previousEnabled = back;
        m_state.nextEnabled = m_state.lastEnabled = forward;
        m_state.rows = pageRows(reply, m_total, page);
        m_state.pictureEnabled = true;
    } catch (const link::LinkError& e) {
        m_prompter.error(e.message());
    }
}

WholeAlarmLog AlarmHistory::readWholeLog(const LogProgress& progress) {
    WholeAlarmLog log;
    constexpr int kStepsPerPage = kPageWaits + 1;
    int steps = kStepsPerPage * AlarmPageCount(m_total);  // until the count is known
    int page = 0;                                         // 0: the count read
    try {
        monitor::ExclusiveExchange guard(m_poll, monitor::LineActivity::Kind::AlarmLog);
        if (progress) progress(0, steps);
        const QString first = exchangeCount([&](int wait) {
            if (progress) progress(wait, steps);
        });
        if (first.isEmpty()) return log;
        const int total = int(link::HexField(first, 7, 2));
        const int pages = AlarmPageCount(total);
        steps = kStepsPerPage * pages;
        log.rows = firstRows(first, total);
        for (page = 2; page <= pages; ++page) {
            const int done = (page - 1) * kStepsPerPage;
            if (progress) progress(done, steps);
            const QString reply = exchangePage(page, [&](int wait) {
                if (progress) progress(done + wait, steps);
            });
            if (reply.isEmpty()) {
                log.failedPage = page;
                return log;
            }
            log.rows += pageRows(reply, total, page);
        }
        if (progress) progress(steps, steps);
    } catch (const link::LinkError&) {
        // A failed exchange is no answer as much as a silent controller is.
        log.failedPage = page;
        return log;
    }
    log.complete = true;
    return log;
}

QList<AlarmRow> AlarmHistory::firstRows(const QString& reply, int count) const {
    return decodeRows(reply, alarmlog::kFirstRecordPosition, qMin(count, alarmlog::kRowsPerPage), 1);
}

QList<AlarmRow> AlarmHistory::pageRows(const QString& reply, int total, int page) const {
    return decodeRows(reply, alarmlog::kPageRecordPosition, AlarmRowsOnPage(total, page),
                      alarmlog::kRowsPerPage * (page - 1) + 1);
}

QList<AlarmRow> AlarmHistory::decodeRows(const QString& reply, int position, int count,
                                         int firstNumber) const {
    QList<AlarmRow> rows;
    for (int i = 0; i < count; ++i)
        rows << AlarmRow{firstNumber + i,
                         DecodeAlarmRecord(reply, position + alarmlog::kRecordChars * i, m_messages)};
    return rows;
}

}  // namespace tarsyn::reports
