#include "remote/CommandKeys.h"

#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>

namespace tarsyn::remote {

bool OwnerOnlyFile(const QString& path, int* mode) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (mode) *mode = -1;
        return false;
    }
    const int bits = int(st.st_mode & 07777);
    if (mode) *mode = bits;
    return bits == 0600 || bits == 0400;
}

CommandKeysLoad LoadCommandKeys(const QString& path) {
    CommandKeysLoad load;
    if (!OwnerOnlyFile(path, &load.mode)) {
        load.problem = load.mode < 0 ? KeysProblem::Unreadable : KeysProblem::Mode;
        return load;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        load.problem = KeysProblem::Unreadable;
        return load;
    }
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    CommandKeys keys;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const int split = line.indexOf(blanks);
        const QString client = split < 0 ? line : line.left(split);
        const QString key = split < 0 ? QString() : line.mid(split).trimmed();
        if (key.isEmpty() || keys.contains(client)) {
            load.problem = KeysProblem::BadLine;
            load.line = number;
            return load;
        }
        keys.insert(client, key.toUtf8());
    }
    if (keys.isEmpty()) {
        load.problem = KeysProblem::Empty;
        return load;
    }
    load.keys = keys;
    return load;
}

}  // namespace tarsyn::remote
