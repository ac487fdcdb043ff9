#pragma once

#include <QString>
#include <QStringList>

namespace tarsyn::config {

/// Where system.ini, the catalogues, the help files and the history live, or why there is none.
struct DataFolder {
    QString path;   ///< absolute, without a trailing separator
    QString error;  ///< empty when `path` is usable
    bool ok() const { return error.isEmpty(); }
};

/// The data folder from the program's arguments: `--data-dir DIR` (or `--data-dir=DIR`; the last one
/// given wins; a relative DIR is taken from the working directory), else `applicationDir`, the folder
/// of the executable. The working directory is never the default. A folder that does not exist, is not
/// a folder or cannot be read gives an error text naming it.
DataFolder ResolveDataFolder(const QStringList& arguments, const QString& applicationDir);
/// The same with QCoreApplication::applicationDirPath() as the default.
DataFolder ResolveDataFolder(const QStringList& arguments);

/// The language catalogues of a folder: every "*.lag" file (hidden ones too), extension removed, sorted
/// by name without regard to case (a stable stand-in for the directory order).
QStringList CatalogueNames(const QString& dataDir);

}  // namespace tarsyn::config
