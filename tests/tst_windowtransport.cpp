// Moving through a recording in the window, against a real engine: buttons,
// pedals, hot keys and clicks to a position; the clock in each time source;
// the views, selections and scroll bar; input that opens or bookmarks.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"
#include "windowrig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace fixtures;

namespace {

// A minute of stereo 8 kHz silence; a bext origination time when given.
QByteArray bwf(const QByteArray &originationTime)
{
    QByteArray bext(602, '\0');
    bext.replace(330, originationTime.size(), originationTime);
    return riff(fmtChunk(1, 2, 8000, 16) + (originationTime.isEmpty() ? QByteArray() : chunk("bext", bext))
                + chunk("data", QByteArray(60 * 32000, '\0')));
}

// The sinks' indices by name, and the sink of each playing stream.
QString pactl(const QStringList &arguments)
{
    return QString::fromUtf8(run(QStringLiteral("pactl"), arguments));
}

} // namespace

class TestWindowTransport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(WindowRig::hasAudioOutput(), "no audio output: is PulseAudio running?");
        recording = dir.filePath(QStringLiteral("night.wav"));
        dropped = dir.filePath(QStringLiteral("Second.WAV"));
        QVERIFY(writeFile(recording, bwf("23:59:50")) && writeFile(dropped, bwf(QByteArray())));
        // An output of this test's own, to move the stream to.
        secondSink = QStringLiteral("orlenta_second_%1").arg(QCoreApplication::applicationPid());
        secondModule = pactl({"load-module", "module-null-sink", "sink_name=" + secondSink,
                              "sink_properties=device.description=" + secondSink}).trimmed();
        QVERIFY(!secondModule.isEmpty());
        const auto listed = [this]() {
            const QList<QAudioDevice> outputs = QMediaDevices::audioOutputs();
            return std::any_of(outputs.cbegin(), outputs.cend(), [this](const QAudioDevice &d) { return d.description() == secondSink; });
        };
        QTRY_VERIFY(listed());
    }

    void cleanupTestCase()
    {
        if (!secondModule.isEmpty())
            pactl({QStringLiteral("unload-module"), secondModule});
    }

    void init()
    {
        rig = std::make_unique<WindowRig>();
        left = rig->child<WaveformDisplay>("waveL");
        right = rig->child<WaveformDisplay>("waveR");
        QVERIFY(rig->load(recording));
        rig->child<QComboBox>("timeSourceCombo")->setCurrentIndex(0); // track time
    }

    void cleanup() { rig.reset(); }

    void commandsMoveThePosition_data()
    {
        QTest::addColumn<qlonglong>("from");
        QTest::addColumn<QString>("command"); // "button <name>", "pedal <ids>", "hotkey <id>", "click <share of width>"
        QTest::addColumn<qlonglong>("to");    // -1: playing, not compared
        QTest::addColumn<QString>("logged");  // the event line; for pedals the Pedals page's new text

        QTest::newRow("rewind at 3.2 s lands on 0") << 3200LL << "button rewindButton" << 0LL << "User Action: Rewind";
        QTest::newRow("forward 2 s before the end lands on the end")
            << 58000LL << "button forwardButton" << 60000LL << "User Action: Forward";
        QTest::newRow("skip to end") << 1000LL << "button skipEndButton" << 60000LL << "User Action: Skip to End";
        QTest::newRow("skip to start") << 9000LL << "button skipStartButton" << 0LL << "User Action: Skip to Start";
        QTest::newRow("stop goes back to the start") << 10000LL << "button stopButton" << 0LL << "User Action: Stop";
        QTest::newRow("play") << 4000LL << "button playButton" << -1LL << "User Action: Play/Pause";
        QTest::newRow("F2 rewinds") << 10000LL << "hotkey 2" << 5000LL << "User Action: Rewind";
        QTest::newRow("F3 forwards") << 10000LL << "hotkey 3" << 15000LL << "User Action: Forward";
        QTest::newRow("F4 bookmarks without asking") << 10000LL << "hotkey 4" << 10000LL << "Global Hotkey Pressed: 4";
        QTest::newRow("pedal right, right, left leaves five seconds on")
            << 10000LL << "pedal 3 3 1" << 15000LL
            << "DOWN: Right (Forward)\nUP: Right\nDOWN: Right (Forward)\nUP: Right\nDOWN: Left (Rewind)\nUP: Left";
        QTest::newRow("pedal centre plays") << 4000LL << "pedal 2" << -1LL << "DOWN: Center (Play)\nUP: Center";
        QTest::newRow("an unknown pedal logs nothing and does nothing") << 4000LL << "pedal 7" << 4000LL << "";
        QTest::newRow("a click on the waveform seeks there") << 0LL << "click 0.25" << 15000LL << QString();
        QTest::newRow("mute left") << 0LL << "button muteLCheck" << 0LL << "User Action: Mute Changed (L:1 R:0)";
    }

    void commandsMoveThePosition()
    {
        QFETCH(qlonglong, from);
        QFETCH(QString, command);
        QFETCH(qlonglong, to);
        QFETCH(QString, logged);
        AudioEngine *engine = rig->engine();
        auto *pedals = rig->child<QTextEdit>("pedalsView");
        const qsizetype pedalsBefore = pedals->toPlainText().size();
        engine->seek(from);
        give(command);
        const qlonglong slack = command.startsWith(QLatin1String("click")) ? qCeil(1 / left->currentZoom()) : 0; // one pixel
        QCOMPARE(engine->isPlaying(), to < 0);
        if (to >= 0) {
            QVERIFY2(qAbs(engine->position() - to) <= slack, qPrintable(QString::number(engine->position())));
            QCOMPARE(rig->child<QLabel>("clockLabel")->text(), QTime(0, 0).addMSecs(int(engine->position())).toString(QStringLiteral("HH:mm:ss.zzz")));
        }
        engine->stop();
        if (command.startsWith(QLatin1String("pedal")))
            QCOMPARE(pedals->toPlainText().mid(pedalsBefore).trimmed(), logged);
        else if (!logged.isNull())
            QVERIFY2(rig->lastEvent() == logged || rig->eventLog().contains(QStringLiteral("] ") + logged + QLatin1Char('\n')),
                     qPrintable(rig->lastEvent()));
        if (command == QLatin1String("hotkey 4")) { // a row ready to be named
            QCOMPARE(rig->grid()->getMarkers(), (QList<Marker>{{10000, 10000, "Bookmark", "", -1}}));
            QVERIFY(rig->grid()->selectionModel()->isRowSelected(0, QModelIndex()));
            QVERIFY(rig->auditLog().endsWith(QStringLiteral("Bookmark Added: Bookmark @00:00:10.000")));
        }
    }

    void clockFollowsTheTimeSource_data()
    {
        QTest::addColumn<QByteArray>("origination");
        QTest::addColumn<int>("source"); // chosen in the list; the load itself picks the last
        QTest::addColumn<QString>("clockAt20s");
        QTest::addColumn<QString>("typed"); // into Go to Time (Ctrl+G)
        QTest::addColumn<qlonglong>("goesTo");
        QTest::newRow("track time") << QByteArray("10:15:30") << 0 << "00:00:20.000" << "0:12.5" << 12500LL;
        QTest::newRow("real time of a morning recording")
            << QByteArray("10:15:30") << 1 << "10:15:50.000" << "10:15:42.5" << 12500LL;
        QTest::newRow("real time past midnight wraps") << QByteArray("23:59:50") << 1 << "00:00:10.000" << "00:00:05" << 15000LL;
        QTest::newRow("no origination time: track time only") << QByteArray() << 0 << "00:00:20.000" << "12.5" << 12500LL;
    }

    void clockFollowsTheTimeSource()
    {
        QFETCH(QByteArray, origination);
        QFETCH(int, source);
        const QString path = dir.filePath(QStringLiteral("take.wav"));
        QVERIFY(writeFile(path, bwf(origination)));
        QVERIFY(rig->engine()->loadFile(path));
        auto *combo = rig->child<QComboBox>("timeSourceCombo");
        // Without a start time of its own, the second item asks for one.
        QCOMPARE(combo->count(), 2);
        QCOMPARE(combo->currentIndex(), origination.isEmpty() ? 0 : 1);
        QCOMPARE(rig->child<QTextEdit>("metadataView")->toPlainText(),
                 origination.isEmpty() ? QString() : QStringLiteral("BWF_StartTime: %1.000").arg(QString::fromLatin1(origination)));
        combo->setCurrentIndex(source);
        rig->engine()->seek(20000);
        QTEST(rig->child<QLabel>("clockLabel")->text(), "clockAt20s");
        QCOMPARE(rig->child<QLabel>("durationLabel")->text(), QStringLiteral("/ 00:01:00.000")); // always track time

        QFETCH(QString, typed);
        rig->answerDialogs(QString(), typed);
        QTest::keyClick(rig->window, Qt::Key_G, Qt::ControlModifier);
        QTEST(rig->engine()->position(), "goesTo");
    }

    void speedReachesTheEngine()
    {
        const QString before = rig->eventLog();
        rig->child<QComboBox>("speedCombo")->setCurrentIndex(3);
        QCOMPARE(rig->engine()->playbackSpeed(), 2.0);
        QCOMPARE(rig->eventLog(), before); // not a logged action
    }

    void outputChoiceMovesTheStream()
    {
        const auto streamsOnSecond = [this]() {
            const QString sink = pactl({"list", "short", "sinks"}).split(QLatin1Char('\n')).filter(secondSink).value(0).section(QLatin1Char('\t'), 0, 0);
            int streams = 0;
            for (const QString &line : pactl({"list", "short", "sink-inputs"}).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                streams += line.section(QLatin1Char('\t'), 1, 1) == sink;
            return streams;
        };
        rig->engine()->play();
        QTRY_VERIFY(rig->engine()->isPlaying());
        QCOMPARE(streamsOnSecond(), 0);
        auto *devices = rig->child<QComboBox>("deviceCombo");
        devices->setCurrentIndex(devices->findText(secondSink));
        QTRY_COMPARE(streamsOnSecond(), 1);
        QVERIFY(rig->engine()->isPlaying());
        rig->engine()->stop();
    }

    void commandsWaitForTheLoad()
    {
        const QString mp3 = dir.filePath(QStringLiteral("long.mp3"));
        QVERIFY(ffmpegGenerate(QStringLiteral("anoisesrc=sample_rate=44100:duration=90"), {}, mp3));
        bool pressedDuringLoad = false;
        QTimer::singleShot(0, rig->window, [&]() {
            pressedDuringLoad = rig->engine()->isLoading();
            give(QStringLiteral("button playButton"));
            give(QStringLiteral("button forwardButton"));
        });
        QVERIFY(rig->engine()->loadFile(mp3));
        QVERIFY(pressedDuringLoad);
        QVERIFY(!rig->engine()->isPlaying());
        QCOMPARE(rig->engine()->position(), 0LL);
        QVERIFY(!rig->eventLog().contains(QStringLiteral("User Action: Play/Pause")));
    }

    void backstepOnResume_data()
    {
        QTest::addColumn<QString>("press");  // what plays, pauses and resumes
        QTest::addColumn<QString>("paused"); // what else happens: a seek after the pause, or a stop instead of it
        QTest::addColumn<int>("choice");     // in the Backstep list
        QTest::addColumn<qlonglong>("back");
        QTest::newRow("Play button, 2 s") << "button playButton" << "" << 2 << 2000LL;
        QTest::newRow("F1, 5 s") << "hotkey 1" << "" << 4 << 5000LL;
        QTest::newRow("pedal centre, 1 s") << "pedal 2" << "" << 1 << 1000LL;
        QTest::newRow("off") << "button playButton" << "" << 0 << 0LL;
        QTest::newRow("a seek while paused is not moved") << "button playButton" << "seek" << 2 << 0LL;
        QTest::newRow("Play after Stop is not moved") << "button playButton" << "stop" << 4 << 0LL;
    }

    void backstepOnResume()
    {
        QFETCH(QString, press);
        QFETCH(QString, paused);
        QFETCH(int, choice);
        QFETCH(qlonglong, back);
        auto *combo = rig->child<QComboBox>("backstepCombo");
        const int before = combo->currentIndex(); // the last run's choice
        combo->setCurrentIndex(choice);
        AudioEngine *engine = rig->engine();
        engine->seek(10000);
        give(press);
        QTRY_VERIFY(engine->isPlaying() && engine->position() > 10100);
        give(paused == QLatin1String("stop") ? QStringLiteral("button stopButton") : press);
        qlonglong stopped = engine->position();
        if (paused == QLatin1String("seek")) {
            engine->seek(20000);
            stopped = 20000;
        }
        give(press);
        // The few milliseconds the stream still held come first.
        QTRY_VERIFY2(qAbs(engine->position() - qMax(0LL, stopped - back)) < 250,
                     qPrintable(QStringLiteral("%1 after a pause at %2").arg(engine->position()).arg(stopped)));
        QTRY_VERIFY(engine->isPlaying());
        engine->stop();
        QCOMPARE(rig->eventLog().contains(QStringLiteral("User Action: Backstep: ") + combo->itemText(choice)),
                 choice != before);
    }

    void droppedFileOpens_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<int>("actions");
        QTest::addColumn<bool>("taken");     // the drag is accepted
        QTest::addColumn<bool>("typedRows"); // so the unsaved-work question comes first, and is cancelled
        QTest::addColumn<bool>("onField");   // dropped on a case detail field, not the grid

        const QUrl wav = QUrl::fromLocalFile(dropped);
        const int copyOrMove = Qt::CopyAction | Qt::MoveAction;
        QTest::newRow("an upper-case .WAV opens") << QList<QUrl>{wav} << copyOrMove << true << false << false;
        QTest::newRow("with typed rows the question comes first")
            << QList<QUrl>{wav} << int(Qt::CopyAction) << true << true << false;
        QTest::newRow("on a case detail field it opens, not typed in")
            << QList<QUrl>{wav} << copyOrMove << true << false << true;
        const auto refused = [](const char *name, const QList<QUrl> &urls, int actions) {
            QTest::newRow(name) << urls << actions << false << false << false;
        };
        refused("a text file is refused", {QUrl::fromLocalFile(dir.filePath(QStringLiteral("a.txt")))}, copyOrMove);
        refused("two files are refused", {wav, wav}, copyOrMove);
        refused("a web address is refused", {QUrl(QStringLiteral("https://example.org/a.wav"))}, copyOrMove);
        refused("a move, which would delete the file, is refused", {wav}, Qt::MoveAction);
    }

    void droppedFileOpens()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(int, actions);
        QFETCH(bool, taken);
        QFETCH(bool, typedRows);
        QFETCH(bool, onField);
        rig->answerDialogs();
        if (typedRows)
            rig->grid()->addMarker(100, 300, QStringLiteral("Speaker A"), QString(), -1);

        // Dropped on the empty grid, where the guide asks for it.
        QMimeData mime;
        mime.setUrls(urls);
        auto *field = rig->child<QLineEdit>("refEdit");
        if (onField) // as file managers offer it: the address as text too
            mime.setText(urls.first().toString());
        QWidget *target = onField ? static_cast<QWidget *>(field) : rig->grid()->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::DropActions(actions), &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), taken);
        if (taken) {
            QDropEvent drop(at, Qt::DropActions(actions), &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(target, &drop);
            QCOMPARE(drop.dropAction(), Qt::CopyAction);
        }
        if (taken && !typedRows) {
            QTRY_COMPARE(rig->engine()->filePath(), dropped);
            QVERIFY(rig->auditLog().endsWith(QStringLiteral("Opened: ") + dropped));
        } else {
            QTest::qWait(200);
            QCOMPARE(rig->engine()->filePath(), recording);
        }
        QCOMPARE(!rig->dialogs.isEmpty() && rig->dialogs.first().title == QLatin1String("Unsaved Work"), typedRows);
        QCOMPARE(field->text(), QString());
    }

    void enterAddsBookmark_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("rows"); // after the key, with one row there before
        QTest::newRow("Return on the waveform asks for a label") << "waveform" << int(Qt::Key_Return) << 2;
        QTest::newRow("keypad Enter on the grid asks for a label") << "grid" << int(Qt::Key_Enter) << 2;
        QTest::newRow("Return in an edited cell only ends the edit") << "cell" << int(Qt::Key_Return) << 1;
    }

    void enterAddsBookmark()
    {
        QFETCH(QString, where);
        QFETCH(int, key);
        QFETCH(int, rows);
        TranscriptionGrid *grid = rig->grid();
        grid->addMarker(1000, 2000, QStringLiteral("A"), QString(), -1);
        rig->answerDialogs(QString(), QStringLiteral("Door slam"));
        rig->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig->window));
        QWidget *focus = where == QLatin1String("waveform") ? static_cast<QWidget *>(left) : grid;
        QLineEdit *editor = nullptr;
        if (where == QLatin1String("cell")) {
            grid->editItem(grid->item(0, 2));
            focus = editor = grid->viewport()->findChild<QLineEdit *>();
            QVERIFY(editor);
        }
        focus->setFocus();
        QTRY_VERIFY(focus->hasFocus());
        if (editor) {
            editor->selectAll();
            QTest::keyClicks(editor, QStringLiteral("Interpreter"));
        }
        QTest::keyClick(focus, Qt::Key(key), key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QTRY_COMPARE(grid->rowCount(), rows);
        if (rows == 2) {
            QCOMPARE(rig->dialogs.size(), 1);
            QCOMPARE(grid->getMarkers().last().label, QStringLiteral("Door slam"));
        } else {
            QTest::qWait(100);
            QVERIFY(rig->dialogs.isEmpty());
            QCOMPARE(grid->getMarkers().first().label, QStringLiteral("Interpreter"));
        }
    }

    void selectionsFollowTheLink_data()
    {
        QTest::addColumn<bool>("linked");
        QTest::addColumn<bool>("inRight");
        QTest::addColumn<bool>("leftShows");
        QTest::addColumn<bool>("rightShows");
        QTest::newRow("linked drag in the right view") << true << true << true << true;
        QTest::newRow("unlinked drag in the right view") << false << true << false << true;
        QTest::newRow("unlinked drag in the left view") << false << false << true << false;
    }

    void selectionsFollowTheLink()
    {
        QFETCH(bool, linked);
        QFETCH(bool, inRight);
        rig->child<QCheckBox>("linkCheck")->setChecked(linked);
        WaveformDisplay *dragged = inRight ? right : left;
        const int y = dragged->height() / 2;
        QTest::mousePress(dragged, Qt::LeftButton, {}, QPoint(300, y));
        QTest::mouseMove(dragged, QPoint(100, y));
        QTest::mouseRelease(dragged, Qt::LeftButton, {}, QPoint(100, y));
        const qlonglong start = dragged->selectionStart();
        QVERIFY(start >= 0 && start < dragged->selectionEnd());
        QFETCH(bool, leftShows);
        QFETCH(bool, rightShows);
        QCOMPARE(left->selectionStart(), leftShows ? start : -1);
        QCOMPARE(right->selectionStart(), rightShows ? start : -1);

        // Ctrl+A selects in both views whatever the link says; a click on one
        // view, or Escape, leaves no selection anywhere.
        left->setFocus();
        QTRY_VERIFY(left->hasFocus());
        for (const bool byClick : {true, false}) {
            QTest::keyClick(left, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(right->selectionEnd(), 60000LL);
            QCOMPARE(rig->child<QLabel>("selectionLabel")->text(), "Start 00:00:00.000\nEnd 00:01:00.000\nLength 00:01:00.000");
            if (byClick)
                QTest::mouseClick(left, Qt::LeftButton, {}, QPoint(50, left->height() / 2));
            else
                QTest::keyClick(left, Qt::Key_Escape);
            QCOMPARE(right->selectionStart(), -1LL);
            QCOMPARE(rig->child<QLabel>("selectionLabel")->text(), QString());
        }
    }

    void gridRowPlaysInALoop()
    {
        TranscriptionGrid *grid = rig->grid();
        grid->addMarker(1000, 2000, QStringLiteral("A"), QString(), -1);
        // A double click plays the row in a loop; with Loop already on the loop is not switched again.
        for (int column : {3, 0})
            QVERIFY(QMetaObject::invokeMethod(grid, "onCellDoubleClicked", Q_ARG(int, 0), Q_ARG(int, column)));
        rig->engine()->stop();
        QCOMPARE(rig->eventLog().count(QStringLiteral("Action: Play Region 1000-2000")), 2);
        QCOMPARE(rig->eventLog().count(QStringLiteral("User Action: Loop Toggled (1)")), 1);
        QVERIFY(rig->child<QPushButton>("loopButton")->isChecked());
        QCOMPARE(rig->child<QLabel>("selectionLabel")->text(), "Start 00:00:01.000\nEnd 00:00:02.000\nLength 00:00:01.000");
    }

    void playHeadTurnsThePage()
    {
        // About a second in view.
        QVERIFY(QMetaObject::invokeMethod(rig->window, "onViewChangedL", Q_ARG(double, left->width() / 1000.0), Q_ARG(int, 0)));
        rig->engine()->play();
        QTRY_VERIFY_WITH_TIMEOUT(left->currentOffset() >= 1000, 10000);
        QVERIFY(rig->engine()->position() - left->currentOffset() < 300); // the play head at the left edge
        // The user looks back at the start while it plays: the view stays there.
        rig->child<QScrollBar>("scrollBar")->setValue(0);
        QTest::qWait(400);
        QCOMPARE(left->currentOffset(), 0);
        rig->engine()->stop();
    }

private:
    // "button <name>", "hotkey <id>", "pedal <ids>" (each pressed and let go) or "click <share of the width>".
    void give(const QString &command)
    {
        const QStringList words = command.split(QLatin1Char(' '));
        if (words[0] == QLatin1String("button")) {
            QTest::mouseClick(rig->window->findChild<QAbstractButton *>(words[1]), Qt::LeftButton);
        } else if (words[0] == QLatin1String("hotkey")) {
            QVERIFY(QMetaObject::invokeMethod(rig->window, "handleGlobalKey", Q_ARG(int, words[1].toInt())));
        } else if (words[0] == QLatin1String("pedal")) {
            for (const QString &id : words.mid(1)) {
                QVERIFY(QMetaObject::invokeMethod(rig->window, "onPedalDown", Q_ARG(int, id.toInt())));
                QVERIFY(QMetaObject::invokeMethod(rig->window, "onPedalUp", Q_ARG(int, id.toInt())));
            }
        } else {
            QTest::mouseClick(left, Qt::LeftButton, {}, QPoint(qRound(left->width() * words[1].toDouble()), left->height() / 2));
        }
    }

    QTemporaryDir dir;
    QString recording;
    QString dropped;
    QString secondSink;
    QString secondModule;
    std::unique_ptr<WindowRig> rig;
    WaveformDisplay *left = nullptr;
    WaveformDisplay *right = nullptr;
};

QTEST_MAIN(TestWindowTransport)
#include "tst_windowtransport.moc"
