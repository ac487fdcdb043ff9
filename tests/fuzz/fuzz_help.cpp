// A help file from any bytes: it always loads (a missing one is an error naming the file and leaves
// the text alone), it is the file's text with each CR LF made LF, and a file that is valid GBK comes back to
// the same bytes when the text is encoded again.
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "config/Config.h"
#include "widgets/Catalogue.h"

using namespace tarsyn;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(dir.filePath(QStringLiteral("English.hlp")));
        FUZZ_REQUIRE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size(),
                     f.fileName());
    }
    const config::Config config(dir.path());
    QString text = QStringLiteral("before"), error;
    FUZZ_REQUIRE(widgets::LoadHelpText(config, QStringLiteral("English"), text, error), error);
    FUZZ_REQUIRE(error.isEmpty(), error);
    // Without state, so that a character cut by the end of the file counts as an error too.
    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    QString plain = gbk.decode(bytes);
    FUZZ_REQUIRE(text == plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                 "the text is not the file's");
    if (!gbk.hasError()) {
        QByteArray lf = bytes;
        lf.replace("\r\n", "\n");
        FUZZ_REQUIRE(config.toAnsi(text) == lf, "the text does not encode back to the file");
    }

    QString kept = text;
    FUZZ_REQUIRE(!widgets::LoadHelpText(config, QStringLiteral("Missing"), kept, error),
                 "a missing file loaded");
    FUZZ_REQUIRE(kept == text && error.contains(QStringLiteral("Missing.hlp")), error);
    return 0;
}
