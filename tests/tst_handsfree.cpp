// Pedal and hot-key ids mapped onto the transport, against a real engine.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "windowrig.h"

#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

class TestHandsFree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { rig.reset(); }
    void pedalsDriveTheTransport_data();
    void pedalsDriveTheTransport();
    void hotkeysLogAndAct_data();
    void hotkeysLogAndAct();

private:
    QTemporaryDir dir;
    QString recording;
    std::unique_ptr<WindowRig> rig;
};

void TestHandsFree::initTestCase()
{
    QVERIFY2(WindowRig::hasAudioOutput(), "no audio output: is PulseAudio running?");
    recording = dir.filePath(QStringLiteral("statement.wav"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=250:sample_rate=8000:duration=30"), {}, recording));
}

void TestHandsFree::init()
{
    rig = std::make_unique<WindowRig>();
    QVERIFY(rig->engine()->loadFile(recording));
}

void TestHandsFree::pedalsDriveTheTransport_data()
{
    QTest::addColumn<qlonglong>("from");
    QTest::addColumn<QList<int>>("buttons");
    QTest::addColumn<qlonglong>("to");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("lines"); // what the Pedals page gained

    QTest::newRow("centre plays") << 4000LL << QList<int>{2} << 4000LL << true << "DOWN: Center (Play)\nUP: Center";
    QTest::newRow("centre twice pauses again")
        << 4000LL << QList<int>{2, 2} << 4000LL << false
        << "DOWN: Center (Play)\nUP: Center\nDOWN: Center (Play)\nUP: Center";
    QTest::newRow("right, right, left leaves five seconds on")
        << 10000LL << QList<int>{3, 3, 1} << 15000LL << false
        << "DOWN: Right (Forward)\nUP: Right\nDOWN: Right (Forward)\nUP: Right\nDOWN: Left (Rewind)\nUP: Left";
    QTest::newRow("left near the start lands on 0") << 2000LL << QList<int>{1} << 0LL << false
                                                    << "DOWN: Left (Rewind)\nUP: Left";
    QTest::newRow("an unknown button logs nothing and does nothing") << 4000LL << QList<int>{7} << 4000LL << false
                                                                     << "";
}

void TestHandsFree::pedalsDriveTheTransport()
{
    QFETCH(qlonglong, from);
    QFETCH(QList<int>, buttons);
    QFETCH(bool, playing);
    QFETCH(QString, lines);
    auto *pane = rig->child<QTextEdit>("pedalsView");
    const QString before = pane->toPlainText();
    rig->engine()->seek(from);
    for (int button : buttons) {
        QVERIFY(QMetaObject::invokeMethod(rig->window, "onPedalDown", Q_ARG(int, button)));
        QVERIFY(QMetaObject::invokeMethod(rig->window, "onPedalUp", Q_ARG(int, button)));
    }
    QCOMPARE(rig->engine()->isPlaying(), playing);
    if (!playing)
        QTEST(rig->engine()->position(), "to");
    rig->engine()->stop();
    QCOMPARE(pane->toPlainText().mid(before.size()).trimmed(), lines);
    QCOMPARE(rig->eventLog().count(QStringLiteral("User Action: Play/Pause")), buttons.count(2));
}

void TestHandsFree::hotkeysLogAndAct_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<qlonglong>("to");
    QTest::addColumn<QString>("action"); // the last line logged
    QTest::newRow("F2 rewinds") << 2 << 5000LL << "User Action: Rewind";
    QTest::newRow("F3 forwards") << 3 << 15000LL << "User Action: Forward";
    QTest::newRow("F4 only logs") << 4 << 10000LL << "Global Hotkey Pressed: 4";
}

void TestHandsFree::hotkeysLogAndAct()
{
    QFETCH(int, id);
    rig->engine()->seek(10000);
    QVERIFY(QMetaObject::invokeMethod(rig->window, "handleGlobalKey", Q_ARG(int, id)));
    QTEST(rig->engine()->position(), "to");
    QVERIFY(rig->eventLog().contains(QStringLiteral("Global Hotkey Pressed: %1").arg(id)));
    QTEST(rig->lastEvent(), "action");
}

QTEST_MAIN(TestHandsFree)
#include "tst_handsfree.moc"
