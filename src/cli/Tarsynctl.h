#pragma once

#include <QString>
#include <QStringList>

namespace tarsyn::cli {

/// tarsynctl: the controller from the command line. `arguments` without the program's name;
/// `applicationDir` is the default data folder (the executable's, as for the window program).
/// Data goes to standard output, messages to standard error; returns the exit code.
int RunTarsynctl(const QStringList& arguments, const QString& applicationDir);

/// The overall help, and the help of one sub-command (empty for an unknown one).
QString UsageText();
QString CommandHelp(const QString& command);

}  // namespace tarsyn::cli
