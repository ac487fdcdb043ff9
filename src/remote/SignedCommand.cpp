#include "remote/SignedCommand.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>

namespace tarsyn::remote {

namespace {

const char* const kFields[] = {"command", "controller", "time", "id", "client", "sig"};

}  // namespace

QByteArray CanonicalText(const SignedCommand& c) {
    return QStringList{c.command, c.controller, c.time, c.id, c.client}.join(QLatin1Char('\n')).toUtf8();
}

QString Signature(const SignedCommand& command, const QByteArray& key) {
    return QString::fromLatin1(
        QMessageAuthenticationCode::hash(CanonicalText(command), key, QCryptographicHash::Sha256).toHex());
}

QByteArray CommandJson(const SignedCommand& c) {
    QJsonObject o;
    o.insert(QStringLiteral("command"), c.command);
    o.insert(QStringLiteral("controller"), c.controller);
    o.insert(QStringLiteral("time"), c.time);
    o.insert(QStringLiteral("id"), c.id);
    o.insert(QStringLiteral("client"), c.client);
    o.insert(QStringLiteral("sig"), c.sig);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<SignedCommand> ParseCommand(const QByteArray& payload, QString* why) {
    const QJsonDocument doc = QJsonDocument::fromJson(payload);
    if (!doc.isObject()) {
        if (why)
            *why = QStringLiteral(
                "not a signed command (a JSON object with command, controller, time, id, "
                "client and sig)");
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    QString values[6];
    for (int i = 0; i < 6; ++i) {
        const QJsonValue v = o.value(QLatin1String(kFields[i]));
        if (!v.isString() || v.toString().isEmpty()) {
            if (why)
                *why =
                    QStringLiteral("not a signed command: \"%1\" is missing").arg(QLatin1String(kFields[i]));
            return std::nullopt;
        }
        values[i] = v.toString();
    }
    SignedCommand c{values[0], values[1], values[2], values[3], values[4], values[5]};
    if (c.id.size() > kMaxIdLength || c.client.size() > kMaxIdLength) {
        if (why)
            *why = QStringLiteral("not a signed command: id and client are 1 to %1 characters")
                       .arg(kMaxIdLength);
        return std::nullopt;
    }
    return c;
}

bool SignatureMatches(const SignedCommand& command, const QByteArray& key) {
    const QByteArray expected = Signature(command, key).toLatin1();
    const QByteArray given = command.sig.toLower().toLatin1();
    if (given.size() != expected.size()) return false;
    unsigned char diff = 0;
    for (int i = 0; i < expected.size(); ++i) diff |= static_cast<unsigned char>(expected[i] ^ given[i]);
    return diff == 0;
}

}  // namespace tarsyn::remote
