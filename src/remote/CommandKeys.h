#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <optional>

namespace tarsyn::remote {

/// Whether a file that holds a secret (the broker's password, the command keys) may be used: a regular
/// file of mode 0600 or 0400, readable by its owner only. `mode` gets its permission bits, -1 when the
/// file is missing or not a regular file.
bool OwnerOnlyFile(const QString& path, int* mode);

/// The keys of the clients that may send commands, by client name. The file has one `client key` line
/// per client (the key is the rest of the line, its blanks trimmed, used as its UTF-8 bytes); blank
/// lines and lines starting with "#" are passed over.
using CommandKeys = QHash<QString, QByteArray>;

/// Why the keys file was refused, for the caller's message.
enum class KeysProblem { None, Unreadable, Mode, BadLine, Empty };

struct CommandKeysLoad {
    std::optional<CommandKeys> keys;
    KeysProblem problem = KeysProblem::None;
    int mode = 0;  ///< with Mode: the file's permission bits
    int line = 0;  ///< with BadLine: its number, from 1
};

/// Reads a keys file; refused unless its mode is 0600 or 0400 and every line is `client key`.
CommandKeysLoad LoadCommandKeys(const QString& path);

}  // namespace tarsyn::remote
