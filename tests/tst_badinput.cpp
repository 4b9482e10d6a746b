// Broken and hostile files opened through the window as a user opens them:
// each must end in its own clear message, or load what it really holds,
// promptly, and leave the window ready for the next recording.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace fixtures;

namespace {

// What stands at the chosen path when Open reads it.
enum class Make {
    Bytes,         // a regular file holding the row's bytes
    Folder,        // a folder
    Fifo,          // a named pipe nobody writes to
    Unreadable,    // the row's bytes without read permission
    MissingTarget, // a symbolic link to a file that does not exist
};

constexpr qint64 kPromptMs = 10000;
const QString kTitle = QStringLiteral("Orlenta LE (Beta)");
const QString kTooSmall = QStringLiteral("File too small.");
const QString kMissingChunks = QStringLiteral("Invalid WAV: Missing fmt or data chunk.");
const QString kUnsupported = QStringLiteral("Invalid WAV: unsupported format.");
const QString kNotOpened = QStringLiteral("Could not open file.");
const QString kNotDecoded = QStringLiteral("Failed to decode audio file.");

// Offsets inside a RIFF "fmt " chunk and an Ogg page header.
constexpr int kFmtBitsAt = 22;
constexpr int kOggSequenceAt = 18;
constexpr int kOggChecksumAt = 22;
constexpr int kOggSegmentsAt = 26;
constexpr int kOggHeaderSize = 27;

QByteArray pcm16(int frames)
{
    QByteArray data;
    for (int i = 0; i < frames; ++i)
        data += le16(quint16(qint16(i * 91)));
    return data;
}

QByteArray withBits(QByteArray fmt, quint16 bits)
{
    return fmt.replace(kFmtBitsAt, 2, le16(bits));
}

// The same bytes on every run for the same stream number.
QByteArray noise(quint32 stream, int size)
{
    QRandomGenerator random(stream);
    QByteArray out(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(out.data()), size / 4);
    return out;
}

// An Ogg file split into its pages, each as declared by its own header.
QByteArrayList oggPages(const QByteArray &file)
{
    QByteArrayList pages;
    for (qsizetype at = 0; at + kOggHeaderSize <= file.size();) {
        const int segments = quint8(file[at + kOggSegmentsAt]);
        qsizetype length = kOggHeaderSize + segments;
        for (int i = 0; i < segments; ++i)
            length += quint8(file[at + kOggHeaderSize + i]);
        pages << file.mid(at, length);
        at += length;
    }
    return pages;
}

// The demuxer skips a page whose checksum is wrong, so an altered page gets
// a fresh one (CRC-32, polynomial 0x04c11db7, unreflected, over the page with
// the checksum field zeroed) to be read at all.
QByteArray sealed(QByteArray page)
{
    page.replace(kOggChecksumAt, 4, QByteArray(4, '\0'));
    quint32 crc = 0;
    for (const char byte : std::as_const(page)) {
        crc ^= quint32(quint8(byte)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return page.replace(kOggChecksumAt, 4, le32(crc));
}


} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void badFileLeavesTheWindowUsable_data();
    void badFileLeavesTheWindowUsable();
    void failureKeepsTheWork_data();
    void failureKeepsTheWork();

private:
    // Clicks Open and answers the file dialog with `path`; `chosen` runs the
    // moment the dialog hands the path over, before the engine reads it.
    void open(const QString &path, const std::function<void()> &chosen = {});
    template<typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    AudioEngine *engine() const { return window->findChild<AudioEngine *>(); }
    QString eventLog() const { return child<QTextEdit>("eventLogView")->toPlainText(); }

    QTemporaryDir dir;
    QString good;
    QByteArray realWav;
    QByteArray realOgg;
    QByteArray realMp3;
    int rowNumber = 0;
    QPointer<MainWindow> window;
    QStringList boxTexts;
    QList<double> shownLeft;
};

void TestBadInput::initTestCase()
{
    QVERIFY(dir.isValid());
    good = dir.filePath(QStringLiteral("good.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=8000:duration=1"), {}, good));

