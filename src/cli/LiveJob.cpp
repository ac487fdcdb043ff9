#include "cli/LiveJob.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include "cli/Options.h"
#include "cli/Session.h"
#include "link/LinkError.h"
#include "link/LinkMeter.h"
#include "link/ReplyCheck.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"
#include "monitor/ReadingJson.h"

namespace tarsyn::cli {

namespace {

// The cycle reads each reply one tick (a second) after its request.
constexpr int kReplyWaitMs = 1000;

/// Reads one block; true when its reply passed the check and was decoded whole.
bool readBlock(link::ControllerLink& line, monitor::ReplyBlock block, monitor::LiveReading& reading) {
    try {
        // A frame whose values are outside what a set can show is refused as a check error.
        if (monitor::BlockTransaction(line, block, monitor::BlockReadCount(block), kReplyWaitMs) !=
            link::ReplyVerdict::Ok)
            return false;
    } catch (const link::LinkError&) {
        return false;
    }
    const QString reply = line.LastReply();
    return block == monitor::ReplyBlock::Live ? monitor::DecodeLiveReply(reply, reading)
                                              : monitor::DecodeDelayReply(reply, reading);
}

/// The caption the window shows for a value panel or an indicator, else its name.
QString caption(const config::IniSection& translations, const QString& name) {
    const QString key = QStringLiteral("lbl") + (name.startsWith(QLatin1String("pnl")) ? name.mid(3) : name) +
                        QStringLiteral(".Caption");
    const QString text = translations.value(key, QString());
    return text.isEmpty() ? name : text;
}

/// A value with the decimals its panel shows.
QString number(const monitor::BlockField& field, const monitor::FieldValue& v) {
    return QString::number(v.value, 'f', field.divisor() == 100 ? 2 : field.divisor() == 10 ? 1 : 0);
}

QJsonObject jsonOf(const monitor::LiveReading& r, const QString& port, bool linked,
                   const config::IniSection& translations) {
    QJsonObject o;
    o.insert(QStringLiteral("time"), r.time.toOffsetFromUtc(r.time.offsetFromUtc()).toString(Qt::ISODate));
    o.insert(QStringLiteral("port"), port);
    o.insert(QStringLiteral("linked"), linked);
    // The one serializer of a reading, as the broker's state message has it, with the captions.
    // Without a catalogue caption the member is left out: the panel id is there already.
    const monitor::CaptionOf captionOf = [&translations](const QString& name) {
        const QString text = caption(translations, name);
        return text == name ? QString() : text;
    };
    o.insert(QStringLiteral("values"), monitor::ReadingJson::values(r, captionOf));
    o.insert(QStringLiteral("delays"), monitor::ReadingJson::delays(r, captionOf));
    o.insert(QStringLiteral("indicators"), monitor::ReadingJson::indicators(r));
    QJsonArray active;
    for (const QString& name : r.activeIndicators())
        active.append(QJsonObject{{QStringLiteral("name"), name},
                                  {QStringLiteral("caption"), caption(translations, name)}});
    o.insert(QStringLiteral("active"), active);
    return o;
}

QString tableOf(const monitor::LiveReading& r, const QString& port, bool linked,
                const config::IniSection& translations) {
    QString text;
    QTextStream s(&text);
    s << port << '\t' << r.time.toString(Qt::ISODate) << '\t' << (linked ? "linked" : "not linked") << '\n';
    const auto& liveFields = monitor::LiveValueFields();
    for (size_t i = 0; i < liveFields.size(); ++i) {
        if (!r.values[i].valid) continue;
        s << caption(translations, QLatin1String(liveFields[i].panel)) << '\t'
          << number(liveFields[i], r.values[i]) << '\t' << monitor::UnitText(liveFields[i].unit) << '\n';
    }
    const auto& delayFields = monitor::DelayBlockFields();
    for (size_t i = 0; i < delayFields.size(); ++i) {
        if (!r.delays[i].valid) continue;
        s << caption(translations, QLatin1String(delayFields[i].panel)) << '\t'
          << number(delayFields[i], r.delays[i]) << '\n';
    }
    QStringList active;
    // Inputs may share an alarm's caption: the name tells them apart.
    for (const QString& name : r.activeIndicators())
        active << QStringLiteral("%1 [%2]").arg(caption(translations, name), name);
    s << "indicators on" << '\t'
      << (active.isEmpty() ? QStringLiteral("-") : active.join(QStringLiteral(", "))) << '\n';
    s.flush();
    return text;
}

/// The line's counters: rows of caption, since start, last hour; or a JSON object of the two.
QString statsTable(Session& session, const link::LinkMeter& meter) {
    const link::LinkTally total = meter.sinceStart(session.portName());
    const link::LinkTally hour = meter.lastHour(session.portName());
    QString text;
    QTextStream s(&text);
    // A reply time without any complete reply is "-" (null in JSON).
    const auto figure = [](qint64 v) { return v < 0 ? QStringLiteral("-") : QString::number(v); };
    s << '\t' << session.text("dgsince", "Since start") << '\t' << session.text("dghour", "Last hour")
      << '\n';
    for (const link::LinkTallyField& f : link::LinkTallyFields())
        s << session.text(f.key, f.english) << '\t' << figure(total.*f.value) << '\t' << figure(hour.*f.value)
          << '\n';
    s.flush();
    return text;
}

QJsonObject statsJson(Session& session, const link::LinkMeter& meter) {
    QJsonObject o;
    const std::pair<const char*, link::LinkTally> spans[] = {
        {"sinceStart", meter.sinceStart(session.portName())},
        {"lastHour", meter.lastHour(session.portName())}};
    for (const auto& [name, tally] : spans) {
        QJsonObject figures;
        for (const link::LinkTallyField& f : link::LinkTallyFields())
            figures.insert(QLatin1String(f.json),
                           tally.*f.value < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(tally.*f.value));
        o.insert(QLatin1String(name), figures);
    }
    return o;
}

}  // namespace

int Live(Session& session, bool json, bool watch, int intervalSeconds, bool stats) {
    const config::IniSection translations = session.translations();
    // Every exchange of the job is counted, as the window program's station counts its line.
    link::SystemClock clock;
    link::LinkMeter meter(session.link().port(), clock);
    link::ControllerLink line(meter, session.link().sleeper());
    line.setSlowLine(session.settings().timeoutMs, session.settings().retries);
    const auto withStats = [&](QJsonObject o) {
        if (stats) o.insert(QStringLiteral("stats"), statsJson(session, meter));
        return o;
    };
    // A watch prints on a fixed grid of the refresh time, whether the controller answered or not: a
    // silent controller's poll is shorter, and must not make the watch print more often.
    QElapsedTimer watchClock;
    watchClock.start();
    qint64 due = 0;
    for (;;) {
        monitor::LiveReading reading;
        reading.port = session.portName();
        const bool live = readBlock(line, monitor::ReplyBlock::Live, reading);
        const bool delays = live && readBlock(line, monitor::ReplyBlock::Delay, reading);
        reading.time = QDateTime::currentDateTime();
        reading.linked = live;
        const QString port = session.portName();
        if (!watch) {
            if (!live || !delays) {
                // What the line did is what a technician asks for when it does not answer.
                if (stats)
                    session.out() += (json ? QJsonDocument(withStats({})).toJson(QJsonDocument::Indented)
                                           : statsTable(session, meter).toUtf8());
                session.prompter().error(session.message("dl4"));
                return kExitLink;
            }
            session.out() +=
                (json ? QString::fromUtf8(QJsonDocument(withStats(jsonOf(reading, port, true, translations)))
                                              .toJson(QJsonDocument::Indented))
                      : tableOf(reading, port, true, translations) +
                            (stats ? statsTable(session, meter) : QString()))
                    .toUtf8();
            return kExitOk;
        }
        const QByteArray out = json ? QJsonDocument(withStats(jsonOf(reading, port, live, translations)))
                                              .toJson(QJsonDocument::Compact) +
                                          '\n'
                                    : (tableOf(reading, port, live, translations) +
                                       (stats ? statsTable(session, meter) : QString()))
                                              .toUtf8() +
                                          '\n';
        session.terminal().out(out);
        // The next slot of the grid; a poll longer than the refresh time goes on at once.
        const qint64 elapsed = watchClock.elapsed();
        due = qMax(due + qint64(intervalSeconds) * 1000, elapsed);
        line.sleeper().sleep(int(due - elapsed));
    }
}

}  // namespace tarsyn::cli
