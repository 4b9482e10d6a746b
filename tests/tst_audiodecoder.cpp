#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "audio/audiodecoder.h"
#include "audiofixtures.h"

namespace {

struct Decoded {
    QByteArray pcm;
    int rate = 0, channels = 0, buffers = 0;
    int gapsWithoutEvents = 0; // slices that followed another with no timer tick between
    bool formatStable = true, finished = false, failed = false, signalledInsideStart = false;
    bool progressAfterEnd = false;
    QString error;
    qint64 estimate = 0;
    QList<QPair<qint64, qint64>> progress;
};

// Runs a decoder to its end under a local event loop, as the engine does,
// with a zero timer that must get its turn between slices.
Decoded decode(const QString &path)
{
    Decoded result;
    AudioDecoder decoder;
    QEventLoop loop;
    bool ended = false;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    QObject::connect(&decoder, &AudioDecoder::samplesAppended, [&](int rate, int channels) {
        if (result.buffers > 0 && (rate != result.rate || channels != result.channels))
            result.formatStable = false;
        if (result.buffers > 0 && ticks == 0)
            ++result.gapsWithoutEvents;
        ticks = 0;
        result.rate = rate;
        result.channels = channels;
        ++result.buffers;
    });
    QObject::connect(&decoder, &AudioDecoder::progressChanged, [&](qint64 done, qint64 total) {
        result.progressAfterEnd = result.progressAfterEnd || ended;
        result.progress.append({done, total});
    });
    const auto end = [&](bool finished) {
        result.finished = result.finished || finished;
        result.failed = result.failed || !finished;
        result.error = finished ? result.error : decoder.errorString();
        ended = true;
        loop.quit();
    };
    QObject::connect(&decoder, &AudioDecoder::finished, [&] { end(true); });
    QObject::connect(&decoder, &AudioDecoder::error, [&] { end(false); });
    decoder.setSource(path);
    decoder.setOutput(&result.pcm);
    timer.start();
    decoder.start();
    result.estimate = decoder.estimatedBytes();
    result.signalledInsideStart = ended || result.buffers > 0;
    if (!ended) {
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

QString firstDifference(const QByteArray &got, const QByteArray &want)
{
    const auto at = std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
    return QStringLiteral("decoded %1 bytes, ffmpeg %2, first difference at byte %3")
        .arg(got.size())
        .arg(want.size())
        .arg(at);
}

// Different content in each channel, so swapped or mixed channels show.
QString tone(int rate, int channels, int seconds)
{
    QString exprs = QStringLiteral("0.5*sin(2*PI*440*t)+0.1*random(0)");
    if (channels == 2)
        exprs += QStringLiteral("|0.3*sin(2*PI*660*t)*sin(2*PI*0.5*t)");
    return QStringLiteral("aevalsrc=exprs=%1:s=%2:d=%3").arg(exprs).arg(rate).arg(seconds);
}

QStringList words(const QString &line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// Makes `path` with the named tool; the others first get a 16-bit WAV of the tone.
bool makeFile(const QString &tool, int rate, int channels, const QStringList &arguments, const QString &path)
{
    if (tool == QLatin1String("ffmpeg"))
        return fixtures::ffmpegGenerate(tone(rate, channels, 3), arguments, path);
    if (tool == QLatin1String("joined")) {
        // Two recordings end to end; the second at half the rate, in mono.
        const QString second = path + QStringLiteral(".second");
        QFile first(path);
        QFile tail(second);
        return fixtures::ffmpegGenerate(tone(rate, channels, 2), arguments, path)
            && fixtures::ffmpegGenerate(tone(rate / 2, 1, 2), arguments + words("-f mp3"), second)
            && first.open(QIODevice::Append) && tail.open(QIODevice::ReadOnly) && first.write(tail.readAll()) > 0;
    }
    const QString wav = path + QStringLiteral(".source.wav");
    return fixtures::ffmpegGenerate(tone(rate, channels, 3), words("-c:a pcm_s16le"), wav)
        && !fixtures::run(tool, QStringList{wav} << arguments << path).isNull();
}

} // namespace

class TestAudioDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void decodesLikeFfmpeg_data();
    void decodesLikeFfmpeg();
    void refusesWhatIsNotAudio_data();
    void refusesWhatIsNotAudio();
    void opensAwkwardPaths_data();
    void opensAwkwardPaths();
    void progressAndSlices();
    void stopSilencesTheRun_data();
    void stopSilencesTheRun();
    void destroyedWhileDecoding();

private:
    QTemporaryDir dir;
    QString longFile;
    QString shortMp3;
};

void TestAudioDecoder::initTestCase()
{
    QVERIFY(dir.isValid());
    // Long enough that decoding takes many slices on any machine.
    longFile = dir.filePath(QStringLiteral("long.flac"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=300"),
                                     words("-ac 2 -c:a flac"), longFile));
    shortMp3 = dir.filePath(QStringLiteral("short.mp3"));
    QVERIFY(makeFile(QStringLiteral("ffmpeg"), 22050, 2, words("-c:a libmp3lame"), shortMp3));
}

void TestAudioDecoder::decodesLikeFfmpeg_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("decodedRate");
    QTest::addColumn<bool>("cut");

    const auto row = [](const char *name, const char *tool, int rate, int channels, const char *args,
                        const char *suffix, int decodedRate = 0, bool cut = false) {
        QTest::newRow(name) << QString::fromLatin1(tool) << rate << channels << words(QString::fromLatin1(args))
                            << QString::fromLatin1(suffix) << (decodedRate ? decodedRate : rate) << cut;
    };
    row("MP3 stereo 44.1 kHz 128 kb/s", "ffmpeg", 44100, 2, "-c:a libmp3lame -b:a 128k", "mp3");
    row("MP3 with a cover picture", "ffmpeg", 44100, 2,
        "-f lavfi -i color=c=red:s=64x64:d=1 -map 0:a -map 1:v -frames:v 1 -c:v mjpeg "
        "-disposition:v attached_pic -c:a libmp3lame",
        "mp3");
    row("FLAC 24-bit stereo 48 kHz", "ffmpeg", 48000, 2, "-c:a flac -sample_fmt s32", "flac");
    row("Ogg Vorbis stereo 44.1 kHz", "ffmpeg", 44100, 2, "-c:a libvorbis -q:a 3", "ogg");
    row("Opus mono from 16 kHz", "ffmpeg", 16000, 1, "-c:a libopus -b:a 24k", "opus", 48000);
    row("Opus stereo in an .ogg file", "ffmpeg", 48000, 2, "-c:a libopus", "ogg");
    row("M4A AAC stereo 44.1 kHz", "ffmpeg", 44100, 2, "-c:a aac -b:a 128k", "m4a");
    row("AAC stream stereo 32 kHz", "ffmpeg", 32000, 2, "-c:a aac", "aac");
    row("WMA 2 stereo 22.05 kHz", "ffmpeg", 22050, 2, "-c:a wmav2", "wma");
    row("AIFF mono 8 kHz", "ffmpeg", 8000, 1, "-c:a pcm_s16be", "aiff");
    row("WAV A-law mono 8 kHz", "ffmpeg", 8000, 1, "-c:a pcm_alaw", "wav");
    row("WAV IMA ADPCM stereo 22.05 kHz", "ffmpeg", 22050, 2, "-c:a adpcm_ima_wav", "wav");
    row("WAV GSM 6.10 mono 8 kHz from sox", "sox", 8000, 1, "-e gsm-full-rate", "wav");
    row("video file with a sound track", "ffmpeg", 44100, 2,
        "-f lavfi -i testsrc=d=3:s=64x48 -map 1:v -map 0:a -c:v mpeg4 -c:a libvorbis", "mkv");
    // The output keeps the first part's format, converted as ffmpeg does.
    row("MP3 parts with different rates joined", "joined", 44100, 2, "-c:a libmp3lame", "mp3");
    // Recordings that stopped mid-write decode as far as they go.
    row("MP3 cut off part way", "ffmpeg", 44100, 2, "-c:a libmp3lame", "mp3", 0, true);
    row("FLAC cut off part way", "ffmpeg", 44100, 1, "-c:a flac", "flac", 0, true);
}

void TestAudioDecoder::decodesLikeFfmpeg()
{
    QFETCH(QString, tool);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(QStringList, arguments);
    QFETCH(QString, suffix);
    QFETCH(bool, cut);
    QString stem = QString::fromUtf8(QTest::currentDataTag());
    stem.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    const QString path = dir.filePath(stem + QLatin1Char('.') + suffix);
    QVERIFY(makeFile(tool, rate, channels, arguments, path));
    if (cut) {
        QFile file(path);
        QVERIFY(file.resize(file.size() * 6 / 10));
    }
    const QByteArray reference = fixtures::ffmpegS16(path);
    QVERIFY(!reference.isEmpty());

    const Decoded decoded = decode(path);
    QVERIFY2(decoded.finished, qPrintable(decoded.error));
    QVERIFY(!decoded.failed);
    QVERIFY(!decoded.signalledInsideStart);
    QVERIFY(decoded.formatStable);
    QTEST(decoded.rate, "decodedRate");
    QCOMPARE(decoded.channels, channels);
    QVERIFY2(decoded.pcm == reference, qPrintable(firstDifference(decoded.pcm, reference)));
    // The hint lets the engine reserve once; it need not be exact.
    if (!cut && tool != QLatin1String("joined"))
        QVERIFY2(qAbs(decoded.estimate - decoded.pcm.size()) <= decoded.pcm.size() / 10,
                 qPrintable(QStringLiteral("estimate %1, decoded %2").arg(decoded.estimate).arg(decoded.pcm.size())));
}

void TestAudioDecoder::refusesWhatIsNotAudio_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");

