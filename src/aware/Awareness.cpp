#include "aware/Awareness.h"

#include "aware/JournalTexts.h"
#include "config/Config.h"
#include "config/LiveSettings.h"
#include "history/Journal.h"
#include "history/JournalStore.h"
#include "link/Clock.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"
#include "monitor/LiveView.h"
#include "monitor/PollCycle.h"

namespace tarsyn::aware {

namespace {
const QString kTimeFormat = QStringLiteral("HH:mm:ss");
}  // namespace

Awareness::Awareness(const link::Clock& clock, const config::Config& config,
                     const config::LiveSettings& settings, history::Journal& journal, Notifier& notifier,
                     QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_config(config),
      m_settings(settings),
      m_journal(journal),
      m_notifier(notifier) {}

void Awareness::loadCatalogue() const {
    const QString language = m_settings.language();
    if (language == m_catalogueLanguage && m_translations.size() > 0) return;
    const QString file = language + QStringLiteral(".lag");
    m_translations = m_config.readSection(file, QStringLiteral("Translations"));
    m_messageTexts = m_config.readSection(file, QStringLiteral("Messages"));
    m_catalogueLanguage = language;
}

QString Awareness::translation(const QString& key, const QString& fallback) const {
    loadCatalogue();
    const QString t = m_translations.value(key, QString());
    return t.isEmpty() ? fallback : t;
}

// As config::Messages: a missing key gives "0".
QString Awareness::message(const QString& key) const {
    loadCatalogue();
    return m_messageTexts.value(key);
}

QString Awareness::indicatorText(const QString& indicator) const {
    return translation(QStringLiteral("lbl") + indicator + QStringLiteral(".Caption"), indicator);
}

QString Awareness::valueText(const QString& panel) const {
    return translation(QStringLiteral("lbl") + panel.mid(3) + QStringLiteral(".Caption"), panel);
}

void Awareness::recordLiveReply(const QString& reply, const QString& remark) {
    if (reply.size() >= monitor::kLiveReplyMinimum) takeReading(monitor::LiveReadingOf(reply), remark);
    if (m_next) m_next->recordLiveReply(reply, remark);
}

void Awareness::readingArrived(const monitor::LiveReading& reading, monitor::ReplyBlock block,
                               const QString& reply) {
    if (block == monitor::ReplyBlock::Live && reply.size() >= monitor::kLiveReplyMinimum)
        takeReading(reading, reading.remark);
}

void Awareness::takeReading(const monitor::LiveReading& reading, const QString& remark) {
    const QDateTime now = m_clock.now();
    const QString controller = remark.trimmed();
    const QVector<AlarmEdge> edges = m_edges.update(controller, reading);
    if (!IndicatorBits(reading).isEmpty()) m_lastReply.insert(controller, now);
    // What one reply changed is written together: a killed program keeps all of it or none.
    history::JournalGroup group(m_journal);
    for (const AlarmEdge& e : edges) alarmEdge(controller, e, now);
    for (const WatchChange& c : m_watch.update(controller, reading, now)) watchChange(controller, c, now);
}

void Awareness::alarmEdge(const QString& controller, const AlarmEdge& edge, const QDateTime& now) {
    const QString what = indicatorText(edge.indicator);
    const history::JournalKind kind = edge.atStart  ? history::JournalKind::AlarmActiveAtStart
                                      : edge.raised ? history::JournalKind::AlarmRaised
                                                    : history::JournalKind::AlarmCleared;
    m_journal.recordWithData(kind, controller, edge.indicator + QLatin1Char(' ') + what,
                             alarmData(edge.indicator));
    if (edge.raised) notify(controller, edge.indicator, what, now);
}

void Awareness::watchChange(const QString& controller, const WatchChange& c, const QDateTime& now) {
    const WatchLimit& l = m_watch.limits().at(c.limit);
    const double limit = c.low ? *l.low : *l.high;
    // "Own limit: battery voltage below 23 (22.8)": marked as the operator's, never the controller's.
    const QString what = message(c.low ? QStringLiteral("awlow") : QStringLiteral("awhigh"))
                             .arg(valueText(l.panel), QString::number(limit), QString::number(c.value));
    m_journal.recordWithData(
        c.raised ? history::JournalKind::WatchRaised : history::JournalKind::WatchCleared, controller,
        l.panel + QLatin1Char(' ') + what, watchData(l.panel, c.low, limit, c.value));
    if (c.raised)
        notify(controller, QStringLiteral("watch%1%2").arg(c.limit).arg(c.low ? 'L' : 'H'), what, now);
}

void Awareness::notify(const QString& controller, const QString& key, const QString& what,
                       const QDateTime& now) {
    int repeats = 0;
    if (!m_limiter.allow(controller, key, now, &repeats)) return;
    QString text = message(QStringLiteral("awnote")).arg(what, now.toString(kTimeFormat));
    if (repeats > 0) text += QLatin1Char(' ') + message(QStringLiteral("awrepeat")).arg(repeats);
    m_notifier.notify(controller, text);
}

void Awareness::afterTick(const TickState& state) {
    TickState s = state;
    s.controller = s.controller.trimmed();
    const QDateTime now = m_clock.now();
    switch (m_links.update(s, now)) {
        case LinkWatch::Change::Lost:
            m_journal.record(history::JournalKind::LinkLost, s.controller, QString());
            break;
        case LinkWatch::Change::Regained:
            m_journal.record(history::JournalKind::LinkRegained, s.controller, QString());
            break;
        case LinkWatch::Change::FirstLink:
        case LinkWatch::Change::None:
            break;
    }
    m_tick = s;
    publish();
}

void Awareness::tickEnded(const monitor::TickEnd& end) { afterTick(TickState::of(end, end.remark)); }

void Awareness::afterTickOf(monitor::PollCycle& poll) {
    TickState s;
    s.controller = poll.view().remarkText();
    s.linked = poll.answering();
    s.rotation = poll.RotationMode();
    s.connectionStepRan = poll.nextRefreshTime() != m_lastRefresh;
    m_lastRefresh = poll.nextRefreshTime();
    afterTick(s);
}

AwarenessStatus Awareness::status() const {
    AwarenessStatus st;
    const QString& c = m_tick.controller;
    st.controller = c;
    switch (m_links.state(c)) {
        case LinkWatch::State::NeverLinked:
            st.linkText = message(QStringLiteral("awnever"));
            break;
        case LinkWatch::State::Lost:
            st.linkText = message(QStringLiteral("awlost")).arg(m_links.lostSince(c).toString(kTimeFormat));
            break;
        case LinkWatch::State::Linked:
            st.linkText = message(QStringLiteral("awlinked"));
            break;
    }
    // The colour says what the text says: in rotation mode the entry just reached keeps its state until
    // it has had its chance to answer, and is not drawn as a loss meanwhile.
    st.linkWarning = m_links.state(c) != LinkWatch::State::Linked;
    st.stale = !m_tick.linked;
    const QDateTime last = m_lastReply.value(c);
    st.lastReplyText = last.isValid() ? message(QStringLiteral("awlast")).arg(last.toString(kTimeFormat))
                                      : message(QStringLiteral("awnoreply"));
    st.alarms = int(m_edges.active(c).size());
    st.ownWarnings = m_watch.activeCount(c);
    st.alarmsKnown = m_tick.linked;
    if (!st.alarmsKnown) {
        // Without a link the controller may have raised or cleared anything since its last reply: a
        // count of 0 would read as "all well", an old count as a current one.
        st.alarmText = message(QStringLiteral("awalarmsunknown"));
        return st;
    }
    st.warnedPanels = m_watch.activePanels(c);
    st.alarmText = message(QStringLiteral("awalarms")).arg(st.alarms);
    if (st.ownWarnings > 0)
        st.alarmText += QStringLiteral("  ") + message(QStringLiteral("awown")).arg(st.ownWarnings);
    return st;
}

void Awareness::publish() {
    const AwarenessStatus st = status();
    if (m_published && st == m_shown) return;
    m_shown = st;
    m_published = true;
    if (m_view) m_view->showAwareness(st);
    emit statusChanged();
}

bool SoundEnabled(const config::Config& config) {
    return config.reini(QStringLiteral("system.ini"), QStringLiteral("Aware"), QStringLiteral("sound"))
               .trimmed() == QLatin1String("1");
}

int JournalRetentionSetting(const config::Config& config) {
    return history::JournalRetentionDays(
        config.reini(QStringLiteral("system.ini"), QStringLiteral("Aware"), QStringLiteral("days")));
}

}  // namespace tarsyn::aware
