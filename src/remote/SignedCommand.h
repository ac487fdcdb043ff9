#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tarsyn::remote {

/// One remote command as it travels on a controller's command topic, as JSON:
///
///     {"command":"start","controller":"Genset_1","time":"2026-12-11T09:00:00Z","id":"…",
///      "client":"hq","sig":"<64 hex digits>"}
///
/// `sig` is HMAC-SHA256, with the key of `client`, over the canonical text: the five other fields in
/// this fixed order, each as written in the JSON (UTF-8), joined by "\n", no line end after the last:
///
///     start\nGenset_1\n2026-12-11T09:00:00Z\n<id>\nhq
///
/// written as 64 lower-case hex digits (upper case is accepted too).
struct SignedCommand {
    QString command;     ///< start, auto, stop or test
    QString controller;  ///< the controller's level of the topic ("Genset_1"), or its remark
    QString time;        ///< when it was signed, ISO 8601 with its offset ("…Z" or "…+01:00")
    QString id;          ///< unique per client: a command with an id seen before never acts
    QString client;      ///< the sender, a name of the keys file
    QString sig;
};

/// The longest id and client name taken; longer ones are refused.
inline constexpr int kMaxIdLength = 64;

/// The text that is signed (see SignedCommand).
QByteArray CanonicalText(const SignedCommand& command);
/// HMAC-SHA256 of the canonical text with `key`, as 64 lower-case hex digits.
QString Signature(const SignedCommand& command, const QByteArray& key);
/// The command as compact JSON, with `sig` as given.
QByteArray CommandJson(const SignedCommand& command);

/// The command of a payload: nullopt (with the reason, naming the field) when it is not a JSON object
/// with the six fields as non-empty strings.
std::optional<SignedCommand> ParseCommand(const QByteArray& payload, QString* why);

/// Whether `given` is the signature of `command` with `key`: compared in a time that does not depend on
/// where the first difference is.
bool SignatureMatches(const SignedCommand& command, const QByteArray& key);

}  // namespace tarsyn::remote