    // The broken files are cut and altered from real encoder output.
    const QString ogg = dir.filePath(QStringLiteral("real.ogg"));
    const QString mp3 = dir.filePath(QStringLiteral("real.mp3"));
    const QString loud = dir.filePath(QStringLiteral("noise.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("anoisesrc=sample_rate=44100:amplitude=0.3:duration=3"),
                           {QStringLiteral("-ac"), QStringLiteral("2")}, loud));
    QVERIFY(!run(QStringLiteral("oggenc"), {QStringLiteral("-Q"), QStringLiteral("-o"), ogg, loud}).isNull());
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=22050:duration=2"),
                           {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-b:a"), QStringLiteral("64k")},
                           mp3));
    realWav = readFile(good);
    realOgg = readFile(ogg);
    realMp3 = readFile(mp3);
    // ffmpeg writes "fmt ", then a LIST/INFO chunk, then "data".
    QVERIFY(realWav.indexOf("LIST") >= 36 && realWav.indexOf("data") > realWav.indexOf("LIST"));
    QVERIFY2(oggPages(realOgg).size() >= 6, "too few Ogg pages to alter");
}

void TestBadInput::init()
{
    window = new MainWindow(nullptr, false);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    boxTexts.clear();
    shownLeft.clear();
    connect(engine(), &AudioEngine::waveformDataReady, this,
            [this](const QList<double> &left, const QList<double> &) { shownLeft = left; });
    // Any message box is read and closed with OK; the question about
    // unsaved work is answered Discard.
    auto *boxes = new QTimer(window);
    connect(boxes, &QTimer::timeout, this, [this]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            QAbstractButton *discard = box->button(QMessageBox::Discard);
            if (!discard)
                boxTexts << box->text();
            (discard ? discard : box->button(QMessageBox::Ok))->click();
        }
    });
    boxes->start(20);
}

void TestBadInput::cleanup()
{
    delete window;
}

void TestBadInput::open(const QString &path, const std::function<void()> &chosen)
{
    auto *poll = new QTimer(window);
    connect(poll, &QTimer::timeout, this, [poll, path, chosen]() {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (chosen)
            connect(dialog, &QFileDialog::fileSelected, dialog, chosen);
        // Typed into the name field, as a user would.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        static_cast<QDialog *>(dialog)->accept();
        poll->deleteLater();
    });
    poll->start(20);
    QTest::mouseClick(child<QPushButton>("openButton"), Qt::LeftButton);
}

