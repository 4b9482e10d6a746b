#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include <unistd.h>

#include "audio/audiodecoder.h"
#include "audiofixtures.h"

namespace {

struct Decoded {
    QByteArray pcm;
    int rate = 0;
    int channels = 0;
    int buffers = 0;
    bool formatStable = true;
    bool finished = false;
    bool failed = false;
    bool signalledInsideStart = false;
    QString error;
    qint64 estimate = 0;
    QList<QPair<qint64, qint64>> progress;
    bool progressAfterEnd = false;
};

// Runs a decoder to its end under a local event loop, as the engine does.
Decoded decode(const QString &path)
{
    Decoded result;
    AudioDecoder decoder;
    QEventLoop loop;
    bool ended = false;
    QObject::connect(&decoder, &AudioDecoder::bufferReady, [&](const QByteArray &samples, int rate, int channels) {
        if (result.buffers > 0 && (rate != result.rate || channels != result.channels))
            result.formatStable = false;
        result.rate = rate;
        result.channels = channels;
        result.pcm += samples;
        ++result.buffers;
    });
    QObject::connect(&decoder, &AudioDecoder::progressChanged, [&](qint64 done, qint64 total) {
        result.progressAfterEnd = result.progressAfterEnd || ended;
        result.progress.append({done, total});
    });
    QObject::connect(&decoder, &AudioDecoder::finished, [&] {
        result.finished = true;
        ended = true;
        loop.quit();
    });
    QObject::connect(&decoder, &AudioDecoder::error, [&] {
        result.failed = true;
        result.error = decoder.errorString();
        ended = true;
        loop.quit();
    });
    decoder.setSource(path);
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
    const qsizetype common = std::min(got.size(), want.size());
    qsizetype at = 0;
    while (at < common && got[at] == want[at])
        ++at;
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

// Makes `path` with the named tool; the others first get a 16-bit WAV of the tone.
bool makeFile(const QString &tool, int rate, int channels, const QStringList &arguments, const QString &path)
{
    const QString ffmpeg = QStringLiteral("ffmpeg");
    if (tool == ffmpeg)
        return fixtures::ffmpegGenerate(tone(rate, channels, 3), arguments, path);
    if (tool == QLatin1String("joined")) {
        // Two recordings put end to end; the second at half the rate, in mono.
        const QString second = path + QStringLiteral(".second");
        QFile first(path);
        QFile tail(second);
        if (!fixtures::ffmpegGenerate(tone(rate, channels, 2), arguments, path)
            || !fixtures::ffmpegGenerate(tone(rate / 2, 1, 2),
                                         arguments + QStringList{QStringLiteral("-f"), QStringLiteral("mp3")}, second)
            || !first.open(QIODevice::Append) || !tail.open(QIODevice::ReadOnly))
            return false;
        return first.write(tail.readAll()) > 0;
    }
    const QString wav = path + QStringLiteral(".source.wav");
    if (tool == QLatin1String("espeak-ng")) {
        if (fixtures::run(tool, {QStringLiteral("-w"), wav, QStringLiteral("Interview recorded on the fourth of May.")})
                .isNull())
            return false;
        return !fixtures::run(ffmpeg,
                              QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                          QStringLiteral("-y"), QStringLiteral("-i"), wav}
                                  + arguments + QStringList{path})
                    .isNull();
    }
    if (!fixtures::ffmpegGenerate(tone(rate, channels, 3), {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}, wav))
        return false;
    if (tool == QLatin1String("oggenc"))
        return !fixtures::run(tool, QStringList{QStringLiteral("-Q"), QStringLiteral("-o"), path} + arguments
                                        + QStringList{wav})
                    .isNull();
    return !fixtures::run(tool, QStringList{wav} + arguments + QStringList{path}).isNull();
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
    void progressReachesTheTotal();
    void stopSilencesTheRun_data();
    void stopSilencesTheRun();
    void eventLoopRunsBetweenSlices();
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
    QVERIFY(fixtures::ffmpegGenerate(
        QStringLiteral("sine=frequency=440:sample_rate=44100:duration=300"),
        {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"), QStringLiteral("flac")}, longFile));
    shortMp3 = dir.filePath(QStringLiteral("short.mp3"));
    QVERIFY(
        makeFile(QStringLiteral("ffmpeg"), 22050, 2, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}, shortMp3));
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

    const QString ffmpeg = QStringLiteral("ffmpeg");
    auto args = [](const QString &line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); };

    QTest::newRow("MP3 stereo 44.1 kHz 128 kb/s")
        << ffmpeg << 44100 << 2 << args("-c:a libmp3lame -b:a 128k") << "mp3" << 44100 << false;
    QTest::newRow("MP3 mono 8 kHz") << ffmpeg << 8000 << 1 << args("-c:a libmp3lame -b:a 16k") << "mp3" << 8000
                                    << false;
    QTest::newRow("MP3 stereo 48 kHz VBR")
        << ffmpeg << 48000 << 2 << args("-c:a libmp3lame -q:a 4") << "mp3" << 48000 << false;
    QTest::newRow("MP3 of speech from espeak-ng")
        << "espeak-ng" << 22050 << 1 << args("-c:a libmp3lame -b:a 32k") << "mp3" << 22050 << false;
    QTest::newRow("MP3 with a cover picture")
        << ffmpeg << 44100 << 2
        << args("-f lavfi -i color=c=red:s=64x64:d=1 -map 0:a -map 1:v -frames:v 1 -c:v mjpeg "
                "-disposition:v attached_pic -c:a libmp3lame")
        << "mp3" << 44100 << false;
    QTest::newRow("FLAC mono 16 kHz") << ffmpeg << 16000 << 1 << args("-c:a flac") << "flac" << 16000 << false;
    QTest::newRow("FLAC 24-bit stereo 48 kHz")
        << ffmpeg << 48000 << 2 << args("-c:a flac -sample_fmt s32") << "flac" << 48000 << false;
    QTest::newRow("Ogg Vorbis stereo 44.1 kHz")
        << ffmpeg << 44100 << 2 << args("-c:a libvorbis -q:a 3") << "ogg" << 44100 << false;
    QTest::newRow("Ogg Vorbis mono 22.05 kHz from oggenc")
        << "oggenc" << 22050 << 1 << QStringList() << "ogg" << 22050 << false;
    QTest::newRow("Opus mono from 16 kHz")
        << ffmpeg << 16000 << 1 << args("-c:a libopus -b:a 24k") << "opus" << 48000 << false;
    QTest::newRow("Opus stereo in an .ogg file")
        << ffmpeg << 48000 << 2 << args("-c:a libopus") << "ogg" << 48000 << false;
    QTest::newRow("M4A AAC stereo 44.1 kHz")
        << ffmpeg << 44100 << 2 << args("-c:a aac -b:a 128k") << "m4a" << 44100 << false;
    QTest::newRow("M4A AAC mono 11.025 kHz") << ffmpeg << 11025 << 1 << args("-c:a aac") << "m4a" << 11025 << false;
    QTest::newRow("AAC stream stereo 32 kHz") << ffmpeg << 32000 << 2 << args("-c:a aac") << "aac" << 32000 << false;
    QTest::newRow("WMA 2 stereo 22.05 kHz") << ffmpeg << 22050 << 2 << args("-c:a wmav2") << "wma" << 22050 << false;
    QTest::newRow("WMA 1 mono 16 kHz") << ffmpeg << 16000 << 1 << args("-c:a wmav1") << "wma" << 16000 << false;
    QTest::newRow("AIFF mono 8 kHz") << ffmpeg << 8000 << 1 << args("-c:a pcm_s16be") << "aiff" << 8000 << false;
    QTest::newRow("AIFF stereo 48 kHz") << ffmpeg << 48000 << 2 << args("-c:a pcm_s16be") << "aiff" << 48000 << false;
    QTest::newRow("WAV A-law mono 8 kHz") << ffmpeg << 8000 << 1 << args("-c:a pcm_alaw") << "wav" << 8000 << false;
    QTest::newRow("WAV mu-law stereo 8 kHz") << ffmpeg << 8000 << 2 << args("-c:a pcm_mulaw") << "wav" << 8000 << false;
    QTest::newRow("WAV IMA ADPCM stereo 22.05 kHz")
        << ffmpeg << 22050 << 2 << args("-c:a adpcm_ima_wav") << "wav" << 22050 << false;
    QTest::newRow("WAV Microsoft ADPCM mono 11.025 kHz")
        << ffmpeg << 11025 << 1 << args("-c:a adpcm_ms") << "wav" << 11025 << false;
    QTest::newRow("WAV GSM 6.10 mono 8 kHz from sox")
        << "sox" << 8000 << 1 << args("-e gsm-full-rate") << "wav" << 8000 << false;
    QTest::newRow("WAV GSM 6.10 mono 8 kHz from ffmpeg")
        << ffmpeg << 8000 << 1 << args("-c:a libgsm_ms") << "wav" << 8000 << false;
    QTest::newRow("video file with a sound track")
        << ffmpeg << 44100 << 2 << args("-f lavfi -i testsrc=d=3:s=64x48 -map 1:v -map 0:a -c:v mpeg4 -c:a libvorbis")
        << "mkv" << 44100 << false;
    // The output keeps the first part's format, converted as ffmpeg does.
    QTest::newRow("MP3 parts with different rates joined")
        << "joined" << 44100 << 2 << args("-c:a libmp3lame") << "mp3" << 44100 << false;
    // Recordings that stopped mid-write decode as far as they go.
    QTest::newRow("MP3 cut off part way") << ffmpeg << 44100 << 2 << args("-c:a libmp3lame") << "mp3" << 44100 << true;
    QTest::newRow("FLAC cut off part way") << ffmpeg << 44100 << 1 << args("-c:a flac") << "flac" << 44100 << true;
    QTest::newRow("Ogg Vorbis cut off part way")
        << ffmpeg << 22050 << 2 << args("-c:a libvorbis") << "ogg" << 22050 << true;
}

void TestAudioDecoder::decodesLikeFfmpeg()
{
    QFETCH(QString, tool);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(QStringList, arguments);
    QFETCH(QString, suffix);
    QFETCH(int, decodedRate);
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
    QCOMPARE(decoded.rate, decodedRate);
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

    QTest::newRow("text file named .mp3") << "text"
                                          << "notes.mp3"
                                          << "Not a recognised audio file: Invalid argument";
    QTest::newRow("text file with an unknown suffix")
        << "text"
        << "notes.xyz"
        << "Not a recognised audio file: Invalid data found when processing input";
    QTest::newRow("empty file") << "empty"
                                << "empty.flac"
                                << "The file is empty.";
    QTest::newRow("empty file named .mp3") << "empty"
                                           << "empty.mp3"
                                           << "The file is empty.";
    QTest::newRow("directory") << "folder"
                               << "folder.mp3"
                               << "Cannot open the file: Is a directory";
    QTest::newRow("missing file") << "none"
                                  << "missing.mp3"
                                  << "Cannot open the file: No such file or directory";
    QTest::newRow("unreadable file") << "locked"
                                     << "locked.mp3"
                                     << "Cannot open the file: Permission denied";
    QTest::newRow("file whose reads fail") << "none"
                                           << "/proc/self/mem"
                                           << "Cannot open the file: Input/output error";
    QTest::newRow("no file given") << "none"
                                   << ""
                                   << "Cannot open the file: No such file or directory";
    QTest::newRow("video without sound") << "video"
                                         << "silent-film.mkv"
                                         << "No audio stream in the file.";
    QTest::newRow("FLAC header without samples") << "header"
                                                 << "nothing.flac"
                                                 << "No audio samples in the file.";
    QTest::newRow("A-law WAV header without samples") << "header"
                                                      << "nothing.wav"
                                                      << "No audio samples in the file.";
    QTest::newRow("M4A cut off before its index")
        << "cut"
        << "interrupted.m4a"
        << "Not a recognised audio file: Invalid data found when processing input";
}

void TestAudioDecoder::refusesWhatIsNotAudio()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QString, message);

