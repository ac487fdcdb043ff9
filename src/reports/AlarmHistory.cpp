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
    m_state.totalText.clear();
    m_state.rows.clear();
}

void AlarmHistory::closed() {
    m_state.firstEnabled = m_state.previousEnabled = m_state.nextEnabled = m_state.lastEnabled = false;
}

void AlarmHistory::firstRead() {
    m_state.pictureEnabled = false;
    QString reply;
    try {
        monitor::ExclusiveExchange guard(m_poll);
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
        if (!accepted(reply, alarmlog::kFirstCount, alarmlog::kFirstHeader)) return;

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
        m_state.rows = decodeRows(reply, alarmlog::kFirstRecordPosition, rows, 1);
        if (rows > 0) m_state.pageCaptionsEnabled = m_state.pictureEnabled = true;
    } catch (const link::LinkError& e) {
        m_prompter.error(e.message());
    }
}

QString AlarmHistory::exchangePage(int page, const std::function<void(int)>& afterWait) {
    const QString request = AlarmPageRequest(page);
    for (int i = 0; i < kPageWaits; ++i) {
        m_poll.setPollState(1);
        m_link.sleeper().sleep(kPageWaitMs);
        if (afterWait) afterWait(i + 1);
    }
    m_poll.setPollState(1);
    m_link.Transaction(request, alarmlog::kPageCount, alarmlog::kWaitMs);
    const QString reply = m_link.LastReply();
    return accepted(reply, alarmlog::kPageCount, alarmlog::kPageHeader) ? reply : QString();
}

void AlarmHistory::readPage(int page) {
    m_page = page;
    m_state.pictureEnabled = false;
    try {
        QString reply;
        {
            monitor::ExclusiveExchange guard(m_poll);
            reply = exchangePage(page);
        }
        // A port error has left by now, before the list is emptied: the previous page stays.
        m_state.rows.clear();
        if (reply.isEmpty()) return;
        const int rows = AlarmRowsOnPage(m_total, page);
        m_state.pageText = QString::number(page);
        // Page 1 is tested before the last page, so a one-page log would still offer "next".
        bool back = true, forward = true;
        if (page == 1)
            back = false;
        else if (page == m_pageCount)
            forward = false;
        m_state.firstEnabled = m_state.previousEnabled = back;
        m_state.nextEnabled = m_state.lastEnabled = forward;
        m_state.rows =
            decodeRows(reply, alarmlog::kPageRecordPosition, rows, alarmlog::kRowsPerPage * (page - 1) + 1);
        m_state.pictureEnabled = true;
    } catch (const link::LinkError& e) {
        m_prompter.error(e.message());
    }
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
