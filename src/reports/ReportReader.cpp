#include "reports/ReportReader.h"

#include <exception>

#include "link/Codec.h"
#include "link/ControllerLink.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"
#include "monitor/PollControl.h"

namespace tarsyn::reports {

namespace {

const QString kBitsRequest = QStringLiteral("0004001A0004");
// The report does not reopen the port, but gives the line a moment after polling stopped.
constexpr int kSettleMs = 600;
// The bits reply holds the four bit bytes of the live block (0x001A-0x001D) from position 7.
constexpr int kFirstBitsPosition = 7;

QString buttonOf(const char* indicator) { return QStringLiteral("btn") + QLatin1String(indicator); }

}  // namespace

QStringList ReportReader::DelayPanels() {
    QStringList panels;
    for (const monitor::BlockField& f : monitor::DelayBlockFields()) panels << QLatin1String(f.panel);
    return panels;
}

QStringList ReportReader::IndicatorButtons() {
    QStringList buttons;
    for (const monitor::BitByte& byte : monitor::LiveBitBytes())
        for (const char* indicator : byte.indicators) buttons << buttonOf(indicator);
    return buttons;
}

bool ReportReader::AlarmIndicator(const QString& button) {
    return monitor::PictureSetOf(button.mid(3)) == monitor::PictureSet::Alarm;
}

void ReportReader::clear(ReportSurface& surface) {
    for (const QString& panel : DelayPanels()) surface.setPanelText(panel, QStringLiteral("0"));
    for (const QString& button : IndicatorButtons()) surface.setIndicatorImage(button, 0);
}

void ReportReader::read(ReportSurface& surface) {
    try {
        monitor::ExclusiveExchange guard(m_poll, monitor::LineActivity::Kind::AlarmLog);
        m_link.sleeper().sleep(kSettleMs);
        guard.poll().setPollState(1);

        // Delays outside their range are another block's bytes: refused, the panels keep "0".
        monitor::BlockTransaction(m_link, monitor::ReplyBlock::Delay, kDelayCount, kDelayWaitMs);
        QString reply = m_link.LastReply();
        if (reply.size() >= kDelayMinimum) {
            // The same fields as the main window's delay panels, one byte each, in decimal.
            for (const monitor::BlockField& f : monitor::DelayBlockFields())
                surface.setPanelText(
                    QLatin1String(f.panel),
                    monitor::FormatValue(link::HexField(reply, f.position, f.width), f.conversion));
        }

        m_link.Transaction(kBitsRequest, kBitsCount, kBitsWaitMs);
        reply = m_link.LastReply();
        if (reply.size() >= kBitsMinimum) {
            int position = kFirstBitsPosition;
            for (const monitor::BitByte& byte : monitor::LiveBitBytes()) {
                const QString bits = link::HexToBits(reply.mid(position - 1, 2));  // bit 7 first
                for (int i = 0; i < 8; ++i)
                    surface.setIndicatorImage(buttonOf(byte.indicators[size_t(i)]),
                                              bits.at(i) == QLatin1Char('1') ? 1 : 0);
                position += 2;
            }
        }
    } catch (const std::exception&) {
        // Swallowed: what was filled stays, the rest shows "0" and white.
    }
}

}  // namespace tarsyn::reports
