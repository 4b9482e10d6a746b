#include "input/pedalreport.h"

#include <QtTest>

namespace {

// A three-button foot pedal: buttons 1-3 in the low bits of one byte.
const char *const kPedal = "05 01 09 04 A1 01  05 09 19 01 29 03 15 00 25 01 75 01 95 03 81 02"
                           "  75 05 95 01 81 03  C0";
// A boot keyboard: modifier byte, reserved byte, six key codes.
const char *const kKeyboard = "05 01 09 06 A1 01  05 07 19 E0 29 E7 15 00 25 01 75 01 95 08 81 02"
                              "  95 01 75 08 81 03  95 06 75 08 15 00 25 65 05 07 19 00 29 65 81 00  C0";

QByteArray bytes(const QString &hex)
{
    return QByteArray::fromHex(hex.toLatin1());
}

} // namespace

class TestPedalReport : public QObject
{
    Q_OBJECT

private slots:
    void findsApplicationCollections_data();
    void findsApplicationCollections();
};

void TestPedalReport::findsApplicationCollections_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("wellFormed");
    QTest::addColumn<QList<quint32>>("collections");
    QTest::addColumn<bool>("pedal");

    const QString pedal = QString::fromLatin1(kPedal);
    const QString keyboard = QString::fromLatin1(kKeyboard);
    const QString numberedPedal = pedal.left(18) + QStringLiteral(" 85 02 ") + pedal.mid(18);

    QTest::newRow("three-button pedal") << bytes(pedal) << true << QList<quint32>{0x10004} << true;
    QTest::newRow("keyboard") << bytes(keyboard) << true << QList<quint32>{0x10006} << false;
    QTest::newRow("keyboard with a numbered pedal behind it")
        << bytes(keyboard + numberedPedal) << true << QList<quint32>{0x10006, 0x10004} << true;
    QTest::newRow("joystick collection inside a mouse's")
        << bytes("05 01 09 02 A1 01 09 04 A1 01 09 30 75 08 95 01 81 06 C0 C0") << true << QList<quint32>{0x10002}
        << false;
    QTest::newRow("consumer-control pedal")
        << bytes("05 0C 09 01 A1 01 09 B0 75 01 95 01 81 02 C0") << true << QList<quint32>{0xC0001} << false;
    QTest::newRow("usage page given after the usage")
        << bytes("09 04 05 01 A1 01 C0") << true << QList<quint32>{0x10004} << true;
    QTest::newRow("four-byte usage carries its own page")
        << bytes("05 0C 0B 04 00 01 00 A1 01 C0") << true << QList<quint32>{0x10004} << true;
    QTest::newRow("the first usage names the collection")
        << bytes("05 01 09 06 09 04 A1 01 C0") << true << QList<quint32>{0x10006} << false;
    QTest::newRow("usage page restored by pop")
        << bytes("05 0C A4 05 01 B4 09 04 A1 01 C0") << true << QList<quint32>{0xC0004} << false;
    QTest::newRow("long item skipped") << bytes("FE 02 10 AA BB 05 01 09 04 A1 01 C0") << true
                                       << QList<quint32>{0x10004} << true;
    QTest::newRow("empty") << QByteArray() << true << QList<quint32>{} << false;

    QTest::newRow("cut inside an item") << bytes("05 01 09 04 A1 01 C0 06 01") << false << QList<quint32>{} << false;
    QTest::newRow("cut inside a long item")
        << bytes("05 01 09 04 A1 01 C0 FE 05 10 AA") << false << QList<quint32>{} << false;
    QTest::newRow("collection never closed") << bytes("05 01 09 04 A1 01") << false << QList<quint32>{} << false;
    QTest::newRow("end without collection") << bytes("05 01 09 04 A1 01 C0 C0") << false << QList<quint32>{} << false;
    QTest::newRow("pop without push") << bytes("B4 05 01 09 04 A1 01 C0") << false << QList<quint32>{} << false;
    QTest::newRow("pushed too deep") << bytes(QStringLiteral("A4 ").repeated(17)
                                              + QStringLiteral("05 01 09 04 A1 01 C0"))
                                     << false << QList<quint32>{} << false;
}

void TestPedalReport::findsApplicationCollections()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, wellFormed);
    QFETCH(QList<quint32>, collections);
    QFETCH(bool, pedal);

    const auto found = hidApplicationCollections(descriptor);
    QCOMPARE(found.has_value(), wellFormed);
    if (found)
        QCOMPARE(*found, collections);
    QCOMPARE(declaresJoystick(descriptor), pedal);
}

QTEST_GUILESS_MAIN(TestPedalReport)
#include "tst_pedalreport.moc"
