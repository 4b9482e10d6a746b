// The decoder gives what ffmpeg gives, refuses what is not audio with the
// reason, and stays silent once stopped.

#include "audio/audiodecoder.h"
#include "audiofixtures.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace fixtures;

namespace {

struct Decoded {
    QByteArray pcm;
    int rate = 0, channels = 0, buffers = 0;
    bool formatStable = true, finished = false, failed = false, signalledInsideStart = false;
    QString error;
};

// Runs a decoder to its end under a local event loop, as the engine does.
Decoded decode(const QString &path)
{
    Decoded result;
    AudioDecoder decoder;
    QEventLoop loop;
    QObject::connect(&decoder, &AudioDecoder::samplesAppended, [&](int rate, int channels) {
        if (result.buffers > 0 && (rate != result.rate || channels != result.channels))
            result.formatStable = false;
        result.rate = rate;
        result.channels = channels;
        ++result.buffers;
    });
    QObject::connect(&decoder, &AudioDecoder::finished, [&] {
        result.finished = true;
        loop.quit();
    });
    QObject::connect(&decoder, &AudioDecoder::error, [&] {
        result.failed = true;
        result.error = decoder.errorString();
        loop.quit();
    });
    decoder.setSource(path);
    decoder.setOutput(&result.pcm);
    decoder.start();
    result.signalledInsideStart = result.finished || result.failed || result.buffers > 0;
    if (!result.signalledInsideStart) {
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return result;
}

// Different content in each channel, so swapped or mixed channels show.
QString tone(int rate, int channels, int seconds)
{
    return QStringLiteral("aevalsrc=exprs=0.5*sin(2*PI*440*t)+0.1*random(0)%1:s=%2:d=%3")
        .arg(channels == 2 ? QStringLiteral("|0.3*sin(2*PI*660*t)*sin(2*PI*0.5*t)") : QString())
        .arg(rate)
        .arg(seconds);
}

QStringList words(const QString &line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

} // namespace

class TestAudioDecoder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        // Long enough that decoding takes many slices on any machine, so a stop lands mid-run.
        longFile = dir.filePath(QStringLiteral("long.flac"));
        QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=300"),
                               words("-ac 2 -c:a flac"), longFile));
    }

    void decodesLikeFfmpegOrSaysWhy_data()
    {
        QTest::addColumn<QString>("file"); // relative to the current folder
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("decodedRate");
        QTest::addColumn<QString>("shape"); // "joined": two files end to end; "cut": the first 60 %; "none": not made
        QTest::addColumn<QString>("error"); // empty: it decodes as ffmpeg does
        const auto row = [](const char *name, const char *file, int rate, int channels, const char *args,
                            int decodedRate = 0, const char *shape = "", const char *error = "") {
            QTest::newRow(name) << QString::fromUtf8(file) << rate << channels << QString::fromLatin1(args)
                                << (decodedRate ? decodedRate : rate) << QString::fromLatin1(shape)
                                << QString::fromLatin1(error);
        };
        row("FLAC 24-bit stereo 48 kHz", "deep.flac", 48000, 2, "-c:a flac -sample_fmt s32");
        row("Opus mono from 16 kHz", "speech.opus", 16000, 1, "-c:a libopus -b:a 24k", 48000);
        row("M4A AAC stereo 44.1 kHz", "phone.m4a", 44100, 2, "-c:a aac -b:a 128k");
        // Vorbis in a video: the sound stream is picked among the others.
        row("video file with a sound track", "film.mkv", 44100, 2,
            "-f lavfi -i testsrc=d=3:s=64x48 -map 1:v -map 0:a -c:v mpeg4 -c:a libvorbis");
        // Relative names the library could take for a protocol or an option.
        row("name like a web address", "http:example.mp3", 22050, 2, "-c:a libmp3lame");
        row("spaces and accents", "Befragung Müller/Zeugin Ağaoğlu.mp3", 22050, 2, "-c:a libmp3lame");
        // The output keeps the first part's format, converted as ffmpeg does.
        row("MP3 parts with different rates joined", "joined.mp3", 44100, 2, "-c:a libmp3lame", 0, "joined");
        // A recording that stopped mid-write decodes as far as it goes.
        row("MP3 cut off part way", "cut.mp3", 44100, 2, "-c:a libmp3lame", 0, "cut");
        row("missing file", "missing.mp3", 0, 0, "", 0, "none", "Cannot open the file: No such file or directory");
        row("reads fail", "/proc/self/mem", 0, 0, "", 0, "none", "Cannot open the file: Input/output error");
        row("video without sound", "silent-film.mkv", 8000, 1, "-f lavfi -i testsrc=d=1:s=64x48 -map 1:v -c:v mpeg4",
            0, "", "No audio stream in the file.");
        row("FLAC header without samples", "nothing.flac", 8000, 1, "-t 0 -c:a flac", 0, "",
            "No audio samples in the file.");
        // A phone recording interrupted before the index at its end was written.
        row("M4A cut off before its index", "interrupted.m4a", 44100, 2, "-c:a aac", 0, "cut",
            "Not a recognised audio file: Invalid data found when processing input");
    }

    void decodesLikeFfmpegOrSaysWhy()
    {
        QFETCH(QString, file);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QString, arguments);
        QFETCH(QString, shape);
        QFETCH(QString, error);
        const QString path = QDir(dir.path()).filePath(file);
        if (shape != "none") {
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(ffmpegGenerate(tone(rate, channels, shape == "joined" ? 2 : 3), words(arguments), path));
        }
        if (shape == "joined") { // the second part at half the rate, in mono
            QVERIFY(ffmpegGenerate(tone(rate / 2, 1, 2), words(arguments + " -f mp3"), path + ".second"));
            QVERIFY(writeFile(path, readFile(path) + readFile(path + ".second")));
        } else if (shape == "cut") {
            QVERIFY(QFile(path).resize(QFileInfo(path).size() * 6 / 10));
        }
        const QByteArray reference = error.isEmpty() ? ffmpegS16(path) : QByteArray();
        QVERIFY(!error.isEmpty() || !reference.isEmpty());
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const Decoded decoded = decode(file);
        QDir::setCurrent(previous);
        QVERIFY(!decoded.signalledInsideStart);
        QCOMPARE(decoded.error, error);
        QCOMPARE(decoded.finished, error.isEmpty());
        QCOMPARE(decoded.failed, !error.isEmpty());
        if (!error.isEmpty()) {
            QCOMPARE(decoded.buffers, 0);
            return;
        }
        QVERIFY(decoded.formatStable);
        QTEST(decoded.rate, "decodedRate");
        QCOMPARE(decoded.channels, channels);
        QVERIFY(decoded.pcm == reference);
    }

    void stopSilencesTheRun_data()
    {
        QTest::addColumn<bool>("fromSlot");
        QTest::newRow("stop inside samplesAppended") << true;
        QTest::newRow("stop between slices") << false;
    }

    void stopSilencesTheRun()
    {
        QFETCH(bool, fromSlot);
        QByteArray pcm; // outlives the decoder, which may still be writing to it
        AudioDecoder decoder;
        bool stopInSlot = fromSlot, finished = false;
        int buffers = 0, others = 0;
        decoder.setOutput(&pcm);
        connect(&decoder, &AudioDecoder::samplesAppended, this, [&] {
            ++buffers;
            if (std::exchange(stopInSlot, false))
                decoder.stop();
        });
        connect(&decoder, &AudioDecoder::progressChanged, this, [&] { ++others; });
        connect(&decoder, &AudioDecoder::finished, this, [&] {
            ++others;
            finished = true;
        });
        connect(&decoder, &AudioDecoder::error, this, [&] { ++others; });
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
        decoder.start();
        QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
        QVERIFY(pcm == ffmpegS16(longFile));
    }

private:
    QTemporaryDir dir;
    QString longFile;
};

QTEST_GUILESS_MAIN(TestAudioDecoder)
#include "tst_audiodecoder.moc"
