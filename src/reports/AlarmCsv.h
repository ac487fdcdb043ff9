#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "reports/AlarmHistory.h"

namespace tarsyn::reports {

/// The alarm log as CSV: a header line, then number, code, text and time of every record. UTF-8
/// with a byte-order mark (spreadsheets then read the Chinese texts right), CR LF line ends, and a
/// field quoted only when it holds a comma, a quote or a line break (quotes doubled).
QByteArray AlarmCsv(const QStringList& header, const QList<AlarmRow>& rows);

/// How far an export has got.
using ExportProgress = LogProgress;

/// Exports the whole alarm log to a CSV file: the count and every page are read afresh (the same
/// exchanges as the window's), all inside one exchange guard, and the file is written only when the
/// log was read completely. The outcome is shown in a box: `csvdone` and the path, `csvnocount`
/// when the count got no answer, `csvfail` and the page that got none, or the file's error.
class AlarmCsvExport {
public:
    AlarmCsvExport(AlarmHistory& history, config::Prompter& prompter, MessageLookup messages);

    /// Reads every page and writes `path`; true when the file was written.
    bool run(const QString& path, const ExportProgress& progress = {});

    /// The header line's captions: `dl30`, `csvcode`, `dl31`, `dl32`.
    QStringList header() const;

private:
    AlarmHistory& m_history;
    config::Prompter& m_prompter;
    MessageLookup m_messages;
};

}  // namespace tarsyn::reports
