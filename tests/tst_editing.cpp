// Redaction and level repair from the window, with undo and redo, on a
// real engine.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

using namespace fixtures;

namespace {

constexpr int kRate = 8000;

qint16 sampleAt(const QByteArray &store, qint64 frame, int channel)
{
    return qFromLittleEndian<qint16>(store.constData() + frame * 4 + channel * 2);
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void redactionsAddRowsAndAuditLines_data();
    void redactionsAddRowsAndAuditLines();
    void nothingWithoutASelection();
    void cropExplains_data();
    void cropExplains();
    void undoAndRedoKeys();
    void undoAndRedoAreRecorded_data();
    void undoAndRedoAreRecorded();
    void undoStepsAreKeptInStep();
    void auditLinesCannotBeTypedOver_data();
    void auditLinesCannotBeTypedOver();
    void keysBelongToTheFieldBeingTyped();
    void contextMenuOffersWhatCanAct();
    void undoWhilePlayingKeepsThePlace();

private:
    template<typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    AudioEngine *engine() const { return window->findChild<AudioEngine *>(); }
    void select(qlonglong start, qlonglong end, int channel)
    {
        QVERIFY(QMetaObject::invokeMethod(window, "onRegionSelected", Q_ARG(qlonglong, start), Q_ARG(qlonglong, end),
                                          Q_ARG(int, channel)));
    }
    QStringList menuEntries(); // text and enabled state of the waveform's menu
    QString audit() const { return child<QTextEdit>("auditLogView")->toPlainText(); }
    QString lastAudit() const { return audit().section(QLatin1Char('\n'), -1); }
    QList<Marker> rows() const { return window->findChild<TranscriptionGrid *>()->getMarkers(); }

    QTemporaryDir dir;
    QString recording;
    MainWindow *window = nullptr;
};

void TestEditing::initTestCase()
{
    recording = dir.filePath(QStringLiteral("speech.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=200:sample_rate=8000:duration=6"),
                           {QStringLiteral("-ac"), QStringLiteral("2")}, recording));
}

void TestEditing::init()
{
    window = new MainWindow(nullptr, false);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(engine()->loadFile(recording));
}

void TestEditing::cleanup()
{
    delete window;
}

void TestEditing::redactionsAddRowsAndAuditLines_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("note");  // empty: no grid row
    QTest::addColumn<QString>("audit");
    QTest::addColumn<QString>("logged");
    QTest::newRow("silence, left only") << "silenceButton" << 0 << "Silence Applied" << "Silenced: 1000-1500ms"
                                        << "DSP: Region Silenced.";
    QTest::newRow("tone, both channels") << "toneButton" << -1 << "Tone 1kHz Applied"
                                         << "Applied 1kHz Tone: 1000-1500ms" << "DSP: Tone Applied.";
    QTest::newRow("normalise") << "normButton" << -1 << "" << "Normalized: 1000-1500ms" << "DSP: Normalized (Gain: ";
}

void TestEditing::redactionsAddRowsAndAuditLines()
{
    QFETCH(QString, button);
    QFETCH(int, channel);
    QFETCH(QString, note);
    QFETCH(QString, audit);
    QFETCH(QString, logged);
    const QByteArray before = engine()->samples();
    child<QWidget>("linkCheck")->setProperty("checked", channel == -1);
    select(1000, 1500, channel);
    QTest::mouseClick(window->findChild<QPushButton *>(button), Qt::LeftButton);

    const QList<Marker> rows = window->findChild<TranscriptionGrid *>()->getMarkers();
    if (note.isEmpty()) {
        QVERIFY(rows.isEmpty());
    } else {
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].label, QStringLiteral("Redaction"));
        QCOMPARE(rows[0].note, note);
        QCOMPARE(rows[0].channel, channel);
        QCOMPARE(rows[0].start, qlonglong(1000));
        QCOMPARE(rows[0].end, qlonglong(1500));
    }
    QVERIFY(child<QTextEdit>("auditLogView")->toPlainText().endsWith(audit));
    QVERIFY(child<QTextEdit>("eventLogView")->toPlainText().contains(logged));

    // Outside the region and in an unselected channel nothing moved.
    const QByteArray &after = engine()->samples();
    QCOMPARE(after.left(8000 * 4), before.left(8000 * 4));
    QCOMPARE(after.mid(12000 * 4), before.mid(12000 * 4));
    if (channel == 0) {
        QCOMPARE(sampleAt(after, 10000, 0), qint16(0));
        QCOMPARE(sampleAt(after, 10000, 1), sampleAt(before, 10000, 1));
    }
    QVERIFY(after != before);
}

