#include <QObject>
#include <QSignalSpy>
#include <QTest>
#include <limits>

#include "widgets/marker.h"
#include "widgets/timetext.h"

// Emits a marker list the way the engine hands rows to the window.
class MarkerSource : public QObject
{
    Q_OBJECT
signals:
    void markersReady(const QList<Marker> &markers);
};

class TestTimeText : public QObject
{
    Q_OBJECT

private slots:
    void formatsTime_data();
    void formatsTime();
    void channelText_data();
    void channelText();
    void channelFromText_data();
    void channelFromText();
    void markerListTravelsInSignals();
};

void TestTimeText::formatsTime_data()
{
    QTest::addColumn<qlonglong>("ms");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << 0LL << "00:00:00.000";
    QTest::newRow("quarter past a minute") << 65250LL << "00:01:05.250";
    QTest::newRow("just under a minute") << 59999LL << "00:00:59.999";
    QTest::newRow("one of each field") << 3723004LL << "01:02:03.004";
    QTest::newRow("just under ten hours") << 35999999LL << "09:59:59.999";
    QTest::newRow("a day and a bit") << 90061001LL << "25:01:01.001";
    QTest::newRow("one hundred hours") << 360000000LL << "100:00:00.000";
    QTest::newRow("largest time") << std::numeric_limits<qlonglong>::max()
                                  << "2562047788015:12:55.807";
    QTest::newRow("one millisecond before the start") << -1LL << "-00:00:00.001";
    QTest::newRow("smallest time") << std::numeric_limits<qlonglong>::min()
                                   << "-2562047788015:12:55.808";
}

void TestTimeText::formatsTime()
{
    QFETCH(qlonglong, ms);
    QFETCH(QString, text);
    QCOMPARE(formatTime(ms), text);
}

void TestTimeText::channelText_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("text");

    QTest::newRow("left") << 0 << "L";
    QTest::newRow("right") << 1 << "R";
    QTest::newRow("both") << -1 << "Stereo";
    QTest::newRow("out of range") << 5 << "Stereo";
}

void TestTimeText::channelText()
{
    QFETCH(int, channel);
    QFETCH(QString, text);
    QCOMPARE(::channelText(channel), text);
}

void TestTimeText::channelFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("channel");

    QTest::newRow("L") << "L" << 0;
    QTest::newRow("R") << "R" << 1;
    QTest::newRow("Stereo") << "Stereo" << -1;
    QTest::newRow("lower-case l") << "l" << -1;
    QTest::newRow("lower-case r") << "r" << -1;
    QTest::newRow("word Left") << "Left" << -1;
    QTest::newRow("padded L") << " L" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestTimeText::channelFromText()
{
    QFETCH(QString, text);
    QFETCH(int, channel);
    QCOMPARE(::channelFromText(text), channel);
}

void TestTimeText::markerListTravelsInSignals()
{
    registerMarkerMetaTypes();
    QVERIFY(QMetaType::fromName("Marker").isValid());
    QVERIFY(QMetaType::fromName("QList<Marker>").isValid());

    MarkerSource source;
    QSignalSpy spy(&source, &MarkerSource::markersReady);
    QVERIFY(spy.isValid());

    const QList<Marker> sent{{1000, 2000, "Redaction", "beep", 0}, {3000, 3000, "Ch2", "", 1}};
    emit source.markersReady(sent);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QList<Marker>>(), sent);
}

QTEST_GUILESS_MAIN(TestTimeText)
#include "tst_timetext.moc"
