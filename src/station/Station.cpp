#include "station/Station.h"

#include "config/Config.h"

namespace tarsyn::station {

Station::Station(link::SerialPort& port, link::Sleeper& sleeper, const link::Clock& clock,
                 const config::LiveSettings& settings, const config::Messages& messages, QObject* parent)
    : QObject(parent), m_meter(port, clock), m_link(m_meter, sleeper) {
    setObjectName(QStringLiteral("station"));
    // A child, so that moveToThread takes the cycle and its timer along.
    m_poll = std::make_unique<monitor::PollCycle>(m_meter, sleeper, clock, settings, messages, m_view, this);
    m_poll->addSubscriber(&m_record);
}

Station::~Station() { m_poll->stopTimer(); }

bool Station::portsConfigured(const config::Config& config) {
    return config.reini(QStringLiteral("system.ini"), QStringLiteral("Set"), QStringLiteral("Ports")) !=
           QLatin1String("0");
}

void Station::start(bool portsConfigured) {
    m_poll->ClearLiveDisplay();
    m_poll->initialise(portsConfigured);
    m_poll->startTimer();
}

void Station::stop() { m_poll->stopTimer(); }

std::optional<monitor::LiveReading> Station::latest(const QString& controller) const {
    const auto it = m_latest.constFind(controller.trimmed());
    if (it == m_latest.cend()) return std::nullopt;
    return *it;
}

monitor::LiveReading& Station::entry(const QString& remark) {
    const QString key = remark.trimmed();
    if (!m_latest.contains(key)) m_order << key;
    return m_latest[key];
}

void Station::Record::readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                                     const QString&) {
    // The cycle's reading is cleared at every change of entry; a controller keeps here the last fields
    // of each block it answered, whichever entry is polled now.
    monitor::LiveReading& kept = m_station.entry(reading.remark);
    kept.time = reading.time;
    kept.remark = reading.remark;
    kept.port = reading.port;
    kept.linked = reading.linked;
    kept.linkChangedAt = reading.linkChangedAt;
    if (block == monitor::ReplyBlock::Live) {
        kept.values = reading.values;
        kept.bitBytes = reading.bitBytes;
    } else {
        kept.delays = reading.delays;
    }
}

void Station::Record::linkChanged(const monitor::LinkChange& change) {
    monitor::LiveReading& kept = m_station.entry(change.remark);
    kept.remark = change.remark;
    kept.port = change.port;
    kept.linked = change.linked;
    kept.linkChangedAt = change.time;
}

}  // namespace tarsyn::station
