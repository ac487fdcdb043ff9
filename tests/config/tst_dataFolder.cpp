#include <QtTest>

#include "config/DataFolder.h"

using namespace tarsyn::config;

class TestDataFolder : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_app;
    QTemporaryDir m_other;

private slots:
    void initTestCase() {
        QVERIFY(m_app.isValid() && m_other.isValid());
        QFile f(m_other.filePath("plain.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    void resolves_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");  // "APP", "OTHER" or empty for an error
        QTest::addColumn<QString>("error");     // part of the error text
        QTest::newRow("default is the program folder") << QStringList{"tarsyn"} << "APP"
                                                       << "";
        QTest::newRow("option") << QStringList{"tarsyn", "--data-dir", "OTHER"} << "OTHER"
                                << "";
        QTest::newRow("option with =") << QStringList{"tarsyn", "--data-dir=OTHER"} << "OTHER"
                                       << "";
        QTest::newRow("last wins") << QStringList{"tarsyn", "--data-dir", "/nowhere", "--data-dir", "OTHER"}
                                   << "OTHER"
                                   << "";
        QTest::newRow("missing folder") << QStringList{"tarsyn", "--data-dir", "OTHER/none"} << ""
                                        << "does not exist";
        QTest::newRow("a file") << QStringList{"tarsyn", "--data-dir", "OTHER/plain.txt"} << ""
                                << "is not a folder";
        QTest::newRow("no value") << QStringList{"tarsyn", "--data-dir"} << ""
                                  << "needs a folder";
        QTest::newRow("empty value") << QStringList{"tarsyn", "--data-dir="} << ""
                                     << "needs a folder";
    }
    void resolves() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QFETCH(QString, error);
        arguments.replaceInStrings("OTHER", m_other.path());
        const DataFolder folder = ResolveDataFolder(arguments, m_app.path());
        if (expected.isEmpty()) {
            QVERIFY(!folder.ok());
            QVERIFY2(folder.error.contains(error), qPrintable(folder.error));
        } else {
            QVERIFY2(folder.ok(), qPrintable(folder.error));
            QCOMPARE(folder.path, QDir::cleanPath(expected == "APP" ? m_app.path() : m_other.path()));
        }
    }

    void relativeIsFromTheWorkingDirectoryOnlyWhenGiven() {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_other.path()));
        const DataFolder given = ResolveDataFolder({"tarsyn", "--data-dir", "."}, m_app.path());
        const DataFolder fallback = ResolveDataFolder({"tarsyn"}, m_app.path());
        QDir::setCurrent(before);
        QCOMPARE(given.path, QDir::cleanPath(m_other.path()));
        QCOMPARE(fallback.path, QDir::cleanPath(m_app.path()));
    }

    void missingProgramFolderIsReported() {
        const DataFolder folder = ResolveDataFolder({"tarsyn"}, m_app.filePath("gone"));
        QVERIFY(!folder.ok());
        QVERIFY(folder.error.startsWith("Program folder"));
    }
};

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_dataFolder.moc"