    const QString path = name.startsWith(QLatin1Char('/')) || name.isEmpty() ? name : dir.filePath(name);
    const QStringList codec = {QStringLiteral("-c:a"), name.endsWith(QLatin1String(".wav")) ? QStringLiteral("pcm_alaw")
                                                                                            : QStringLiteral("flac")};
    if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("text"))
            file.write("Interview notes, not a recording.\n");
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("locked")) {
        if (geteuid() == 0)
            QSKIP("permissions do not bind the superuser");
        QVERIFY(QFile::copy(shortMp3, path));
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    } else if (kind == QLatin1String("none")) {
        if (path.startsWith(QLatin1String("/proc")) && !QFile::exists(path))
            QSKIP("needs /proc");
    } else if (kind == QLatin1String("video")) {
        QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("testsrc=d=1:s=64x48"),
                                         {QStringLiteral("-c:v"), QStringLiteral("mpeg4")}, path));
    } else if (kind == QLatin1String("header")) {
        QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("anullsrc=r=8000"),
                                         QStringList{QStringLiteral("-t"), QStringLiteral("0")} + codec, path));
    } else if (kind == QLatin1String("cut")) {
        // A phone recording interrupted before the index at the end was written.
        QVERIFY(makeFile(QStringLiteral("ffmpeg"), 44100, 2, {QStringLiteral("-c:a"), QStringLiteral("aac")}, path));
        QFile file(path);
        QVERIFY(file.resize(file.size() / 2));
    }

    const Decoded decoded = decode(path);
    QVERIFY(decoded.failed);
    QVERIFY(!decoded.finished);
    QVERIFY(!decoded.signalledInsideStart);
    QCOMPARE(decoded.buffers, 0);
    QCOMPARE(decoded.error, message);
}