void TestBadInput::badFileLeavesTheWindowUsable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Make>("make");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message"); // empty: the file loads what ffmpeg decodes of it
    QTest::addColumn<QString>("logged");  // an event-log line that says why, or empty

    const auto bytes = [](const char *tag, const QString &name, const QByteArray &content, const QString &message,
                          const QString &logged = QString()) {
        QTest::newRow(tag) << name << Make::Bytes << content << message << logged;
    };
    // Left as a regular file (unreadable, or replaced once chosen), it would load.
    const auto node = [this](const char *tag, const QString &name, Make make) {
        QTest::newRow(tag) << name << make << realWav << kNotOpened << QString();
    };

    const qsizetype listAt = realWav.indexOf("LIST");
    const qsizetype dataAt = realWav.indexOf("data");
    bytes("wav cut inside the RIFF header", "x.wav", realWav.left(6), kTooSmall);
    bytes("wav cut inside fmt", "x.wav", realWav.left(28), kTooSmall);
    bytes("wav cut right after fmt", "x.wav", realWav.left(listAt), kTooSmall);
    bytes("wav cut inside LIST before data", "x.wav", realWav.left(listAt + 16), kMissingChunks);
    bytes("wav cut inside the data header", "x.wav", realWav.left(dataAt + 6), kMissingChunks);
    bytes("wav cut right after the data header", "x.wav", realWav.left(dataAt + 8), kMissingChunks);
    bytes("wav cut inside a sample", "x.wav", realWav.left(dataAt + 8 + 1001), QString());

    const QByteArray fmt = fmtChunk(1, 1, 8000, 16);
    const QByteArray samples = chunk("data", pcm16(800));
    bytes("fmt size 0xFFFFFFFF", "x.wav",
          riff("fmt " + le32(0xffffffff) + fmt.mid(8) + samples), kMissingChunks);
    bytes("LIST size past the end", "x.wav",
          riff(fmt + "LIST" + le32(0x7ffffff0) + "INFOINAM" + le32(4) + "Case" + samples), kMissingChunks);
    bytes("zero channels", "x.wav", riff(fmtChunk(1, 0, 8000, 16) + samples), kUnsupported);
    bytes("zero sample rate", "x.wav", riff(fmtChunk(1, 1, 0, 16) + samples), kUnsupported);
    bytes("0 bits per sample", "x.wav", riff(withBits(fmt, 0) + samples), kUnsupported);
    bytes("7 bits per sample", "x.wav", riff(withBits(fmt, 7) + samples), kUnsupported);
    // 13-bit samples are stored left-aligned in 16 bits: playable as they are.
    bytes("13 bits per sample", "x.wav", riff(withBits(fmt, 13) + samples), QString());
    bytes("extensible fmt without its sub-format", "x.wav",
          riff(fmtChunk(0xfffe, 1, 8000, 16) + samples), kUnsupported);
    // The declared size runs past the end: what is there is the recording.
    bytes("4 GiB data chunk in a small file", "x.wav",
          riff(fmt + "data" + le32(0xffffffff) + pcm16(800)), QString());
    bytes("codec tag nobody decodes", "x.wav", riff(fmtChunk(0xdead, 1, 8000, 16) + samples), kNotDecoded,
          QStringLiteral("Decoder Error: No decoder for the audio codec \"none\"."));
    bytes("MP3 codec tag over garbage", "x.wav", riff(fmtChunk(0x0055, 1, 8000, 16) + chunk("data", noise(0, 4000))),
          kNotDecoded, QStringLiteral("Decoder Error: Cannot decode the audio: "));
    bytes("MP3 file named wav", "x.wav", realMp3, kMissingChunks);
    bytes("broken wav named with spaces and a colon", "take 1: x.wav", realWav.left(dataAt + 8), kMissingChunks);

    for (const char *suffix : {"wav", "bwf"})
        bytes(qPrintable(QStringLiteral("empty .%1").arg(QLatin1String(suffix))),
              QStringLiteral("x.") + QLatin1String(suffix), QByteArray(""), kTooSmall);
    for (const char *suffix : {"ogg", "mp3", "flac", "m4a", "wma", "aac", "aiff"})
        bytes(qPrintable(QStringLiteral("empty .%1").arg(QLatin1String(suffix))),
              QStringLiteral("x.") + QLatin1String(suffix), QByteArray(""), kNotDecoded,
              QStringLiteral("Decoder Error: The file is empty."));

    node("folder named x.wav", "x.wav", Make::Folder);
    node("FIFO named x.wav", "x.wav", Make::Fifo);
    node("FIFO named x.mp3", "x.mp3", Make::Fifo);
    node("wav without read permission", "x.wav", Make::Unreadable);
    node("symbolic link to a missing file", "x.wav", Make::MissingTarget);

    quint32 stream = 1;
    for (const char *suffix : {"wav", "bwf"})
        bytes(qPrintable(QStringLiteral("random bytes .%1").arg(QLatin1String(suffix))),
              QStringLiteral("x.") + QLatin1String(suffix), noise(stream++, 65536), kMissingChunks);
    for (const char *suffix : {"ogg", "mp3", "flac", "m4a", "wma", "aac", "aiff"})
        bytes(qPrintable(QStringLiteral("random bytes .%1").arg(QLatin1String(suffix))),
              QStringLiteral("x.") + QLatin1String(suffix), noise(stream++, 65536), kNotDecoded,
              QStringLiteral("Decoder Error: "));
    bytes("text named mp3", "notes.mp3", QByteArray("Interview notes, not audio.\n").repeated(40), kNotDecoded,
          QStringLiteral("Decoder Error: "));

    const QByteArrayList pages = oggPages(realOgg);
    bytes("Ogg with only the identification header", "x.ogg", pages.first(), kNotDecoded,
          QStringLiteral("Decoder Error: "));
    QByteArray oneSequence;
    for (const QByteArray &page : pages)
        oneSequence += sealed(QByteArray(page).replace(kOggSequenceAt, 4, le32(1)));
    bytes("Ogg pages all numbered the same", "x.ogg", oneSequence, QString());
    const QByteArray audioPages = pages.mid(3).join();
    bytes("Ogg pages that go round in a loop", "x.ogg", realOgg + audioPages + audioPages, QString());
    // Every lacing value of the last page says 255: its body runs past the end.
    QByteArray overlong = pages.last();
    const int segments = quint8(overlong[kOggSegmentsAt]);
    overlong.replace(kOggHeaderSize, segments, QByteArray(segments, '\xff'));
    bytes("Ogg page claiming more bytes than the file holds", "x.ogg", pages.mid(0, pages.size() - 1).join() + overlong,
          QString());
    // A middle page's last lacing value is halved: its last packet ends early
    // and the rest of its body lies between it and the next page.
    const int middle = pages.size() / 2;
    const QByteArray &page = pages[middle];
    const int lastLacing = kOggHeaderSize + quint8(page[kOggSegmentsAt]) - 1;
    const int kept = quint8(page[lastLacing]) / 2;
    const int dropped = quint8(page[lastLacing]) - kept;
    QByteArray shorter = page.left(page.size() - dropped);
    shorter[lastLacing] = char(kept);
    bytes("Ogg page claiming fewer bytes than it holds", "x.ogg",
          pages.mid(0, middle).join() + sealed(shorter) + page.right(dropped) + pages.mid(middle + 1).join(),
          QString());
    bytes("Ogg cut in half", "x.ogg", realOgg.left(realOgg.size() / 2), QString());
    bytes("MP3 cut after 40 percent", "x.mp3", realMp3.left(realMp3.size() * 2 / 5), QString());
}

