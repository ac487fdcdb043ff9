#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "remote/CommandKeys.h"

namespace tarsyn::link {
class Clock;
}

namespace tarsyn::remote {

class SeenIds;

/// What the policy made of one message on a command topic. The reasons are the protocol's words, in
/// English whatever the language in effect, as the journal keeps them.
struct Verdict {
    bool accepted = false;
    QString reason;                              ///< why it was refused; empty when accepted
    QString client = QStringLiteral("unknown");  ///< the verified sender; "unknown" until the signature held
    QString id;                                  ///< the command's id as sent (empty when there was none)
    QString word;                                ///< the command's word as sent, in lower case
};

/// The freshness window: a command signed further than this from the site clock is stale.
inline constexpr int kFreshSeconds = 30;

/// The rules every remote command passes before it may go near a line, in this order: never retained,
/// a signed command (SignedCommand) of a client of the keys file with a signature that holds, for the
/// controller of its topic, signed within ±30 s of the site clock, with an id not seen in the last 24
/// hours (the id is taken only when everything else held, so a refused message spends nothing). What
/// comes after (the word, the line being busy, the gate) is the caller's.
class CommandPolicy {
public:
    CommandPolicy(CommandKeys keys, SeenIds& seen, const link::Clock& clock)
        : m_keys(std::move(keys)), m_seen(seen), m_clock(clock) {}

    /// `isTopicController` tells whether the command's `controller` field names the controller of the
    /// topic it came on.
    Verdict check(const QByteArray& payload, bool retained,
                  const std::function<bool(const QString& controller)>& isTopicController);

private:
    CommandKeys m_keys;
    SeenIds& m_seen;
    const link::Clock& m_clock;
};

}  // namespace tarsyn::remote