void TestAudioDecoder::opensAwkwardPaths_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("relative path") << ""
                                   << "take.mp3";
    QTest::newRow("relative path into a subfolder") << "sub"
                                                    << "take.mp3";
    QTest::newRow("name with a colon") << ""
                                       << "take 1: Smith.mp3";
    QTest::newRow("name that looks like a web address") << ""
                                                        << "http:example.mp3";
    QTest::newRow("spaces and accents") << "Befragung Müller"
                                        << "Zeugin Ağaoğlu.mp3";
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

void TestAudioDecoder::progressReachesTheTotal()
{
    const Decoded decoded = decode(longFile);
    QVERIFY2(decoded.finished, qPrintable(decoded.error));
    const qint64 size = QFileInfo(longFile).size();
    QVERIFY(decoded.progress.size() >= 3);
    qint64 previous = 0;
    for (const auto &[done, total] : decoded.progress) {
        QCOMPARE(total, size);
        QVERIFY(done >= previous);
        QVERIFY(done <= total);
        previous = done;
    }
    QVERIFY(decoded.progress.first().first < size);
    QCOMPARE(decoded.progress.last().first, size);
    QVERIFY(!decoded.progressAfterEnd);
}

void TestAudioDecoder::stopSilencesTheRun_data()
{
    QTest::addColumn<bool>("fromSlot");
    QTest::newRow("stop inside bufferReady") << true;
    QTest::newRow("stop between slices") << false;
}

