// Moving around a recording in the window: both views on the same stretch of
// time, selections by the "Link L/R" rule, the scroll bar, the play head.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"
#include "windowrig.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

class TestNavigation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { rig.reset(); }
    void fitsThenTogglesDetail();
    void zoomToSelectionLogs();
    void selectionsFollowTheLink_data();
    void selectionsFollowTheLink();
    void scrollBarFollowsTheView();
    void timesOfTheSelection_data();
    void timesOfTheSelection();
    void keysOnAFocusedWaveform();
    void gridRowPlaysInALoop();
    void gridMenuZoomsToTheRow();
    void playHeadTurnsThePage();

private:
    template<typename T>
    T *child(const char *name) const
    {
        return rig->child<T>(name);
    }
    AudioEngine *engine() const { return rig->engine(); }
    QString eventLog() const { return rig->eventLog(); }
    QString auditLog() const { return rig->auditLog(); }
    void drag(WaveformDisplay *wave, int fromX, int toX);

    QTemporaryDir dir;
    QString recording;
    std::unique_ptr<WindowRig> rig;
    MainWindow *window = nullptr;
    WaveformDisplay *left = nullptr;
    WaveformDisplay *right = nullptr;
};

void TestNavigation::initTestCase()
{
    recording = dir.filePath(QStringLiteral("minute.wav"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=300:sample_rate=8000:duration=60"),
                           {QStringLiteral("-ac"), QStringLiteral("2")}, recording));
}

void TestNavigation::init()
{
    rig = std::make_unique<WindowRig>();
    window = rig->window;
    left = child<WaveformDisplay>("waveL");
    right = child<WaveformDisplay>("waveR");
    QVERIFY(rig->load(recording));
}

void TestNavigation::drag(WaveformDisplay *wave, int fromX, int toX)
{
    const int y = wave->height() / 2;
    QTest::mousePress(wave, Qt::LeftButton, {}, QPoint(fromX, y));
    QTest::mouseMove(wave, QPoint(toX, y));
    QTest::mouseRelease(wave, Qt::LeftButton, {}, QPoint(toX, y));
}

void TestNavigation::fitsThenTogglesDetail()
{
    const double zoom = left->width() / 60000.0;
    QVERIFY(eventLog().contains(QStringLiteral("View: Fitting 60000 ms to %1 px (Zoom: %2)")
                                    .arg(left->width())
                                    .arg(QString::number(zoom))));
    QCOMPARE(left->currentZoom(), zoom);
    QCOMPARE(right->currentZoom(), zoom);
    QCOMPARE(left->currentOffset(), 0);

    QVERIFY(QMetaObject::invokeMethod(window, "onZoomToggle"));
    QCOMPARE(left->currentZoom(), 1.0); // the remembered detail zoom
    QVERIFY(auditLog().endsWith(QStringLiteral("View: Detail Mode (Restored)")));
    QVERIFY(QMetaObject::invokeMethod(window, "onZoomToggle"));
    QCOMPARE(left->currentZoom(), left->width() / 60000.0);
    QVERIFY(auditLog().endsWith(QStringLiteral("View: Overview Mode")));
    QVERIFY(QMetaObject::invokeMethod(window, "onZoomToggle"));
    QCOMPARE(left->currentZoom(), 1.0);
}

void TestNavigation::zoomToSelectionLogs()
{
    QTest::mouseClick(child<QPushButton>("zoomSelButton"), Qt::LeftButton);
    QVERIFY(auditLog().endsWith(QStringLiteral("No selection to zoom into.")));
    QVERIFY(!eventLog().contains(QStringLiteral("User Action: Zoom Selection")));

    drag(left, 100, 200);
    const qlonglong start = left->selectionStart();
    QTest::mouseClick(child<QPushButton>("zoomSelButton"), Qt::LeftButton);
    QVERIFY(eventLog().endsWith(QStringLiteral("User Action: Zoom Selection")));
    QVERIFY(auditLog().endsWith(QStringLiteral("Zoomed to selection.")));
    QCOMPARE(qlonglong(left->currentOffset()), start);
    QCOMPARE(right->currentZoom(), left->currentZoom());
}

