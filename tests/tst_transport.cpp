// The transport controls of the window against a real engine on the
// PulseAudio null sink that scripts/test.sh starts.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMediaDevices>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace fixtures;

namespace {

// Stereo 16-bit silence of the given length, with a bext origination time.
QByteArray silentBwf(int seconds, const QByteArray &originationTime)
{
    QByteArray bext(602, '\0');
    bext.replace(330, originationTime.size(), originationTime);
    return riff(fmtChunk(1, 2, 44100, 16) + chunk("bext", bext) + chunk("data", QByteArray(seconds * 176400, '\0')));
}

QImage iconImage(const QIcon &icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_Alpha8);
}

} // namespace

class TestTransport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void commandsWriteTheirLines_data();
    void commandsWriteTheirLines();
    void stepsAreClampedToTheRecording_data();
    void stepsAreClampedToTheRecording();
    void realTimeClockWrapsAtMidnight();
    void playIconFollowsTheEngine();
    void stopShowsTheStart();
    void muteAndLoopLines();
    void deviceListHoldsTheOutputs();
    void commandsWaitForTheLoad();

private:
    template<typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    AudioEngine *engine() const { return window->findChild<AudioEngine *>(); }
    QString lastEvent() const
    {
        const QString log = child<QTextEdit>("eventLogView")->toPlainText();
        return log.mid(log.lastIndexOf(QLatin1Char('\n')) + 1).mid(15); // past "[HH:mm:ss.zzz] "
    }

    QTemporaryDir dir;
    QString recording;
    MainWindow *window = nullptr;
};

void TestTransport::initTestCase()
{
    QTRY_VERIFY2_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), "no audio output: is PulseAudio running?",
                              5000);
    recording = dir.filePath(QStringLiteral("night.wav"));
    QFile file(recording);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(silentBwf(30, "23:59:50"));
}

void TestTransport::init()
{
    window = new MainWindow(nullptr, false);
    QVERIFY(engine()->loadFile(recording));
}

void TestTransport::cleanup()
{
    delete window;
}

void TestTransport::commandsWriteTheirLines_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("line");
    QTest::newRow("play") << "playButton" << "User Action: Play/Pause";
    QTest::newRow("stop") << "stopButton" << "User Action: Stop";
    QTest::newRow("rewind") << "rewindButton" << "User Action: Rewind";
    QTest::newRow("forward") << "forwardButton" << "User Action: Forward";
    QTest::newRow("skip to start") << "skipStartButton" << "User Action: Skip to Start";
    QTest::newRow("skip to end") << "skipEndButton" << "User Action: Skip to End";
}

void TestTransport::commandsWriteTheirLines()
{
    QFETCH(QString, button);
    QFETCH(QString, line);
    QTest::mouseClick(window->findChild<QToolButton *>(button), Qt::LeftButton);
    QVERIFY(child<QTextEdit>("eventLogView")->toPlainText().contains(QStringLiteral("] ") + line + QLatin1Char('\n'))
            || lastEvent() == line);
}

void TestTransport::stepsAreClampedToTheRecording_data()
{
    QTest::addColumn<qlonglong>("from");
    QTest::addColumn<QString>("button");
    QTest::addColumn<qlonglong>("to");
    QTest::newRow("rewind at 3.2 s lands on 0") << qlonglong(3200) << "rewindButton" << qlonglong(0);
    QTest::newRow("rewind at 12 s") << qlonglong(12000) << "rewindButton" << qlonglong(7000);
    QTest::newRow("forward 2 s before the end lands on the end") << qlonglong(28000) << "forwardButton"
                                                                  << qlonglong(30000);
    QTest::newRow("skip to end") << qlonglong(1000) << "skipEndButton" << qlonglong(30000);
    QTest::newRow("skip to start") << qlonglong(9000) << "skipStartButton" << qlonglong(0);
}

void TestTransport::stepsAreClampedToTheRecording()
{
    QFETCH(qlonglong, from);
    QFETCH(QString, button);
    QFETCH(qlonglong, to);
    child<QComboBox>("timeSourceCombo")->setCurrentIndex(0); // track time
    engine()->seek(from);
    QTest::mouseClick(window->findChild<QToolButton *>(button), Qt::LeftButton);
    QCOMPARE(engine()->position(), to);
    const QString clock = QTime(0, 0).addMSecs(int(to)).toString(QStringLiteral("HH:mm:ss.zzz"));
    QCOMPARE(child<QLabel>("clockLabel")->text(), clock);
}

