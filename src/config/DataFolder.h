#pragma once

#include <QString>
#include <QStringList>

namespace tarsyn::config {

/// Where system.ini, the catalogues, the help files and the history live, or why there is none.
struct DataFolder {
    QString path;   ///< absolute, without a trailing separator
    QString error;  ///< empty when `path` is usable
    /// The user's own folder of an installed program: `tarsyn --init-config` creates it when missing.
    bool perUser = false;
    bool ok() const { return error.isEmpty(); }
};

/// The data folder from the program's arguments: `--data-dir DIR` (or `--data-dir=DIR`; the last one
/// given wins; a relative DIR is taken from the working directory), else `applicationDir`, the folder
/// of the executable, when it holds a system.ini or is a writable folder of its own (a build folder, an
/// unpacked copy), else `userDataFolder` (an installed program's executable sits in a shared folder
/// such as /usr/bin: see ShippedFolder). The working directory is never the default. A folder that
/// does not exist, is not a folder or cannot be read gives an error text naming it.
DataFolder ResolveDataFolder(const QStringList& arguments, const QString& applicationDir,
                             const QString& userDataFolder);
/// The same with QCoreApplication::applicationDirPath() and UserDataFolder() as the defaults.
DataFolder ResolveDataFolder(const QStringList& arguments);

/// Where the program's own catalogues and help files are: "<applicationDir>/../share/tarsyn" when it
/// exists (an installed program: /usr/bin beside /usr/share/tarsyn, or any prefix), else
/// `applicationDir` itself (a build folder keeps them beside the executables).
QString ShippedFolder(const QString& applicationDir);

/// The user's data folder of an installed program: "$XDG_DATA_HOME/tarsyn", by default
/// "~/.local/share/tarsyn" (a relative XDG_DATA_HOME is ignored, as the XDG rules say).
QString UserDataFolder();

/// The language catalogues of a folder: every "*.lag" file (hidden ones too), extension removed, sorted
/// by name without regard to case (a stable stand-in for the directory order).
QStringList CatalogueNames(const QString& dataDir);

}  // namespace tarsyn::config
