// Opening recordings through the window, as a user does: the file dialog,
// the title, the panes, the waveforms and the error box.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace fixtures;

class TestOpenRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensAndFitsTheWholeRecording();
    void monoHidesTheRightView();
    void cancelChangesNothing();
    void failureShowsTheErrorAndKeepsTheTitle();
    void showsProgressAndBlocksOpenWhileDecoding();
    void updateRescansTheFile();
    void closingDuringADecodeIsSafe();

private:
    // Answers the next file dialog with `path` (empty: cancel).
    void answerDialogs(const QString &path);
    void open(const QString &path);
    template<typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    QString eventLog() const { return child<QTextEdit>("eventLogView")->toPlainText(); }

    QTemporaryDir dir;
    QString stereo;
    QString mono;
    QString longMp3;
    QPointer<MainWindow> window;
    QString boxText;
    QString boxDetail;
};

void TestOpenRecording::initTestCase()
{
    stereo = dir.filePath(QStringLiteral("interview.wav"));
    mono = dir.filePath(QStringLiteral("phone.wav"));
    longMp3 = dir.filePath(QStringLiteral("long.mp3"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=6"),
                           {QStringLiteral("-ac"), QStringLiteral("2")}, stereo));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=8000:duration=3"), {}, mono));
    QVERIFY(ffmpegGenerate(QStringLiteral("anoisesrc=sample_rate=44100:duration=120"),
                           {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-b:a"), QStringLiteral("128k")},
                           longMp3));
}

void TestOpenRecording::init()
{
    window = new MainWindow(nullptr, false);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    boxText.clear();
    // Any message box is read and closed with OK.
    auto *boxes = new QTimer(window);
    connect(boxes, &QTimer::timeout, this, [this]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxText = box->text();
            boxDetail = box->informativeText();
            box->button(QMessageBox::Ok)->click();
        }
    });
    boxes->start(20);
}

void TestOpenRecording::cleanup()
{
    delete window;
}

void TestOpenRecording::answerDialogs(const QString &path)
{
    auto *poll = new QTimer(window);
    connect(poll, &QTimer::timeout, this, [poll, path]() {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name field, as a user would; selectFile() waits
            // for the directory listing.
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog *>(dialog)->accept();
        }
        poll->deleteLater();
    });
    poll->start(20);
}

void TestOpenRecording::open(const QString &path)
{
    answerDialogs(path);
    QTest::mouseClick(child<QPushButton>("openButton"), Qt::LeftButton);
}

void TestOpenRecording::opensAndFitsTheWholeRecording()
{
    open(stereo);
    QCOMPARE(window->windowTitle(), QStringLiteral("Orlenta LE (Beta) - interview.wav"));
    QVERIFY(child<QTextEdit>("auditLogView")->toPlainText().endsWith(QStringLiteral("Opened: ") + stereo));
    QVERIFY(window->findChild<TranscriptionGrid *>()->overlayText().isEmpty());
    QVERIFY(child<QTextEdit>("formatView")->toPlainText().startsWith(
        QStringLiteral("=== General ===\nFilename: interview.wav\n")));
    QVERIFY(child<QWidget>("rightWaveContainer")->isVisible());
    QVERIFY(!child<QProgressBar>("loadProgress")->isVisible());

    // About 100 ms after the lists arrive, both views show all 6000 ms.
    auto *left = child<WaveformDisplay>("waveL");
    auto *right = child<WaveformDisplay>("waveR");
    QTRY_VERIFY(eventLog().contains(QStringLiteral("View: Fitting 6000 ms to %1 px (Zoom: %2)")
                                        .arg(left->width())
                                        .arg(QString::number(left->width() / 6000.0))));
    QCOMPARE(left->currentZoom(), left->width() / 6000.0);
    QCOMPARE(right->currentZoom(), left->currentZoom());
    QCOMPARE(left->currentOffset(), 0);
}

