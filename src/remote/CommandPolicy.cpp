#include "remote/CommandPolicy.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include "link/Clock.h"
#include "remote/SeenIds.h"
#include "remote/SignedCommand.h"

namespace tarsyn::remote {

Verdict CommandPolicy::check(const QByteArray& payload, bool retained,
                             const std::function<bool(const QString& controller)>& isTopicController) {
    Verdict v;
    const auto refuse = [&v](const QString& reason) {
        v.reason = reason;
        return v;
    };
    QString why;
    const std::optional<SignedCommand> command = ParseCommand(payload, &why);
    if (command) {
        v.id = command->id;
        v.word = command->command.toLower().left(kMaxIdLength);
    } else {
        // What a message that is no whole signed command says of itself, for its answer and the journal.
        const QJsonObject o = QJsonDocument::fromJson(payload).object();
        v.id = o.value(QStringLiteral("id")).toString().left(kMaxIdLength);
        v.word = o.contains(QStringLiteral("command"))
                     ? o.value(QStringLiteral("command")).toString().toLower().left(kMaxIdLength)
                     : QString::fromUtf8(payload).trimmed().toLower().left(kMaxIdLength);
    }
    // A retained command would act again at every reconnect of every subscriber: whatever it says.
    if (retained) return refuse(QStringLiteral("retained"));
    if (!command) return refuse(why);
    const auto key = m_keys.constFind(command->client);
    if (key == m_keys.cend()) return refuse(QStringLiteral("unknown client"));
    if (!SignatureMatches(*command, *key)) return refuse(QStringLiteral("bad signature"));
    v.client = command->client;
    if (isTopicController && !isTopicController(command->controller))
        return refuse(QStringLiteral("signed for controller %1, not this one").arg(command->controller));
    const QDateTime signedAt = QDateTime::fromString(command->time, Qt::ISODate);
    if (!signedAt.isValid())
        return refuse(QStringLiteral("not a signed command: time \"%1\" is not ISO 8601").arg(command->time));
    const qint64 offMs = m_clock.now().msecsTo(signedAt);
    if (offMs > kFreshSeconds * 1000LL || offMs < -kFreshSeconds * 1000LL)
        return refuse(QStringLiteral("stale: signed %1 s from the site clock (at most %2)")
                          .arg(qAbs(offMs) / 1000)
                          .arg(kFreshSeconds));
    switch (m_seen.claim(command->client, command->id, m_clock.now(), &why)) {
        case SeenIds::Claim::Seen:
            return refuse(QStringLiteral("replayed: id %1 was seen before").arg(command->id));
        case SeenIds::Claim::Failed:
            return refuse(QStringLiteral("the seen ids cannot be kept: %1").arg(why));
        case SeenIds::Claim::New:
            break;
    }
    v.accepted = true;
    return v;
}

}  // namespace tarsyn::remote
