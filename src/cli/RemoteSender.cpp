#include "cli/RemoteSender.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QUuid>
#include <condition_variable>
#include <mutex>

#include "cli/Console.h"
#include "cli/Options.h"
#include "link/Clock.h"
#include "publish/Messages.h"
#include "publish/MqttClient.h"
#include "publish/MqttSettings.h"
#include "remote/CommandKeys.h"
#include "remote/SignedCommand.h"

namespace tarsyn::cli {

namespace {

// The sender waits on its own thread; the client's handlers (its network thread) tell it.
struct Waiting {
    std::mutex mutex;
    std::condition_variable changed;
    QByteArray result;
    QString lost;
    bool sent = false;
};

QString modeText(int mode) { return QStringLiteral("%1").arg(mode, 4, 8, QLatin1Char('0')); }

}  // namespace

int SendRemoteCommand(const RemoteRequest& request, const link::Clock& clock, Terminal& terminal) {
    const auto usage = [&terminal](const QString& text) {
        terminal.line(QStringLiteral("tarsynctl remote: ") + text);
        return kExitUsage;
    };
    bool known = false;
    for (const publish::RemoteCommand& c : publish::kRemoteCommands)
        known = known || request.command == QLatin1String(c.word);
    if (!known)
        return usage(QStringLiteral("COMMAND is start, auto, stop or test, not \"%1\"").arg(request.command));
    const QString level = publish::TopicLevel(request.controller);
    if (level.isEmpty()) return usage(QStringLiteral("CONTROLLER is empty"));
    std::optional<publish::MqttSettings> broker = publish::BrokerFromUrl(request.broker);
    if (!broker)
        return usage(
            QStringLiteral("--broker \"%1\" is not understood: write mqtt://host:1883 or mqtts://host:8883")
                .arg(request.broker));
    if (request.client.isEmpty() || request.keyFile.isEmpty())
        return usage(QStringLiteral("--client and --key-file are needed"));
    const remote::CommandKeysLoad keys = remote::LoadCommandKeys(request.keyFile);
    if (keys.problem == remote::KeysProblem::Mode)
        return usage(QStringLiteral("--key-file %1 has mode %2: it must be 0600 or 0400 (chmod 600 %1)")
                         .arg(request.keyFile, modeText(keys.mode)));
    if (!keys.keys || !keys.keys->contains(request.client))
        return usage(
            QStringLiteral("--key-file %1 has no \"%2 KEY\" line").arg(request.keyFile, request.client));
    if (!request.passwordFile.isEmpty()) {
        int mode = 0;
        if (!remote::OwnerOnlyFile(request.passwordFile, &mode))
            return usage(mode < 0
                             ? QStringLiteral("--password-file %1 cannot be read").arg(request.passwordFile)
                             : QStringLiteral("--password-file %1 has mode %2: it must be 0600 or 0400")
                                   .arg(request.passwordFile, modeText(mode)));
        QFile file(request.passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return usage(QStringLiteral("--password-file %1 cannot be read").arg(request.passwordFile));
        broker->password =
            QString::fromUtf8(file.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    }
    broker->user = request.user;
    broker->cafile = request.cafile;
    const QString site =
        request.site.isEmpty() ? publish::TopicLevel(QSysInfo::machineHostName()) : request.site;
    if (publish::TopicLevel(site) != site || site.isEmpty())
        return usage(QStringLiteral("--site \"%1\" cannot be a level of a topic").arg(site));
    if (request.timeoutMs < 100 || request.timeoutMs > 60000)
        return usage(QStringLiteral("--timeout is whole milliseconds from 100 to 60000"));

    remote::SignedCommand command;
    command.command = request.command;
    command.controller = level;
    command.time = clock.now().toUTC().toString(Qt::ISODate);
    command.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    command.client = request.client;
    command.sig = remote::Signature(command, keys.keys->value(request.client));
    const QByteArray payload = remote::CommandJson(command);
    const publish::Topics topics(site);
    const QByteArray commandTopic = topics.command(level), resultTopic = topics.commandResult(level);

    Waiting waiting;
    publish::MqttClient* client = nullptr;
    publish::MqttClient::Handlers h;
    h.connected = [&] {
        std::lock_guard<std::mutex> lock(waiting.mutex);
        // Once only: a reconnect must not send the command again.
        if (waiting.sent) return;
        client->subscribe(resultTopic, 1);
        // The broker takes the subscription before the command, in the order they were sent.
        waiting.sent = client->publish(commandTopic, payload, 1, false) >= 0;
        waiting.lost.clear();
    };
    h.lost = [&](const QString& why) {
        std::lock_guard<std::mutex> lock(waiting.mutex);
        waiting.lost = why;
    };
    h.message = [&](const QByteArray& topic, const QByteArray& message, bool retained) {
        if (topic != resultTopic || retained) return;
        if (QJsonDocument::fromJson(message).object().value(QStringLiteral("id")).toString() != command.id)
            return;
        std::lock_guard<std::mutex> lock(waiting.mutex);
        waiting.result = message;
        waiting.changed.notify_all();
    };
    publish::MqttClient mqtt(*broker,
                             QStringLiteral("tarsynctl-remote-%1").arg(QCoreApplication::applicationPid()),
                             QByteArray(), QByteArray(), h);
    client = &mqtt;
    QString why;
    if (!mqtt.start(&why)) {
        terminal.line(QStringLiteral("tarsynctl remote: %1").arg(why));
        return kExitLink;
    }
    QByteArray result;
    QString lost;
    bool sent = false;
    {
        std::unique_lock<std::mutex> lock(waiting.mutex);
        waiting.changed.wait_for(lock, std::chrono::milliseconds(request.timeoutMs),
                                 [&] { return !waiting.result.isEmpty(); });
        result = waiting.result;
        lost = waiting.lost;
        sent = waiting.sent;
    }
    mqtt.stop();
    if (result.isEmpty()) {
        if (!sent)
            terminal.line(QStringLiteral("tarsynctl remote: no broker at %1 within %2 ms%3")
                              .arg(request.broker)
                              .arg(request.timeoutMs)
                              .arg(lost.isEmpty() ? QString() : QStringLiteral(": ") + lost));
        else
            terminal.line(QStringLiteral("tarsynctl remote: no answer on %1 within %2 ms (id %3)")
                              .arg(QString::fromUtf8(resultTopic))
                              .arg(request.timeoutMs)
                              .arg(command.id));
        return kExitLink;
    }
    terminal.out(result + '\n');
    return QJsonDocument::fromJson(result).object().value(QStringLiteral("accepted")).toBool() ? kExitOk
                                                                                               : kExitDiffers;
}

}  // namespace tarsyn::cli