void TestEditing::nothingWithoutASelection()
{
    const QByteArray before = engine()->samples();
    for (const char *button : {"silenceButton", "toneButton", "normButton"})
        QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton);
    QCOMPARE(engine()->samples(), before);
    QVERIFY(window->findChild<TranscriptionGrid *>()->getMarkers().isEmpty());
    QVERIFY(child<QTextEdit>("auditLogView")->toPlainText().isEmpty());
}

void TestEditing::cropExplains_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("with a selection") << true << "Crop"
                                      << "Crop functionality requires resizing support (Not in LE version).";
    QTest::newRow("without one") << false << "Selection Needed" << "Please select a region to crop.";
}

void TestEditing::cropExplains()
{
    QFETCH(bool, selected);
    QFETCH(QString, title);
    QFETCH(QString, text);
    if (selected)
        select(1000, 2000, -1);
    const QByteArray before = engine()->samples();
    QString seenTitle;
    QString seenText;
    QTimer::singleShot(50, this, [&]() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        seenTitle = box->windowTitle();
        seenText = box->text();
        box->accept();
    });
    QTest::mouseClick(child<QPushButton>("cropButton"), Qt::LeftButton);
    QCOMPARE(seenTitle, title);
    QCOMPARE(seenText, text);
    QCOMPARE(engine()->samples(), before);
}

void TestEditing::undoAndRedoKeys()
{
    const QByteArray loaded = engine()->samples();
    select(1000, 1500, -1);
    QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
    const QByteArray silenced = engine()->samples();

    window->activateWindow();
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(engine()->samples(), loaded);
    QVERIFY(child<QTextEdit>("eventLogView")->toPlainText().endsWith(QStringLiteral("Action: Undo")));
    QCOMPARE(lastAudit(), QStringLiteral("Undone: Silenced: 1000-1500ms"));

    QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(engine()->samples(), silenced);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(engine()->samples(), silenced);
}

void TestEditing::undoAndRedoAreRecorded_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("addsRow");
    QTest::addColumn<QString>("typedNote"); // typed into the redaction row before the undo; empty: none
    QTest::newRow("silence") << "silenceButton" << "Silenced: 1000-1500ms" << true << "";
    QTest::newRow("tone") << "toneButton" << "Applied 1kHz Tone: 1000-1500ms" << true << "";
    QTest::newRow("normalise, no row") << "normButton" << "Normalized: 1000-1500ms" << false << "";
    QTest::newRow("silence, its row edited since") << "silenceButton" << "Silenced: 1000-1500ms" << true
                                                   << "name of a witness";
}

void TestEditing::undoAndRedoAreRecorded()
{
    QFETCH(QString, button);
    QFETCH(QString, line);
    QFETCH(bool, addsRow);
    QFETCH(QString, typedNote);
    auto *grid = window->findChild<TranscriptionGrid *>();
    grid->addMarker(500, 500, QStringLiteral("Earlier"), QString(), -1);
    select(1000, 1500, -1);
    QTest::mouseClick(child<QPushButton>(button.toLatin1().constData()), Qt::LeftButton);
    if (!typedNote.isEmpty())
        grid->item(1, 3)->setText(typedNote);
    grid->addMarker(9000, 9000, QStringLiteral("Later"), QString(), -1);
    const QList<Marker> edited = rows();
    QCOMPARE(edited.size(), addsRow ? 3 : 2);
    QCOMPARE(lastAudit(), line);

    QVERIFY(QMetaObject::invokeMethod(window, "onUndo"));
    QCOMPARE(lastAudit(), QStringLiteral("Undone: ") + line);
    QList<Marker> withoutEdit = edited;
    if (addsRow)
        withoutEdit.removeAt(1);
    QCOMPARE(rows(), withoutEdit);

    QVERIFY(QMetaObject::invokeMethod(window, "onRedo"));
    QCOMPARE(lastAudit(), QStringLiteral("Redone: ") + line);
    QCOMPARE(rows(), edited);

    // Undoing the load's own step changes nothing and records nothing;
    // redoing it neither.
    const int lines = audit().count(QLatin1Char('\n'));
    for (const char *slot : {"onUndo", "onUndo", "onRedo"})
        QVERIFY(QMetaObject::invokeMethod(window, slot));
    QCOMPARE(audit().count(QLatin1Char('\n')), lines + 1);
    QCOMPARE(rows(), withoutEdit);
    QVERIFY(QMetaObject::invokeMethod(window, "onRedo"));
    QCOMPARE(lastAudit(), QStringLiteral("Redone: ") + line);
    QCOMPARE(rows(), edited);
}

