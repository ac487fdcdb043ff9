#include <QtTest>

#include "link/Codec.h"
#include "link/LinkError.h"

using namespace tarsyn::link;

class TestCodec : public QObject {
    Q_OBJECT
private slots:
    void xorCheck_data() {
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("check");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("single A") << "A" << 10;
        QTest::newRow("single 0") << "0" << 0;
        QTest::newRow("live block") << "000400060030" << 0x32;
        QTest::newRow("delay block") << "000400360016" << 0x24;
        QTest::newRow("automatic mode") << "0005100000FF" << 0xEA;
        QTest::newRow("odd length ends in one digit") << "12345" << (0x12 ^ 0x34 ^ 0x5);
        QTest::newRow("lower-case digits") << "00ff" << 0xFF;
        // Worked examples of the parameter pages.
        QTest::newRow("delays block 1 read") << "0004004C000A" << 0x42;
        QTest::newRow("delays block 2 read") << "00040056000C" << 0x5E;
        QTest::newRow("delays write") << "0007004C1E05" << 0x50;
        QTest::newRow("water curve read") << "000401800020" << 0xA5;
        QTest::newRow("oil curve read") << "000401A00020" << 0x85;
        QTest::newRow("monitor curve read") << "000401C00020" << 0xE5;
        QTest::newRow("curve voltage write") << "0007018000FA" << 0x7C;
        QTest::newRow("curve value write") << "000701820064" << 0xE0;
        QTest::newRow("system parameters read") << "00040076000D" << 0x7F;
        QTest::newRow("function 06 write") << "000600820001" << 0x85;
        QTest::newRow("control bits write") << "000700800101" << 0x87;
        QTest::newRow("control bits read") << "000400800002" << 0x86;
        QTest::newRow("alarm limits read") << "000400620026" << 0x40;
        QTest::newRow("sms write") << "000701504142" << 0x55;
        QTest::newRow("sms read") << "00040150002E" << 0x7B;
    }
    void xorCheck() {
        QFETCH(QString, request);
        QFETCH(int, check);
        QCOMPARE(XorCheck(request), check);
    }

    void buildFrame() {
        QCOMPARE(BuildFrame("000400060030"), QString("00040006003032\r\n"));
        QCOMPARE(BuildFrame("0005100000FF"), QString("0005100000FFEA\r\n"));
        // A check below 0x10 keeps its leading zero.
        QCOMPARE(BuildFrame("0001"), QString("000101\r\n"));
    }

    void hexField_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("width");
        QTest::addColumn<quint32>("value");
        QTest::newRow("word never negative") << "000402FFFF" << 7 << 4 << quint32(65535);
        QTest::newRow("24-bit") << "000406FFFFFF" << 7 << 6 << quint32(16777215);
        QTest::newRow("lower case") << "000401ab" << 7 << 2 << quint32(0xAB);
        QTest::newRow("cut field read as far as it goes") << "0004021F" << 7 << 4 << quint32(0x1F);
        QTest::newRow("first field") << "00042C" << 5 << 2 << quint32(0x2C);
    }
    void hexField() {
        QFETCH(QString, reply);
        QFETCH(int, position);
        QFETCH(int, width);
        QFETCH(quint32, value);
        QCOMPARE(HexField(reply, position, width), value);
    }

    void hexFieldErrors_data() {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("width");
        QTest::newRow("empty reply") << "" << 7 << 4;
        QTest::newRow("beyond the end") << "000402" << 7 << 4;
        QTest::newRow("not hexadecimal") << "0004021G00" << 7 << 4;
        QTest::newRow("blank inside") << "00040 1" << 5 << 3;
        QTest::newRow("sign") << "0004-1" << 5 << 2;
        QTest::newRow("position zero") << "0004" << 0 << 2;
        QTest::newRow("far beyond") << "0004" << 1000000 << 4;
    }
    void hexFieldErrors() {
        QFETCH(QString, reply);
        QFETCH(int, position);
        QFETCH(int, width);
        QVERIFY_THROWS_EXCEPTION(ConversionError, HexField(reply, position, width));
    }

    void hexToBits_data() {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("bits");
        QTest::newRow("00") << "00"
                            << "00000000";
        QTest::newRow("FF") << "FF"
                            << "11111111";
        QTest::newRow("single 1") << "1"
                                  << "0001";
        QTest::newRow("A5") << "A5"
                            << "10100101";
        QTest::newRow("81 alarm byte") << "81"
                                       << "10000001";
        QTest::newRow("lower case") << "a5"
                                    << "10100101";
    }
    void hexToBits() {
        QFETCH(QString, hex);
        QFETCH(QString, bits);
        QCOMPARE(HexToBits(hex), bits);
    }
    void hexToBitsErrors() {
        QVERIFY_THROWS_EXCEPTION(ConversionError, HexToBits(""));
        QVERIFY_THROWS_EXCEPTION(ConversionError, HexToBits("G1"));
        QVERIFY_THROWS_EXCEPTION(ConversionError, HexToBits("\r\n"));
    }

    void bitsToInt_data() {
        QTest::addColumn<QString>("bits");
        QTest::addColumn<quint64>("value");
        QTest::newRow("empty") << "" << quint64(0);
        QTest::newRow("1x1") << "1x1" << quint64(5);
        QTest::newRow("A5") << "10100101" << quint64(165);
        QTest::newRow("control bits example") << "0000000100000001" << quint64(257);
        QTest::newRow("all ones") << "1111111111111111" << quint64(65535);
    }
    void bitsToInt() {
        QFETCH(QString, bits);
        QFETCH(quint64, value);
        QCOMPARE(BitsToInt(bits), value);
    }

    void toHex() {
        QCOMPARE(ToHex(245, 4), QString("00F5"));
        QCOMPARE(ToHex(0x12345, 4), QString("12345"));
        QCOMPARE(ToHex(5, 2), QString("05"));
    }
};

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_codec.moc"