void TestNavigation::selectionsFollowTheLink_data()
{
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("inRight");
    QTest::addColumn<bool>("leftShows");
    QTest::addColumn<bool>("rightShows");
    QTest::newRow("linked drag in the right view") << true << true << true << true;
    QTest::newRow("unlinked drag in the right view") << false << true << false << true;
    QTest::newRow("unlinked drag in the left view") << false << false << true << false;
}

void TestNavigation::selectionsFollowTheLink()
{
    QFETCH(bool, linked);
    QFETCH(bool, inRight);
    QFETCH(bool, leftShows);
    QFETCH(bool, rightShows);
    child<QCheckBox>("linkCheck")->setChecked(linked);
    drag(inRight ? right : left, 300, 100);
    WaveformDisplay *dragged = inRight ? right : left;
    const qlonglong start = dragged->selectionStart();
    const qlonglong end = dragged->selectionEnd();
    QVERIFY(start < end);
    QCOMPARE(left->selectionStart(), leftShows ? start : -1);
    QCOMPARE(right->selectionStart(), rightShows ? start : -1);

    // Select All shows in both views whatever the link says.
    QTest::mouseClick(child<QPushButton>("selectAllButton"), Qt::LeftButton);
    QCOMPARE(left->selectionEnd(), qlonglong(60000));
    QCOMPARE(right->selectionEnd(), qlonglong(60000));
    QTest::mouseClick(child<QPushButton>("deselectButton"), Qt::LeftButton);
    QCOMPARE(left->selectionStart(), qlonglong(-1));
    QCOMPARE(right->selectionStart(), qlonglong(-1));
}

void TestNavigation::timesOfTheSelection_data()
{
    QTest::addColumn<std::function<void(MainWindow *)>>("select");
    QTest::addColumn<QString>("shown");
    using Select = std::function<void(MainWindow *)>;
    QTest::newRow("everything") << Select([](MainWindow *w) { QMetaObject::invokeMethod(w, "onSelectAllClicked"); })
                                << "Start 00:00:00.000\nEnd 00:01:00.000\nLength 00:01:00.000";
    QTest::newRow("a grid row") << Select([](MainWindow *w) {
        QMetaObject::invokeMethod(w, "onGridRegionRequested", Q_ARG(qlonglong, 1500), Q_ARG(qlonglong, 4000));
    }) << "Start 00:00:01.500\nEnd 00:00:04.000\nLength 00:00:02.500";
    QTest::newRow("nothing") << Select([](MainWindow *w) {
        QMetaObject::invokeMethod(w, "onSelectAllClicked");
        QMetaObject::invokeMethod(w, "onDeselectClicked");
    }) << "";
}

// The length stands by the clock, the selection's times by the selection
// buttons, and only the top view carries the ruler.
void TestNavigation::timesOfTheSelection()
{
    QFETCH(std::function<void(MainWindow *)>, select);
    QFETCH(QString, shown);
    select(window);
    QCOMPARE(child<QLabel>("selectionLabel")->text(), shown);
    QCOMPARE(child<QLabel>("durationLabel")->text(), QStringLiteral("/ 00:01:00.000"));
    QVERIFY(left->isRulerShown());
    QVERIFY(!right->isRulerShown());
}