void TestAudioDecoder::stopSilencesTheRun()
{
    QFETCH(bool, fromSlot);

    AudioDecoder decoder;
    bool stopInSlot = fromSlot;
    int buffers = 0;
    int others = 0;
    QByteArray pcm;
    connect(&decoder, &AudioDecoder::bufferReady, this, [&](const QByteArray &samples) {
        ++buffers;
        pcm += samples;
        if (stopInSlot) {
            stopInSlot = false;
            decoder.stop();
        }
    });
    connect(&decoder, &AudioDecoder::progressChanged, this, [&] { ++others; });
    connect(&decoder, &AudioDecoder::finished, this, [&] { ++others; });
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
    buffers = 0;
    bool finished = false;
    connect(&decoder, &AudioDecoder::finished, this, [&] { finished = true; });
    decoder.start();
    QTRY_VERIFY_WITH_TIMEOUT(finished, 30000);
    QVERIFY(buffers > 1);
    const QByteArray reference = fixtures::ffmpegS16(longFile);
    QVERIFY2(pcm == reference, qPrintable(firstDifference(pcm, reference)));
}

void TestAudioDecoder::eventLoopRunsBetweenSlices()
{
    AudioDecoder decoder;
    QEventLoop loop;
    int buffers = 0;
    int ticks = 0;
    int ticksBetweenBuffers = 0;
    QTimer timer;
    timer.setInterval(0);
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    connect(&decoder, &AudioDecoder::bufferReady, this, [&] {
        if (buffers > 0 && ticks > 0)
            ++ticksBetweenBuffers;
        ++buffers;
        ticks = 0;
    });
    connect(&decoder, &AudioDecoder::finished, &loop, &QEventLoop::quit);
    connect(&decoder, &AudioDecoder::error, &loop, &QEventLoop::quit);
    decoder.setSource(longFile);
    timer.start();
    decoder.start();
    loop.exec();
    QVERIFY(buffers > 2);
    // Every gap between two slices let the timer in.
    QCOMPARE(ticksBetweenBuffers, buffers - 1);
}

void TestAudioDecoder::destroyedWhileDecoding()
{
    QPointer<AudioDecoder> decoder = new AudioDecoder;
    int buffers = 0;
    connect(decoder, &AudioDecoder::bufferReady, this, [&] {
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
