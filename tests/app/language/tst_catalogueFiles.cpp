#include <QtTest>
class TestCatalogueFiles : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(TestCatalogueFiles)
#include "tst_catalogueFiles.moc"
