#pragma once

#include <QByteArray>
#include <QString>

namespace tarsyn::link {
class Clock;
}

namespace tarsyn::cli {

class Terminal;

/// What `tarsynctl remote` was asked for.
struct RemoteRequest {
    QString broker;        ///< mqtt://host:1883 or mqtts://host:8883
    QString client;        ///< the sender's name in the site's keys file
    QString keyFile;       ///< `client key` lines, mode 0600 or 0400; the line of `client` is used
    QString site;          ///< the site's level of the topics
    QString cafile;        ///< the broker's authority (mqtts)
    QString user;          ///< the broker's user, with `passwordFile`
    QString passwordFile;  ///< first line: the password; mode 0600 or 0400
    int timeoutMs = 10000;
    QString command;     ///< start, auto, stop or test
    QString controller;  ///< the controller's remark ("Genset 1") or its level of the topics ("Genset_1")
};

/// Signs the command (remote::SignedCommand, the time of `clock` in UTC, a fresh id), sends it to the
/// controller's command topic (QoS 1, never retained), waits at most the timeout for the result with
/// its id and prints that result (one JSON line) on standard output. kExitOk accepted, kExitDiffers
/// refused, kExitUsage a bad request (said on standard error), kExitLink no broker or no answer.
int SendRemoteCommand(const RemoteRequest& request, const link::Clock& clock, Terminal& terminal);

}  // namespace tarsyn::cli