    const auto row = [](const char *name, const char *kind, const char *file, const char *message) {
        QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(file) << QString::fromLatin1(message);
    };
    const char *invalid = "Not a recognised audio file: Invalid data found when processing input";
    row("text file named .mp3", "text", "notes.mp3", "Not a recognised audio file: Invalid argument");
    row("text file with an unknown suffix", "text", "notes.xyz", invalid);
    row("empty file", "empty", "empty.flac", "The file is empty.");
    row("directory", "folder", "folder.mp3", "Cannot open the file: Is a directory");
    row("missing file", "none", "missing.mp3", "Cannot open the file: No such file or directory");
    // A socket cannot be opened as a file, not even by root.
    row("node that cannot be opened", "socket", "socket.mp3", "Cannot open the file: No such device or address");
    row("file whose reads fail", "none", "/proc/self/mem", "Cannot open the file: Input/output error");
    row("no file given", "none", "", "Cannot open the file: No such file or directory");
    row("video without sound", "video", "silent-film.mkv", "No audio stream in the file.");
    row("FLAC header without samples", "header", "nothing.flac", "No audio samples in the file.");
    row("A-law WAV header without samples", "header", "nothing.wav", "No audio samples in the file.");
    row("M4A cut off before its index", "cut", "interrupted.m4a", invalid);
}

