// Opening recordings through the window; broken or hostile files end promptly
// in their own message (or in what they really hold), the work kept.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"
#include "windowrig.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

using namespace fixtures;

namespace {

// What stands at the chosen path when Open reads it: the row's bytes, a
// folder, a named pipe nobody writes to, or a link to a missing file.
enum class Make { Bytes, Folder, Fifo, MissingTarget };

constexpr qint64 kPromptMs = 10000;
const QString kTitle = QStringLiteral("Orlenta LE (Beta)");
const QString kMissingChunks = QStringLiteral("Invalid WAV: Missing fmt or data chunk.");
const QString kNotOpened = QStringLiteral("Could not open file.");
const QString kNotDecoded = QStringLiteral("Failed to decode audio file.");

// The same bytes on every run for the same stream number.
QByteArray noise(quint32 stream, int size)
{
    QRandomGenerator random(stream);
    QByteArray out(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(out.data()), size / 4);
    return out;
}

} // namespace

class TestOpenRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        good = dir.filePath("good.wav");
        longMp3 = dir.filePath("long.mp3");
        QVERIFY(ffmpegGenerate("sine=frequency=440:sample_rate=8000:duration=1", {}, good));
        QVERIFY(ffmpegGenerate("anoisesrc=sample_rate=44100:duration=120", {"-ac", "2", "-b:a", "128k"}, longMp3));

        // The broken files are cut and altered from real encoder output.
        const QString ogg = dir.filePath("real.ogg");
        const QString loud = dir.filePath("noise.wav");
        QVERIFY(ffmpegGenerate("anoisesrc=sample_rate=44100:amplitude=0.3:duration=3", {"-ac", "2"}, loud));
        QVERIFY(!run("oggenc", {"-Q", "-o", ogg, loud}).isNull());
        const QString mp3 = dir.filePath("real.mp3");
        QVERIFY(ffmpegGenerate("sine=frequency=440:sample_rate=22050:duration=2", {"-ac", "2"}, mp3));
        realWav = readFile(good);
        realOgg = readFile(ogg);
        realMp3 = readFile(mp3);
    }

    void init()
    {
        rig = std::make_unique<WindowRig>();
        rig->boxAnswer = QMessageBox::Discard; // the question about unsaved work
        shownLeft.clear();
        connect(rig->engine(), &AudioEngine::waveformDataReady, rig->window,
                [this](const QList<double> &left, const QList<double> &) { shownLeft = left; });
    }

    void cleanup() { rig.reset(); }

    // Closed from inside the decode, on its first report of progress: the
    // decode is under way, shown, and no second Open may start meanwhile.
    void closingDuringADecodeIsSafe()
    {
        QPointer<MainWindow> window = rig->window;
        window->setAttribute(Qt::WA_DeleteOnClose);
        bool closed = false, loading = false, shown = false, openBlocked = false;
        AudioEngine *engine = rig->engine();
        connect(engine, &AudioEngine::loadProgressChanged, window, [&, engine](int percent) {
            if (percent <= 0 || std::exchange(closed, true))
                return;
            loading = engine->isLoading();
            shown = child<QProgressBar>("loadProgress")->isVisible();
            openBlocked = !child<QPushButton>("openButton")->isEnabled();
            window->close();
        });
        open(longMp3);
        QVERIFY(closed);
        QVERIFY(loading);
        QVERIFY(shown);
        QVERIFY(openBlocked);
        QTRY_VERIFY(window.isNull());
        rig->window = nullptr;
    }

    void badFileKeepsTheWork_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Make>("make");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message"); // empty: the file loads what ffmpeg decodes of it
        QTest::addColumn<QString>("logged");  // an event-log line that says why, or empty; for a file that loads, a line of its report
        const auto bytes = [](const char *tag, const QString &name, const QByteArray &content, const QString &message,
                              const QString &logged = QString()) {
            QTest::newRow(tag) << name << Make::Bytes << content << message << logged;
        };
        // Left as a regular file (replaced once chosen), it would load.
        const auto node = [this](const char *tag, const QString &name, Make make) {
            QTest::newRow(tag) << name << make << realWav << kNotOpened << QString();
        };
        const qsizetype dataAt = realWav.indexOf("data");
        // Too few bytes for any WAV, whatever they hold.
        bytes("empty .wav", "x.wav", QByteArray(""), QStringLiteral("File too small."));
        bytes("wav cut after the data header, named with spaces and a colon", "take 1: x.wav",
              realWav.left(dataAt + 8), kMissingChunks);
        bytes("codec tag nobody decodes", "x.wav", riff(fmtChunk(0xdead, 1, 8000, 16) + chunk("data", noise(0, 1600))),
              kNotDecoded, QStringLiteral("Decoder Error: No decoder for the audio codec \"none\"."));
        bytes("random bytes .bwf", "x.bwf", noise(1, 65536), kNotDecoded, QStringLiteral("Decoder Error: "));
        bytes("empty .mp3", "x.mp3", QByteArray(""), kNotDecoded, QStringLiteral("Decoder Error: The file is empty."));
        node("folder named x.wav", "x.wav", Make::Folder);
        node("FIFO named x.wav", "x.wav", Make::Fifo);
        node("symbolic link to a missing file", "x.wav", Make::MissingTarget);

        // What the bytes hold decides, not the name.
        bytes("stereo MP3 named wav", "x.wav", realMp3, QString(), QStringLiteral("Format: Decoded PCM (16-bit)\n"));
        // Damaged but playable: what the decoder makes of them loads, promptly.
        // The first three pages hold the headers; the audio pages follow.
        qsizetype audioAt = 0;
        for (int page = 0; page < 3; ++page)
            audioAt = realOgg.indexOf("OggS", audioAt + 1);
        const QByteArray audioPages = realOgg.mid(audioAt);
        bytes("Ogg pages that go round in a loop", "x.ogg", realOgg + audioPages + audioPages, QString(),
              QStringLiteral("Container: Ogg"));
    }

    // Opened over a recording with work on it: a file that fails leaves all
    // of it as it was and usable; one that loads replaces it.
    void badFileKeepsTheWork()
    {
        QFETCH(QString, name);
        QFETCH(Make, make);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QFETCH(QString, logged);
        AudioEngine *engine = rig->engine();
        TranscriptionGrid *grid = rig->grid();
        auto *left = child<WaveformDisplay>("waveL");
        open(good);
        QCOMPARE(engine->duration(), qlonglong(1000));
        QVERIFY(!child<QWidget>("rightWaveContainer")->isVisible()); // mono: one view
        QVERIFY(grid->overlayText().isEmpty());
        grid->addMarker(100, 400, QStringLiteral("Speaker A"), QString(), -1);
        QTest::mouseClick(child<QPushButton>("selectAllButton"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>("normButton"), Qt::LeftButton);
        child<QLineEdit>("refEdit")->setText(QStringLiteral("REF 7"));
        QTest::mouseClick(child<QToolButton>("forwardButton"), Qt::LeftButton);
        const QByteArray edited = engine->samples();
        const QList<Marker> rows = grid->getMarkers();
        const QString format = child<QTextEdit>("formatView")->toPlainText();
        QVERIFY2(format.contains(QStringLiteral("Format: PCM\n")), qPrintable(format));
        const QString overlay = grid->overlayText();
        const QList<double> lists = shownLeft;
        const std::pair<qlonglong, qlonglong> selection{left->selectionStart(), left->selectionEnd()};
        QVERIFY(selection.second > selection.first);
        const QString folder = dir.filePath(QString::number(++rowNumber));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QLatin1Char('/') + name;
        if (make == Make::Fifo)
            QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        else
            QVERIFY(writeFile(path, bytes));
        // The dialog refuses a folder or a missing file; these stand for a file
        // replaced after it was chosen, before the engine reads it.
        if (make == Make::Folder || make == Make::MissingTarget) {
            auto *once = new QObject(rig->window);
            connect(engine, &AudioEngine::loadingStateChanged, once, [once, make, path, folder](bool on) {
                if (!on)
                    return;
                QFile::remove(path);
                if (make == Make::Folder)
                    QDir().mkdir(path);
                else
                    QFile::link(folder + QStringLiteral("/gone.wav"), path);
                delete once;
            });
        }
        rig->dialogs.clear();
        QElapsedTimer clock;
        clock.start();
        open(path);
        QVERIFY2(clock.elapsed() < kPromptMs, qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
        const QString events = rig->eventLog();
        QVERIFY(events.contains(QStringLiteral("] AudioEngine: Load initiated: ") + path));
        QVERIFY(!engine->isLoading());
        if (message.isEmpty()) {
            QCOMPARE(boxTexts(), QStringList());
            QVERIFY(!events.contains(QStringLiteral("] ERROR: ")));
            QCOMPARE(engine->samples(), ffmpegS16(path));
            QVERIFY(shownLeft != lists);
            QCOMPARE(rig->window->windowTitle(), kTitle + QStringLiteral(" - ") + name);
            QTRY_VERIFY(child<QWidget>("rightWaveContainer")->isVisible()); // stereo: two views
            QVERIFY(rig->auditLog().endsWith(QStringLiteral("Opened: ") + path));
            // Update reads the file again.
            auto *report = child<QTextEdit>("formatView");
            const QString opened = report->toPlainText();
            QVERIFY2(opened.contains(logged), qPrintable(opened));
            report->setPlainText(QStringLiteral("edited by hand"));
            QTest::mouseClick(child<QPushButton>("updateFormatButton"), Qt::LeftButton);
            QCOMPARE(report->toPlainText(), opened);
            return;
        }
        QCOMPARE(boxTexts(), QStringList{message});
        // The box names the file and, where the system or decoder said, why.
        const QStringList detail = rig->dialogs.last().detail.split(QLatin1Char('\n'));
        QCOMPARE(detail.first(), path);
        if (message == kNotOpened || message == kNotDecoded)
            QVERIFY2(detail.size() == 2 && !detail.last().isEmpty(), qPrintable(detail.join(u'|')));
        const QStringList errors = events.split(QLatin1Char('\n')).filter(QStringLiteral("] ERROR: "));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().endsWith(QStringLiteral("] ERROR: ") + message));
        if (!logged.isEmpty())
            QVERIFY2(events.contains(QStringLiteral("] ") + logged), qPrintable(events));
        QVERIFY(!rig->auditLog().contains(QStringLiteral("Opened: ") + path));

        // Everything is as it was: the recording, its edits and history, the
        // transcript, the selection, the details, the title and the pages.
        QCOMPARE(engine->filePath(), good);
        QCOMPARE(engine->samples(), edited);
        QVERIFY(engine->canUndo());
        QCOMPARE(grid->getMarkers(), rows);
        QCOMPARE(grid->overlayText(), overlay);
        QCOMPARE(child<QLineEdit>("refEdit")->text(), QStringLiteral("REF 7"));
        QCOMPARE(rig->window->windowTitle(), kTitle + QStringLiteral(" - good.wav"));
        QCOMPARE(child<QTextEdit>("formatView")->toPlainText(), format);
        QCOMPARE(shownLeft, lists);
        QCOMPARE(std::make_pair(left->selectionStart(), left->selectionEnd()), selection);
        QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
        QCOMPARE(grid->rowCount(), 2); // the selection is still there to act on
        QTest::mouseClick(child<QToolButton>("playButton"), Qt::LeftButton);
        QTRY_VERIFY(engine->isPlaying());
    }

private:
    void open(const QString &path)
    {
        rig->answerDialogs(path);
        QTest::mouseClick(child<QPushButton>("openButton"), Qt::LeftButton);
    }

    // The texts of the message boxes answered, the unsaved-work question left out.
    QStringList boxTexts() const
    {
        QStringList texts;
        for (const WindowRig::Dialog &seen : rig->dialogs) {
            if (seen.icon != 0 && seen.title != QLatin1String("Unsaved Work"))
                texts << seen.text;
        }
        return texts;
    }

    template<typename T>
    T *child(const char *name) const { return rig->child<T>(name); }

    QTemporaryDir dir;
    QString good;
    QString longMp3;
    QByteArray realWav;
    QByteArray realOgg;
    QByteArray realMp3;
    int rowNumber = 0;
    std::unique_ptr<WindowRig> rig;
    QList<double> shownLeft;
};

QTEST_MAIN(TestOpenRecording)
#include "tst_openrecording.moc"