void TestBadInput::badFileLeavesTheWindowUsable()
{
    QFETCH(QString, name);
    QFETCH(Make, make);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QFETCH(QString, logged);
    if (make == Make::Unreadable && geteuid() == 0)
        QSKIP("permissions do not bind the superuser");

    const QString folder = dir.filePath(QString::number(++rowNumber));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QLatin1Char('/') + name;
    // The dialog refuses a folder or a missing file; these stand for a file
    // that was replaced after it was chosen.
    std::function<void()> chosen;
    switch (make) {
    case Make::Bytes:
        QVERIFY(writeFile(path, bytes));
        break;
    case Make::Fifo:
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        break;
    case Make::Unreadable:
        QVERIFY(writeFile(path, bytes));
        QVERIFY(QFile::setPermissions(path, {}));
        break;
    case Make::Folder:
        QVERIFY(writeFile(path, bytes));
        chosen = [path]() {
            QFile::remove(path);
            QDir().mkdir(path);
        };
        break;
    case Make::MissingTarget:
        QVERIFY(writeFile(path, bytes));
        chosen = [path, folder]() {
            QFile::remove(path);
            QFile::link(folder + QStringLiteral("/gone.wav"), path);
        };
        break;
    }

    QElapsedTimer clock;
    clock.start();
    open(path, chosen);
    QVERIFY2(clock.elapsed() < kPromptMs, qPrintable(QStringLiteral("took %1 ms").arg(clock.elapsed())));
    if (make == Make::Folder)
        QVERIFY(QFileInfo(path).isDir());
    if (make == Make::MissingTarget)
        QVERIFY(QFileInfo(path).isSymLink() && !QFileInfo::exists(path));

    AudioEngine *audio = engine();
    QVERIFY(eventLog().contains(QStringLiteral("] AudioEngine: Load initiated: ") + path));
    QVERIFY(!audio->isLoading());
    QVERIFY(!child<QProgressBar>("loadProgress")->isVisible());
    QVERIFY(child<QPushButton>("openButton")->isEnabled());
    if (message.isEmpty()) {
        QCOMPARE(boxTexts, QStringList());
        QVERIFY(!eventLog().contains(QStringLiteral("] ERROR: ")));
        QVERIFY(audio->duration() > 0);
        QVERIFY(!shownLeft.isEmpty());
        QCOMPARE(audio->samples(), ffmpegS16(path));
        QCOMPARE(window->windowTitle(), kTitle + QStringLiteral(" - ") + name);
    } else {
        QCOMPARE(boxTexts, QStringList{message});
        const QStringList errors = eventLog().split(QLatin1Char('\n')).filter(QStringLiteral("] ERROR: "));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors.first().endsWith(QStringLiteral("] ERROR: ") + message));
        if (!logged.isEmpty())
            QVERIFY2(eventLog().contains(QStringLiteral("] ") + logged), qPrintable(eventLog()));
        QCOMPARE(audio->duration(), qlonglong(0));
        QVERIFY(audio->samples().isEmpty());
        QVERIFY(shownLeft.isEmpty());
        QCOMPARE(window->windowTitle(), kTitle);
        QVERIFY(!child<QTextEdit>("auditLogView")->toPlainText().contains(QStringLiteral("Opened: ")));
    }

    // A good recording opens right after.
    boxTexts.clear();
    shownLeft.clear();
    open(good);
    QCOMPARE(boxTexts, QStringList());
    QCOMPARE(audio->duration(), qlonglong(1000));
    QVERIFY(!shownLeft.isEmpty());
    QCOMPARE(window->windowTitle(), kTitle + QStringLiteral(" - good.wav"));
    QVERIFY(!child<QProgressBar>("loadProgress")->isVisible());
    QVERIFY(child<QPushButton>("openButton")->isEnabled());
}