void TestTransport::realTimeClockWrapsAtMidnight()
{
    // The recording's start time offers Real Time, chosen at once.
    auto *source = child<QComboBox>("timeSourceCombo");
    QCOMPARE(source->count(), 2);
    QCOMPARE(source->currentIndex(), 1);
    engine()->seek(20000);
    QCOMPARE(child<QLabel>("clockLabel")->text(), QStringLiteral("00:00:10.000"));
    source->setCurrentIndex(0);
    engine()->seek(20000);
    QCOMPARE(child<QLabel>("clockLabel")->text(), QStringLiteral("00:00:20.000"));
}

void TestTransport::playIconFollowsTheEngine()
{
    auto *play = child<QToolButton>("playButton");
    // The window draws the style's icons in its own colour: compare shapes
    // with the one it starts with.
    const QImage playIcon = iconImage(play->icon());
    QTest::mouseClick(play, Qt::LeftButton);
    QTRY_VERIFY(engine()->isPlaying());
    QVERIFY(iconImage(play->icon()) != playIcon);
    QTest::mouseClick(play, Qt::LeftButton);
    QCOMPARE(iconImage(play->icon()), playIcon);
    QTest::mouseClick(play, Qt::LeftButton);
    QTest::mouseClick(child<QToolButton>("stopButton"), Qt::LeftButton);
    QCOMPARE(iconImage(play->icon()), playIcon);
}

void TestTransport::stopShowsTheStart()
{
    child<QComboBox>("timeSourceCombo")->setCurrentIndex(0); // track time
    engine()->seek(10000);
    QCOMPARE(child<QLabel>("clockLabel")->text(), QStringLiteral("00:00:10.000"));
    QTest::mouseClick(child<QToolButton>("stopButton"), Qt::LeftButton);
    QCOMPARE(engine()->position(), qlonglong(0));
    QCOMPARE(child<QLabel>("clockLabel")->text(), QStringLiteral("00:00:00.000"));
}

void TestTransport::muteAndLoopLines()
{
    child<QCheckBox>("muteLCheck")->setChecked(true);
    QCOMPARE(lastEvent(), QStringLiteral("User Action: Mute Changed (L:1 R:0)"));
    child<QCheckBox>("muteRCheck")->setChecked(true);
    QCOMPARE(lastEvent(), QStringLiteral("User Action: Mute Changed (L:1 R:1)"));

    const int lines = child<QTextEdit>("eventLogView")->toPlainText().count(QLatin1Char('\n'));
    child<QComboBox>("speedCombo")->setCurrentIndex(3); // 2.0x: no line
    QCOMPARE(child<QTextEdit>("eventLogView")->toPlainText().count(QLatin1Char('\n')), lines);
    QCOMPARE(engine()->playbackSpeed(), 2.0);

    QTest::mouseClick(child<QPushButton>("loopButton"), Qt::LeftButton);
    QCOMPARE(lastEvent(), QStringLiteral("User Action: Loop Toggled (1)"));
    QTest::mouseClick(child<QPushButton>("loopButton"), Qt::LeftButton);
    QCOMPARE(lastEvent(), QStringLiteral("User Action: Loop Toggled (0)"));
}

void TestTransport::deviceListHoldsTheOutputs()
{
    auto *devices = child<QComboBox>("deviceCombo");
    QCOMPARE(devices->count(), QMediaDevices::audioOutputs().size());
    QVERIFY(devices->findText(QStringLiteral("Null Output")) >= 0);
    QVERIFY(devices->itemData(0).value<QAudioDevice>() == QMediaDevices::audioOutputs().first());
}

void TestTransport::commandsWaitForTheLoad()
{
    const QString mp3 = dir.filePath(QStringLiteral("long.mp3"));
    QVERIFY(ffmpegGenerate(QStringLiteral("anoisesrc=sample_rate=44100:duration=90"), {}, mp3));
    bool pressedDuringLoad = false;
    QTimer::singleShot(0, window, [&]() {
        pressedDuringLoad = engine()->isLoading();
        QTest::mouseClick(child<QToolButton>("playButton"), Qt::LeftButton);
        QTest::mouseClick(child<QToolButton>("forwardButton"), Qt::LeftButton);
    });
    QVERIFY(engine()->loadFile(mp3));
    QVERIFY(pressedDuringLoad);
    QVERIFY(!engine()->isPlaying());
    QCOMPARE(engine()->position(), qlonglong(0));
    QVERIFY(!child<QTextEdit>("eventLogView")->toPlainText().contains(QStringLiteral("User Action: Play/Pause")));
}

QTEST_MAIN(TestTransport)
#include "tst_transport.moc"