void TestOpenRecording::monoHidesTheRightView()
{
    open(mono);
    QTRY_VERIFY(!child<QWidget>("rightWaveContainer")->isVisible());
    open(stereo);
    QTRY_VERIFY(child<QWidget>("rightWaveContainer")->isVisible());
}

void TestOpenRecording::cancelChangesNothing()
{
    const QString overlay = window->findChild<TranscriptionGrid *>()->overlayText();
    open(QString());
    QCOMPARE(window->windowTitle(), QStringLiteral("Orlenta LE (Beta)"));
    QCOMPARE(window->findChild<TranscriptionGrid *>()->overlayText(), overlay);
    QVERIFY(!eventLog().contains(QStringLiteral("Load initiated")));
}

void TestOpenRecording::failureShowsTheErrorAndKeepsTheTitle()
{
    const QString fake = dir.filePath(QStringLiteral("notes.mp3"));
    QFile text(fake);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("minutes of the meeting\n");
    text.close();

    const QString overlay = window->findChild<TranscriptionGrid *>()->overlayText();
    open(fake);
    QCOMPARE(boxText, QStringLiteral("Failed to decode audio file."));
    QCOMPARE(boxDetail, fake);
    QCOMPARE(window->windowTitle(), QStringLiteral("Orlenta LE (Beta)"));
    QVERIFY(eventLog().contains(QStringLiteral("] Decoder Error: ")));
    QVERIFY(eventLog().contains(QStringLiteral("] ERROR: Failed to decode audio file.")));
    QVERIFY(!child<QTextEdit>("auditLogView")->toPlainText().contains(QStringLiteral("Opened:")));
    QVERIFY(!child<QProgressBar>("loadProgress")->isVisible());
    QVERIFY(child<QPushButton>("openButton")->isEnabled());
    // A failed open leaves the window as it was, the guide included.
    QCOMPARE(window->findChild<TranscriptionGrid *>()->overlayText(), overlay);
}

void TestOpenRecording::showsProgressAndBlocksOpenWhileDecoding()
{
    int sawProgress = 0;
    bool openWasDisabled = false;
    auto *watch = new QTimer(window);
    connect(watch, &QTimer::timeout, this, [&]() {
        auto *bar = child<QProgressBar>("loadProgress");
        if (bar->isVisible() && bar->maximum() == 100 && bar->value() > 0 && bar->value() < 100)
            ++sawProgress;
        if (bar->isVisible() && !child<QPushButton>("openButton")->isEnabled())
            openWasDisabled = true;
    });
    watch->start(5);
    open(longMp3);
    watch->stop();
    QVERIFY(sawProgress > 0);
    QVERIFY(openWasDisabled);
    QVERIFY(child<QPushButton>("openButton")->isEnabled());
    QCOMPARE(window->windowTitle(), QStringLiteral("Orlenta LE (Beta) - long.mp3"));
}

void TestOpenRecording::updateRescansTheFile()
{
    open(stereo);
    auto *format = child<QTextEdit>("formatView");
    format->setPlainText(QStringLiteral("edited by hand"));
    QTest::mouseClick(child<QPushButton>("updateFormatButton"), Qt::LeftButton);
    QVERIFY(format->toPlainText().contains(QStringLiteral("Sample Rate: 44100 Hz")));
    QVERIFY(eventLog().contains(QStringLiteral("Metadata Refresh: Scanned raw file from disk.")));
}

void TestOpenRecording::closingDuringADecodeIsSafe()
{
    // Closed from inside the decode, on its first report of progress.
    bool closedWhileLoading = false;
    auto *engine = window->findChild<AudioEngine *>();
    connect(engine, &AudioEngine::loadProgressChanged, window, [&, engine](int percent) {
        if (percent <= 0 || closedWhileLoading)
            return;
        closedWhileLoading = engine->isLoading();
        window->close();
    });
    open(longMp3);
    QVERIFY(closedWhileLoading);
    QTRY_VERIFY(window.isNull());
}

QTEST_MAIN(TestOpenRecording)
#include "tst_openrecording.moc"
