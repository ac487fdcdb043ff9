#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace tarsyn::cli {

class Session;

/// The controller's alarm log, every page: a table, or the program's CSV export with `csv`.
int Alarms(Session& session, bool csv);

/// The operating command `name` (start, auto, stop, test, factory) through the program's command
/// procedure. The typed command is the request; only the factory settings ask again (answered by
/// --yes or on a terminal; without either nothing is sent).
int Command(Session& session, const QString& name);
/// The command names in the toolbar's order.
QStringList CommandNames();

/// Calibrates `channel` (a short name such as "gen-l1", the button "btn11", the panel "pnl11" or the
/// reading's caption) with the true value `value`, through the program's calibration procedure.
int Calibrate(Session& session, const QString& channel, const QString& value);
/// The short channel names, in button order, with the program's names beside them for --help.
QStringList CalibrationChannelNames();
/// The button number (11…20) of a channel named as Calibrate takes it; 0 when none. `caption` gives
/// the reading's caption of a button number, for names in the catalogue's language.
int FindCalibrationButton(const QString& name, const std::function<QString(int button)>& caption = {});

}  // namespace tarsyn::cli