void TestEditing::undoStepsAreKeptInStep()
{
    // Eleven redactions: the history holds the last ten.
    for (int i = 0; i < 11; ++i) {
        select(i * 100, i * 100 + 50, -1);
        QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
    }
    for (int i = 0; i < 11; ++i)
        QVERIFY(QMetaObject::invokeMethod(window, "onUndo"));
    QCOMPARE(audit().count(QStringLiteral("Undone: ")), 10);
    QCOMPARE(lastAudit(), QStringLiteral("Undone: Silenced: 100-150ms"));
    QCOMPARE(rows().size(), 1);
    QCOMPARE(rows()[0].start, qlonglong(0));
}

void TestEditing::auditLinesCannotBeTypedOver_data()
{
    QTest::addColumn<QKeySequence>("keys");
    QTest::newRow("typing over a selection") << QKeySequence(Qt::Key_X);
    QTest::newRow("backspace") << QKeySequence(Qt::Key_Backspace);
    QTest::newRow("delete") << QKeySequence(Qt::Key_Delete);
    QTest::newRow("paste") << QKeySequence(QKeySequence::Paste);
    QTest::newRow("cut") << QKeySequence(QKeySequence::Cut);
}

void TestEditing::auditLinesCannotBeTypedOver()
{
    QFETCH(QKeySequence, keys);
    select(1000, 1500, -1);
    QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
    const QString before = audit();
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    auto *view = child<QTextEdit>("auditLogView");
    window->activateWindow();
    view->setFocus();
    view->selectAll();
    QTest::keySequence(view, keys);
    view->paste();
    QCOMPARE(audit(), before);
}

void TestEditing::keysBelongToTheFieldBeingTyped()
{
    select(1000, 1500, -1);
    QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
    const QByteArray silenced = engine()->samples();
    auto *reference = child<QLineEdit>("refEdit");
    reference->setFocus();
    QTest::keyClicks(reference, QStringLiteral("CASE-1"));
    QTest::keyClick(reference, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(engine()->samples(), silenced);
    QVERIFY(reference->text() != QStringLiteral("CASE-1")); // the field's own undo
}

QStringList TestEditing::menuEntries()
{
    QStringList entries;
    QTimer::singleShot(50, this, [&]() {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (const QAction *action : menu->actions()) {
            if (!action->isSeparator())
                entries << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        menu->close();
    });
    auto *wave = child<WaveformDisplay>("waveL");
    emit wave->customContextMenuRequested(QPoint(10, 10));
    return entries;
}

void TestEditing::contextMenuOffersWhatCanAct()
{
    QCOMPARE(menuEntries(), (QStringList{"Silence (off)", "1kHz Tone (off)", "Normalize (off)", "Trim Peaks (off)",
                                         "Undo", "Redo (off)"}));
    select(1000, 1500, -1);
    QCOMPARE(menuEntries(),
             (QStringList{"Silence", "1kHz Tone", "Normalize", "Trim Peaks", "Undo", "Redo (off)"}));
    QVERIFY(QMetaObject::invokeMethod(window, "onTrimPeaksClicked"));
    QVERIFY(child<QTextEdit>("auditLogView")->toPlainText().endsWith(QStringLiteral("Trimmed Peaks: 1000-1500ms")));
    QVERIFY(QMetaObject::invokeMethod(window, "onUndo"));
    QCOMPARE(menuEntries().last(), QStringLiteral("Redo"));
}

void TestEditing::undoWhilePlayingKeepsThePlace()
{
    QTRY_VERIFY2_WITH_TIMEOUT(!QMediaDevices::audioOutputs().isEmpty(), "no audio output: is PulseAudio running?",
                              5000);
    select(0, 6000, -1);
    QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
    engine()->play();
    QTRY_VERIFY_WITH_TIMEOUT(engine()->position() > 1500, 8000);
    QVERIFY(QMetaObject::invokeMethod(window, "onUndo"));
    const qlonglong after = engine()->position();
    QVERIFY(engine()->isPlaying());
    QVERIFY2(after > 1400, qPrintable(QString::number(after)));
    QTRY_VERIFY(engine()->position() > after + 200);
    engine()->stop();
}

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
