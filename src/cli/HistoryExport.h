#pragma once

#include <QByteArray>
#include <QString>

namespace tarsyn::config {
class Config;
}

namespace tarsyn::cli {

class Terminal;

/// What `history export` was asked for.
struct HistoryRequest {
    QString controller;  ///< the port entry's remark the recorder stores the rows under
    QString channel;     ///< "sj1"…"sj20", 1…20, or the reading's caption in the catalogue language
    QString language;
    bool day = true;
    bool hour = true;
    bool csv = false;
};

/// The channel 0…19 `name` stands for; -1 when none.
int FindHistoryChannel(const config::Config& config, const QString& language, const QString& name);

/// Reads the rows of one controller's channel from the history store system.ini names (the data
/// folder's kalde.db or the configured PostgreSQL), through the curves window's query, into `out`:
/// the curves window's CSV export with `csv`, else one tab-separated line a row (chart, time, value).
int HistoryExport(const config::Config& config, const HistoryRequest& request, Terminal& terminal,
                  QByteArray& out);

}  // namespace tarsyn::cli
