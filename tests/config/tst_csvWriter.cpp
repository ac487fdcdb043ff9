#include <sys/resource.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>

#include "config/CsvWriter.h"

using namespace tarsyn::config;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

/// Files beyond `bytes` cannot grow while it lives (as on a full disk); even root is held to it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

}  // namespace

class TestCsvWriter : public QObject {
    Q_OBJECT
private slots:
    void fields_data() {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << QStringList{"hour", "2026-03-01 09:00:00", "231.5", "COM1"}
                               << "hour,2026-03-01 09:00:00,231.5,COM1\r\n";
        QTest::newRow("comma") << QStringList{"a,b", "c"} << "\"a,b\",c\r\n";
        QTest::newRow("quote doubled") << QStringList{"say \"hi\"", "x"} << "\"say \"\"hi\"\"\",x\r\n";
        QTest::newRow("lone quote") << QStringList{"\""} << "\"\"\"\"\r\n";
        QTest::newRow("line feed inside") << QStringList{"one\ntwo", "3"} << "\"one\ntwo\",3\r\n";
        QTest::newRow("carriage return inside") << QStringList{"one\rtwo"} << "\"one\rtwo\"\r\n";
        QTest::newRow("CR LF inside") << QStringList{"one\r\ntwo"} << "\"one\r\ntwo\"\r\n";
        QTest::newRow("blanks kept, not quoted") << QStringList{" left", "right "} << " left,right \r\n";
        QTest::newRow("semicolon not special") << QStringList{"a;b"} << "a;b\r\n";
        QTest::newRow("empty fields") << QStringList{"", "", ""} << ",,\r\n";
        QTest::newRow("one empty field") << QStringList{""} << "\r\n";
        QTest::newRow("Chinese") << QStringList{QString::fromUtf8("急停"), QString::fromUtf8("1号机组")}
                                 << QString::fromUtf8("急停,1号机组\r\n");
    }
    void fields() {
        QFETCH(QStringList, fields);
        QFETCH(QString, line);
        QCOMPARE(CsvWriter::line(fields), line);
        CsvWriter csv(ByteOrderMark::Without);
        csv.addRow(fields);
        csv.addRow(fields);
        QCOMPARE(csv.text(), line + line);
    }

    void bytes_data() {
        QTest::addColumn<int>("mark");
        QTest::addColumn<QByteArray>("bytes");
        // "油压" is E6 B2 B9 E5 8E 8B in UTF-8.
        QTest::newRow("with the mark") << int(ByteOrderMark::Utf8)
                                       << QByteArray(
                                              "\xEF\xBB\xBF"
                                              "kind,text\r\nalarm,\xE6\xB2\xB9\xE5\x8E\x8B\r\n");
        QTest::newRow("without") << int(ByteOrderMark::Without)
                                 << QByteArray("kind,text\r\nalarm,\xE6\xB2\xB9\xE5\x8E\x8B\r\n");
    }
    void bytes() {
        QFETCH(int, mark);
        QFETCH(QByteArray, bytes);
        CsvWriter csv{ByteOrderMark(mark)};
        csv.addRow({"kind", "text"});
        csv.addRow({"alarm", QString::fromUtf8("油压")});
        QCOMPARE(csv.bytes(), bytes);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("out.csv");
        QString error;
        QVERIFY2(saveWhole(path, csv.bytes(), &error), qPrintable(error));
        QCOMPARE(readAll(path), bytes);
    }

    void emptyWriterWritesOnlyTheMark() {
        QCOMPARE(CsvWriter(ByteOrderMark::Utf8).bytes(), QByteArray("\xEF\xBB\xBF"));
        QCOMPARE(CsvWriter(ByteOrderMark::Without).bytes(), QByteArray());
    }

    void saveReplacesTheOldFile() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath("out.csv");
        writeFile(path, QByteArray(500, 'x'));  // longer than the new text: nothing of it may remain
        CsvWriter csv;
        csv.addRow({"a", "b"});
        QString error;
        QVERIFY2(saveWhole(path, csv.bytes(), &error), qPrintable(error));
        QCOMPARE(readAll(path), QByteArray("\xEF\xBB\xBF"
                                           "a,b\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.csv"});
    }

    void failedSaveLeavesTheOldFileWhole_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("disk full half-way") << "full";
    }
    void failedSaveLeavesTheOldFileWhole() {
        QFETCH(QString, how);
        if (how == "read-only" && ::geteuid() == 0) QSKIP("root writes into a read-only folder");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = how == "missing" ? dir.filePath("gone") : dir.path();
        const QString path = folder + "/out.csv";
        const QByteArray old("time,value\r\nold,1\r\n");
        if (how != "missing") writeFile(path, old);

        CsvWriter csv;
        for (int i = 0; i < 1000; ++i) csv.addRow({"2026-03-01 09:00:00", QString::number(i)});
        QString error;
        bool saved = true;
        if (how == "read-only") {
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
            saved = saveWhole(path, csv.bytes(), &error);
            QFile::setPermissions(folder,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        } else if (how == "full") {
            const FileSizeLimit limit(4096);
            saved = saveWhole(path, csv.bytes(), &error);
        } else {
            saved = saveWhole(path, csv.bytes(), &error);
        }
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        if (how == "missing") {
            QVERIFY(!QFile::exists(path));
        } else {
            QCOMPARE(readAll(path), old);
            // No half-written temporary file is left beside it.
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"out.csv"});
        }
    }
};

QTEST_GUILESS_MAIN(TestCsvWriter)
#include "tst_csvWriter.moc"
