// Input without the transport buttons, against a real engine: pedal and
// hot-key ids, a file dropped on the window, Enter to bookmark.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "widgets/transcriptiongrid.h"
#include "windowrig.h"

#include <QApplication>
#include <QToolButton>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
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
    void goToTime();
    void backstepOnResume_data();
    void backstepOnResume();
    void hotkeysLogAndAct_data();
    void hotkeysLogAndAct();
    void droppedFileOpens_data();
    void droppedFileOpens();
    void enterAddsBookmark_data();
    void enterAddsBookmark();

private:
    QTemporaryDir dir;
    QString recording;
    QString dropped;
    std::unique_ptr<WindowRig> rig;
};

void TestHandsFree::initTestCase()
{
    QVERIFY2(WindowRig::hasAudioOutput(), "no audio output: is PulseAudio running?");
    recording = dir.filePath(QStringLiteral("statement.wav"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=250:sample_rate=8000:duration=30"), {}, recording));
    dropped = dir.filePath(QStringLiteral("Second.WAV"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=330:sample_rate=8000:duration=1"), {"-f", "wav"},
                                     dropped));
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
    QTest::addColumn<QList<Marker>>("rows");
    QTest::newRow("F2 rewinds") << 2 << 5000LL << "User Action: Rewind" << QList<Marker>();
    QTest::newRow("F3 forwards") << 3 << 15000LL << "User Action: Forward" << QList<Marker>();
    QTest::newRow("F4 bookmarks without asking")
        << 4 << 10000LL << "Global Hotkey Pressed: 4" << QList<Marker>{{10000, 10000, "Bookmark", "", -1}};
}

void TestHandsFree::hotkeysLogAndAct()
{
    QFETCH(int, id);
    rig->engine()->seek(10000);
    QVERIFY(QMetaObject::invokeMethod(rig->window, "handleGlobalKey", Q_ARG(int, id)));
    QTEST(rig->engine()->position(), "to");
    QVERIFY(rig->eventLog().contains(QStringLiteral("Global Hotkey Pressed: %1").arg(id)));
    QTEST(rig->lastEvent(), "action");
    auto *grid = rig->window->findChild<TranscriptionGrid *>();
    QTEST(grid->getMarkers(), "rows");
    if (grid->rowCount() > 0) {
        QVERIFY(grid->selectionModel()->isRowSelected(0, QModelIndex())); // ready to be named
        QVERIFY(rig->auditLog().endsWith(QStringLiteral("Bookmark Added: Bookmark @00:00:10.000")));
    }
}

void TestHandsFree::goToTime()
{
    rig->answerDialogs(QString(), QStringLiteral("0:12.5"));
    QTest::keyClick(rig->window, Qt::Key_G, Qt::ControlModifier);
    QCOMPARE(rig->engine()->position(), 12500LL);
    QCOMPARE(rig->lastEvent(), QStringLiteral("User Action: Go to 00:00:12.500"));
}

void TestHandsFree::backstepOnResume_data()
{
    QTest::addColumn<QString>("source"); // what pauses and resumes
    QTest::addColumn<int>("choice");     // in the Backstep list
    QTest::addColumn<qlonglong>("back");
    QTest::newRow("Play button, 2 s") << "button" << 2 << 2000LL;
    QTest::newRow("F1, 5 s") << "F1" << 4 << 5000LL;
    QTest::newRow("pedal centre, 1 s") << "pedal" << 1 << 1000LL;
    QTest::newRow("off") << "button" << 0 << 0LL;
    QTest::newRow("a seek while paused is not moved") << "seek" << 2 << 0LL;
    QTest::newRow("Play after Stop is not moved") << "stop" << 4 << 0LL;
}

void TestHandsFree::backstepOnResume()
{
    QFETCH(QString, source);
    QFETCH(int, choice);
    QFETCH(qlonglong, back);
    auto *combo = rig->child<QComboBox>("backstepCombo");
    const int before = combo->currentIndex(); // the last run's choice
    combo->setCurrentIndex(choice);
    const auto press = [&]() {
        if (source == QLatin1String("F1")) {
            QVERIFY(QMetaObject::invokeMethod(rig->window, "handleGlobalKey", Q_ARG(int, 1)));
        } else if (source == QLatin1String("pedal")) {
            QVERIFY(QMetaObject::invokeMethod(rig->window, "onPedalDown", Q_ARG(int, 2)));
            QVERIFY(QMetaObject::invokeMethod(rig->window, "onPedalUp", Q_ARG(int, 2)));
        } else {
            QTest::mouseClick(rig->child<QToolButton>("playButton"), Qt::LeftButton);
        }
    };
    AudioEngine *engine = rig->engine();
    engine->seek(10000);
    press();
    QTRY_VERIFY(engine->isPlaying() && engine->position() > 10100);
    if (source == QLatin1String("stop"))
        QTest::mouseClick(rig->child<QToolButton>("stopButton"), Qt::LeftButton);
    else
        press();
    qlonglong stopped = engine->position();
    if (source == QLatin1String("seek")) {
        engine->seek(20000);
        stopped = 20000;
    }
    press();
    const qlonglong resumed = engine->position();
    QVERIFY2(qAbs(resumed - qMax(0LL, stopped - back)) < 250,
             qPrintable(QStringLiteral("%1 after a pause at %2").arg(resumed).arg(stopped)));
    QTRY_VERIFY(engine->isPlaying());
    QCOMPARE(rig->eventLog().contains(QStringLiteral("User Action: Backstep: ") + combo->itemText(choice)),
             choice != before);
}

void TestHandsFree::droppedFileOpens_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<int>("actions");
    QTest::addColumn<bool>("typedRows");
    QTest::addColumn<bool>("taken");  // the drag is accepted
    QTest::addColumn<bool>("asked");  // the unsaved-work question came (and was cancelled)
    QTest::addColumn<bool>("opened");

    const QUrl wav = QUrl::fromLocalFile(dropped);
    const int copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("an upper-case .WAV opens") << QList<QUrl>{wav} << copyOrMove << false << true << false << true;
    QTest::newRow("with typed rows the question comes first")
        << QList<QUrl>{wav} << int(Qt::CopyAction) << true << true << true << false;
    QTest::newRow("a text file is refused") << QList<QUrl>{QUrl::fromLocalFile(dir.filePath(QStringLiteral("a.txt")))}
                                            << copyOrMove << false << false << false << false;
    QTest::newRow("two files are refused") << QList<QUrl>{wav, wav} << copyOrMove << false << false << false << false;
    QTest::newRow("a web address is refused") << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.wav"))}
                                              << copyOrMove << false << false << false << false;
    QTest::newRow("a move, which would delete the file, is refused")
        << QList<QUrl>{wav} << int(Qt::MoveAction) << false << false << false << false;
}

void TestHandsFree::droppedFileOpens()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(int, actions);
    QFETCH(bool, typedRows);
    QFETCH(bool, taken);
    QFETCH(bool, asked);
    QFETCH(bool, opened);
    QTRY_VERIFY(!rig->engine()->isLoading());
    rig->answerDialogs();
    auto *grid = rig->window->findChild<TranscriptionGrid *>();
    if (typedRows)
        grid->addMarker(100, 300, QStringLiteral("Speaker A"), QString(), -1);

    // Dropped on the empty grid, where the guide asks for it.
    QMimeData mime;
    mime.setUrls(urls);
    QWidget *target = grid->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::DropActions(actions), &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QCOMPARE(enter.isAccepted(), taken);
    if (taken) {
        QDropEvent drop(at, Qt::DropActions(actions), &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    }

    if (opened) {
        QTRY_COMPARE(rig->engine()->filePath(), dropped);
        QVERIFY(rig->auditLog().endsWith(QStringLiteral("Opened: ") + dropped));
    } else {
        QTest::qWait(200);
        QCOMPARE(rig->engine()->filePath(), recording);
    }
    const bool questionCame = !rig->dialogs.isEmpty() && rig->dialogs.first().title == QLatin1String("Unsaved Work");
    QCOMPARE(questionCame, asked);
}

void TestHandsFree::enterAddsBookmark_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("rows"); // after the key, with one row there before

    QTest::newRow("Return on the waveform asks for a label") << "waveform" << int(Qt::Key_Return) << 2;
    QTest::newRow("keypad Enter on the grid asks for a label") << "grid" << int(Qt::Key_Enter) << 2;
    QTest::newRow("Return in an edited cell only ends the edit") << "cell" << int(Qt::Key_Return) << 1;
}

void TestHandsFree::enterAddsBookmark()
{
    QFETCH(QString, where);
    QFETCH(int, key);
    auto *grid = rig->window->findChild<TranscriptionGrid *>();
    grid->addMarker(1000, 2000, QStringLiteral("A"), QString(), -1);
    rig->answerDialogs(QString(), QStringLiteral("Door slam"));
    rig->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig->window));

    QWidget *focus = where == QLatin1String("waveform") ? rig->child<QWidget>("waveL") : grid;
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

    QFETCH(int, rows);
    QTRY_COMPARE(grid->rowCount(), rows);
    if (rows == 2) {
        QCOMPARE(rig->dialogs.size(), 1);
        QCOMPARE(rig->dialogs.first().title, QStringLiteral("Add Bookmark"));
        QCOMPARE(grid->getMarkers().last().label, QStringLiteral("Door slam"));
    } else {
        QTest::qWait(100);
        QVERIFY(rig->dialogs.isEmpty());
        QCOMPARE(grid->getMarkers().first().label, QStringLiteral("Interpreter"));
    }
}

QTEST_MAIN(TestHandsFree)
#include "tst_handsfree.moc"