void TestAudioDecoder::refusesWhatIsNotAudio()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    int listener = -1;
    const auto closeSocket = qScopeGuard([&] {
        if (listener >= 0)
            ::close(listener);
    });
    const QString path = name.startsWith(QLatin1Char('/')) || name.isEmpty() ? name : dir.filePath(name);
    QFile file(path);
    if (kind == "text" || kind == "empty") {
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kind == "text" ? "Interview notes, not a recording.\n" : "");
        file.close();
    } else if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "socket") {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path);
        listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
    } else if (kind == "video") {
        QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("testsrc=d=1:s=64x48"), words("-c:v mpeg4"), path));
    } else if (kind == "header") {
        QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("anullsrc=r=8000"),
                                         words(name.endsWith(".wav") ? "-t 0 -c:a pcm_alaw" : "-t 0 -c:a flac"), path));
    } else if (kind == "cut") { // a phone recording interrupted before the index at the end was written
        QVERIFY(makeFile(QStringLiteral("ffmpeg"), 44100, 2, words("-c:a aac"), path));
        QVERIFY(file.resize(file.size() / 2));
    } else if (path.startsWith("/proc") && !QFile::exists(path)) {
        QSKIP("needs /proc");
    }
    const Decoded decoded = decode(path);
    QVERIFY(decoded.failed);
    QVERIFY(!decoded.finished);
    QVERIFY(!decoded.signalledInsideStart);
    QCOMPARE(decoded.buffers, 0);
    QTEST(decoded.error, "message");
}