void TestBadInput::failureKeepsTheWork_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Make>("make");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("broken wav") << "broken.wav" << Make::Bytes << realWav.left(realWav.indexOf("data") + 8)
                                << kMissingChunks;
    QTest::newRow("text named mp3") << "notes.mp3" << Make::Bytes << QByteArray("Not audio at all.\n").repeated(20)
                                    << kNotDecoded;
    QTest::newRow("FIFO named wav") << "pipe.wav" << Make::Fifo << QByteArray() << kNotOpened;
}

void TestBadInput::failureKeepsTheWork()
{
    QFETCH(QString, name);
    QFETCH(Make, make);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    auto *grid = window->findChild<TranscriptionGrid *>();
    auto *left = child<WaveformDisplay>("waveL");
    open(good);
    QCOMPARE(engine()->duration(), qlonglong(1000));
    grid->addMarker(100, 400, QStringLiteral("Speaker A"), QString(), -1);
    QTest::mouseClick(child<QPushButton>("selectAllButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("normButton"), Qt::LeftButton);
    child<QLineEdit>("refEdit")->setText(QStringLiteral("REF 7"));
    QTest::mouseClick(child<QToolButton>("forwardButton"), Qt::LeftButton);
    const QByteArray edited = engine()->samples();
    const QList<Marker> rows = grid->getMarkers();
    const QString format = child<QTextEdit>("formatView")->toPlainText();
    QVERIFY(engine()->canUndo());
    const QList<double> lists = shownLeft;
    const std::pair<qlonglong, qlonglong> selection{left->selectionStart(), left->selectionEnd()};
    QVERIFY(selection.second > selection.first);

    const QString path = dir.filePath(QString::number(++rowNumber) + QLatin1Char('-') + name);
    if (make == Make::Fifo)
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    else
        QVERIFY(writeFile(path, bytes));
    open(path);
    QCOMPARE(boxTexts, QStringList{message});

    // Everything is as it was: the recording, its edits and history, the
    // transcript, the selection, the details, the title and the pages.
    QCOMPARE(engine()->filePath(), good);
    QCOMPARE(engine()->samples(), edited);
    QVERIFY(engine()->canUndo());
    QCOMPARE(grid->getMarkers(), rows);
    QCOMPARE(child<QLineEdit>("refEdit")->text(), QStringLiteral("REF 7"));
    QCOMPARE(window->windowTitle(), kTitle + QStringLiteral(" - good.wav"));
    QCOMPARE(child<QTextEdit>("formatView")->toPlainText(), format);
    QCOMPARE(shownLeft, lists);
    QCOMPARE(std::make_pair(left->selectionStart(), left->selectionEnd()), selection);
    QTest::mouseClick(child<QPushButton>("silenceButton"), Qt::LeftButton);
    QCOMPARE(grid->rowCount(), 2); // the selection is still there to act on
    QTest::mouseClick(child<QToolButton>("playButton"), Qt::LeftButton);
    QTRY_VERIFY(engine()->isPlaying());
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
