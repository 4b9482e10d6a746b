// Redaction and level repair from the window, with undo and redo, on a
// real engine.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
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
    // The redaction row and the audit line stay: they record what was done.
    QCOMPARE(window->findChild<TranscriptionGrid *>()->getMarkers().size(), 1);
    QVERIFY(child<QTextEdit>("auditLogView")->toPlainText().contains(QStringLiteral("Silenced: 1000-1500ms")));

    QTest::keyClick(window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(engine()->samples(), silenced);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(engine()->samples(), silenced);
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