void TestAudioDecoder::opensAwkwardPaths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("name with a colon") << "" << "take 1: Smith.mp3";
    QTest::newRow("name that looks like a web address") << "" << "http:example.mp3";
    QTest::newRow("spaces and accents") << "Befragung Müller" << "Zeugin Ağaoğlu.mp3";
}

void TestAudioDecoder::opensAwkwardPaths()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    const QString relative = folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
    QVERIFY(QDir(dir.path()).mkpath(folder.isEmpty() ? QStringLiteral(".") : folder));
    QFile::remove(dir.filePath(relative));
    QVERIFY(QFile::copy(shortMp3, dir.filePath(relative)));
    const QByteArray reference = fixtures::ffmpegS16(shortMp3);

    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const Decoded decoded = decode(relative);
    QDir::setCurrent(previous);
    QVERIFY2(decoded.finished, qPrintable(decoded.error));
    QVERIFY2(decoded.pcm == reference, qPrintable(firstDifference(decoded.pcm, reference)));
}

// Progress rises to the file size; the event loop runs between every two slices.
void TestAudioDecoder::progressAndSlices()
{
    const Decoded decoded = decode(longFile);
    QVERIFY2(decoded.finished, qPrintable(decoded.error));
    const qint64 size = QFileInfo(longFile).size();
    QVERIFY(decoded.progress.size() >= 3);
    qint64 previous = 0;
    for (const auto &[done, total] : decoded.progress) {
        QCOMPARE(total, size);
        QVERIFY(done >= previous && done <= total);
        previous = done;
    }
    QVERIFY(decoded.progress.first().first < size);
    QCOMPARE(decoded.progress.last().first, size);
    QVERIFY(!decoded.progressAfterEnd);
    QVERIFY(decoded.buffers > 2);
    QCOMPARE(decoded.gapsWithoutEvents, 0);
}

void TestAudioDecoder::stopSilencesTheRun_data()
{
    QTest::addColumn<bool>("fromSlot");
    QTest::newRow("stop inside samplesAppended") << true;
    QTest::newRow("stop between slices") << false;
}

void TestAudioDecoder::stopSilencesTheRun()
{
    QFETCH(bool, fromSlot);
    AudioDecoder decoder;
    bool stopInSlot = fromSlot;
    int buffers = 0, others = 0;
    QByteArray pcm;
    decoder.setOutput(&pcm);
    connect(&decoder, &AudioDecoder::samplesAppended, this, [&] {
        ++buffers;
        if (stopInSlot) {
            stopInSlot = false;
            decoder.stop();
        }
    });
    const auto other = [&] { ++others; };
    connect(&decoder, &AudioDecoder::progressChanged, this, other);
    connect(&decoder, &AudioDecoder::finished, this, other);
    connect(&decoder, &AudioDecoder::error, this, other);
    decoder.setSource(longFile);
    decoder.start();
    QTRY_COMPARE(buffers, 1);
    if (!fromSlot) {
        others = 0;
        decoder.stop();
    }
    QTest::qWait(300);
    QCOMPARE(buffers, 1);
    QCOMPARE(others, 0);

    // The same decoder starts over from the beginning.
    pcm.clear();
    buffers = 0;
    bool finished = false;
    connect(&decoder, &AudioDecoder::finished, this, [&] { finished = true; });
    decoder.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    QVERIFY(buffers > 1);
    const QByteArray reference = fixtures::ffmpegS16(longFile);
    QVERIFY2(pcm == reference, qPrintable(firstDifference(pcm, reference)));
}

void TestAudioDecoder::destroyedWhileDecoding()
{
    QPointer<AudioDecoder> decoder = new AudioDecoder;
    QByteArray pcm;
    decoder->setOutput(&pcm);
    int buffers = 0;
    connect(decoder, &AudioDecoder::samplesAppended, this, [&] {
        if (++buffers == 2)
            decoder->deleteLater();
    });
    decoder->setSource(longFile);
    decoder->start();
    QTRY_VERIFY(decoder.isNull());
    QTest::qWait(200);
    QCOMPARE(buffers, 2);
}

QTEST_GUILESS_MAIN(TestAudioDecoder)
#include "tst_audiodecoder.moc"