void TestNavigation::scrollBarFollowsTheView()
{
    auto *bar = child<QScrollBar>("scrollBar");
    QCOMPARE(bar->maximum(), 0); // everything in view
    QTest::mouseClick(child<QPushButton>("zoomInButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("zoomInButton"), Qt::LeftButton);
    const qlonglong span = qRound64(left->width() / left->currentZoom());
    QCOMPARE(bar->maximum(), int(60000 - span));
    QCOMPARE(bar->pageStep(), int(span));
    QCOMPARE(bar->value(), left->currentOffset());

    bar->setValue(bar->maximum());
    QCOMPARE(left->currentOffset(), bar->maximum());
    QCOMPARE(right->currentOffset(), bar->maximum());

    // The wheel zooms both views; the bar follows without moving the view again.
    QWheelEvent wheel(QPointF(10, 10), left->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    const int offset = left->currentOffset();
    QApplication::sendEvent(left, &wheel);
    QCOMPARE(right->currentZoom(), left->currentZoom());
    QCOMPARE(left->currentOffset(), offset);
    QCOMPARE(bar->value(), offset);
}

void TestNavigation::keysOnAFocusedWaveform()
{
    left->setFocus();
    QTRY_VERIFY(left->hasFocus());
    QTest::keyClick(left, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(left->selectionEnd(), qlonglong(60000));
    QTest::keyClick(left, Qt::Key_Escape);
    QCOMPARE(left->selectionStart(), qlonglong(-1));
    QTest::keyClick(left, Qt::Key_Z);
    QCOMPARE(left->currentZoom(), 1.0);
}

void TestNavigation::gridRowPlaysInALoop()
{
    auto *grid = window->findChild<TranscriptionGrid *>();
    grid->addMarker(1000, 2000, QStringLiteral("A"), QString(), -1);
    QVERIFY(QMetaObject::invokeMethod(grid, "onCellDoubleClicked", Q_ARG(int, 0), Q_ARG(int, 3)));
    const QString log = eventLog();
    QVERIFY(log.contains(QStringLiteral("Action: Play Region 1000-2000")));
    QCOMPARE(log.count(QStringLiteral("User Action: Loop Toggled (1)")), 1);
    QVERIFY(child<QPushButton>("loopButton")->isChecked());
    QCOMPARE(left->selectionStart(), qlonglong(1000));
    QCOMPARE(right->selectionEnd(), qlonglong(2000));

    // With Loop already on, the loop slot does not run again.
    QVERIFY(QMetaObject::invokeMethod(grid, "onCellDoubleClicked", Q_ARG(int, 0), Q_ARG(int, 0)));
    QCOMPARE(eventLog().count(QStringLiteral("User Action: Loop Toggled (1)")), 1);
    QCOMPARE(eventLog().count(QStringLiteral("Action: Play Region 1000-2000")), 2);
}

void TestNavigation::gridMenuZoomsToTheRow()
{
    auto *grid = window->findChild<TranscriptionGrid *>();
    grid->addMarker(30000, 32000, QStringLiteral("B"), QString(), 0);
    QTimer::singleShot(50, this, []() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Zoom to Row"));
        menu->actions().first()->trigger();
        menu->close();
    });
    emit grid->customContextMenuRequested(grid->visualItemRect(grid->item(0, 2)).center());
    QCOMPARE(left->currentOffset(), 30000);
    QCOMPARE(left->currentZoom(), left->width() / 2000.0);
    QCOMPARE(left->selectionStart(), qlonglong(30000));
    QCOMPARE(right->selectionStart(), qlonglong(30000)); // the row covers both channels
}

void TestNavigation::playHeadTurnsThePage()
{
    QVERIFY2(WindowRig::hasAudioOutput(), "no audio output: is PulseAudio running?");
    // About a second in view.
    QVERIFY(QMetaObject::invokeMethod(window, "onViewChangedL", Q_ARG(double, left->width() / 1000.0), Q_ARG(int, 0)));
    engine()->play();
    QTRY_VERIFY_WITH_TIMEOUT(left->currentOffset() >= 1000, 10000);
    QVERIFY(engine()->position() - left->currentOffset() < 300); // the play head at the left edge

    // The user looks back at the start while it plays: the view stays there.
    child<QScrollBar>("scrollBar")->setValue(0);
    QTest::qWait(400);
    QCOMPARE(left->currentOffset(), 0);
    engine()->stop();
}

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
