// The main of a fuzz target in an ordinary build: runs every file of the folders (or the files)
// given on the command line through the target once, so the seed corpus is a plain test. A broken
// promise aborts, which fails the test; a folder without inputs fails it too.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "FuzzCheck.h"

int main(int argc, char** argv) {
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo arg(QString::fromLocal8Bit(argv[i]));
        QStringList files;
        if (arg.isDir()) {
            for (const QFileInfo& f :
                 QDir(arg.filePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
                files << f.filePath();
        } else {
            files << arg.filePath();
        }
        for (const QString& path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
                return 1;
            }
            const QByteArray data = f.readAll();
            std::printf("%s (%lld bytes)\n", qPrintable(path), static_cast<long long>(data.size()));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
            ++runs;
        }
    }
    std::printf("%d inputs replayed\n", runs);
    return runs > 0 ? 0 : 1;
}
