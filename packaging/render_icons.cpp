// Writes the program's icon as PNG files at the sizes given, in the hicolor theme's layout:
// render_icons OUTDIR NAME SIZE... gives OUTDIR/<size>x<size>/apps/NAME.png. Run at build time.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>

#include "app/TrayIcon.h"

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fputs("usage: render_icons OUTDIR NAME SIZE...\n", stderr);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QByteArray(argv[i]).toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(dir, name);
        if (size <= 0 || !QDir().mkpath(dir) || !tarsyn::app::TrayIcon::picture(0, size).save(file)) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
