#pragma once

#include <QDateTime>
#include <QString>
#include <memory>

#include "history/HistoryStore.h"

namespace tarsyn::remote {

/// The command ids seen in the last 24 hours, by client, in a table of the history database
/// ("remote_command_ids": "client", "id", "seen_ms" milliseconds since 1970 UTC), so that a restart
/// does not make a message sent before it good again. SQLite and PostgreSQL alike. Uses a connection
/// of its own, opened on the thread of the first claim and used there only.
class SeenIds {
public:
    static constexpr qint64 kKeepMs = 24LL * 3600 * 1000;

    SeenIds(history::HistoryLocation location, std::shared_ptr<history::WriteTurns> turns);
    ~SeenIds();
    SeenIds(const SeenIds&) = delete;
    SeenIds& operator=(const SeenIds&) = delete;

    enum class Claim { New, Seen, Failed };
    /// Records `id` of `client` as seen at `now`: New the first time within 24 hours, Seen after that,
    /// Failed (with `why`) when the database cannot say, which the caller takes as a refusal. Ids older
    /// than 24 hours are forgotten on the way.
    Claim claim(const QString& client, const QString& id, const QDateTime& now, QString* why);

private:
    bool open(QString* why);

    history::HistoryLocation m_location;
    std::shared_ptr<history::WriteTurns> m_turns;
    QString m_connectionName;
    bool m_open = false;
};

}  // namespace tarsyn::remote
