#include "cli/LiveJob.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include "cli/Options.h"
#include "cli/Session.h"
#include "link/LinkError.h"
#include "link/ReplyCheck.h"
#include "monitor/LiveMap.h"
#include "monitor/LiveReading.h"

namespace tarsyn::cli {

namespace {

// The cycle reads each reply one tick (a second) after its request.
constexpr int kReplyWaitMs = 1000;

/// Reads one block; true when its reply passed the check and was decoded whole.
bool readBlock(Session& session, monitor::ReplyBlock block, monitor::LiveReading& reading) {
    try {
        if (session.link().Transaction(monitor::BlockRequest(block), monitor::BlockReadCount(block),
                                       kReplyWaitMs) != link::ReplyVerdict::Ok)
            return false;
    } catch (const link::LinkError&) {
        return false;
    }
    const QString reply = session.link().LastReply();
    return block == monitor::ReplyBlock::Live ? monitor::DecodeLiveReply(reply, reading)
                                              : monitor::DecodeDelayReply(reply, reading);
}

/// The unit as the window shows it beside the panel.
QString unitText(const char* unit) {
    const QString u = QString::fromLatin1(unit);
    return u == QLatin1String("C") ? QStringLiteral("\u00B0C") : u;
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
    QJsonObject values;
    const auto& liveFields = monitor::LiveValueFields();
    for (size_t i = 0; i < liveFields.size(); ++i) {
        const monitor::FieldValue& v = r.values[i];
        if (!v.valid) continue;
        QJsonObject value{
            {QStringLiteral("value"), v.value},
            {QStringLiteral("unit"), unitText(liveFields[i].unit)},
            {QStringLiteral("caption"), caption(translations, QLatin1String(liveFields[i].panel))}};
        values.insert(QLatin1String(liveFields[i].panel), value);
    }
    o.insert(QStringLiteral("values"), values);
    QJsonObject delays;
    const auto& delayFields = monitor::DelayBlockFields();
    for (size_t i = 0; i < delayFields.size(); ++i) {
        const monitor::FieldValue& v = r.delays[i];
        if (!v.valid) continue;
        delays.insert(QLatin1String(delayFields[i].panel),
                      QJsonObject{{QStringLiteral("value"), v.value},
                                  {QStringLiteral("caption"),
                                   caption(translations, QLatin1String(delayFields[i].panel))}});
    }
    o.insert(QStringLiteral("delays"), delays);
    QJsonObject indicators;
    for (const QString& name : monitor::IndicatorNames())
        if (const std::optional<bool> on = r.indicator(name)) indicators.insert(name, *on);
    o.insert(QStringLiteral("indicators"), indicators);
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
          << number(liveFields[i], r.values[i]) << '\t' << unitText(liveFields[i].unit) << '\n';
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

}  // namespace

int Live(Session& session, bool json, bool watch, int intervalSeconds) {
    const config::IniSection translations = session.translations();
    for (;;) {
        monitor::LiveReading reading;
        reading.port = session.portName();
        const bool live = readBlock(session, monitor::ReplyBlock::Live, reading);
        const bool delays = live && readBlock(session, monitor::ReplyBlock::Delay, reading);
        reading.time = QDateTime::currentDateTime();
        reading.linked = live;
        const QString port = session.portName();
        if (!watch) {
            if (!live || !delays) {
                session.prompter().error(session.message("dl4"));
                return kExitLink;
            }
            session.out() +=
                (json ? QString::fromUtf8(QJsonDocument(jsonOf(reading, port, true, translations))
                                              .toJson(QJsonDocument::Indented))
                      : tableOf(reading, port, true, translations))
                    .toUtf8();
            return kExitOk;
        }
        const QByteArray out =
            json ? QJsonDocument(jsonOf(reading, port, live, translations)).toJson(QJsonDocument::Compact) +
                       '\n'
                 : tableOf(reading, port, live, translations).toUtf8() + '\n';
        session.terminal().out(out);
        // The two reads took about two seconds of the interval.
        session.link().sleeper().sleep(qMax(0, intervalSeconds * 1000 - 2 * kReplyWaitMs));
    }
}

}  // namespace tarsyn::cli
