#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "audio/wavscanner.h"
#include "audiofixtures.h"

using fixtures::chunk;
using fixtures::fmtChunk;
using fixtures::le32;
using fixtures::riff;
using StartTime = ScanResult::StartTime;

namespace {

constexpr int kBextSize = 602; // what ffmpeg writes: the fields up to the reserved area

QString generalSection(const QString &name, qint64 size)
{
    return QStringLiteral("=== General ===\nFilename: %1\nSize: %2 bytes\nContainer: Wave\n\n").arg(name).arg(size);
}

QString audioSection(const QString &format, int channels, int rate, int bits)
{
    return QStringLiteral("=== Audio Track ===\nFormat: %1\nChannels: %2\nSample Rate: %3 Hz\nBit Depth: %4 bits\n\n")
        .arg(format)
        .arg(channels)
        .arg(rate)
        .arg(bits);
}

QString bextSection(const QString &description, const QString &date = {}, const QString &time = {})
{
    return QStringLiteral("=== Broadcast Wave (BEXT) ===\nDescription: %1\nOrig. Date: %2\nOrig. Time: %3\n\n")
        .arg(description, date, time);
}

// "bext" chunk data of `size` bytes; the originator after the description is
// filled so that reading past the description's 256 bytes shows.
QByteArray bextData(const QByteArray &description, const QByteArray &date, const QByteArray &time,
                    int size = kBextSize)
{
    QByteArray data(qMax(size, 346), '\0');
    data.replace(0, description.size(), description);
    data.replace(256, 10, "ORIGINATOR");
    data.replace(320, date.size(), date);
    data.replace(330, time.size(), time);
    return data.left(size);
}

QByteArray bext(const QByteArray &time) { return chunk("bext", bextData("Interview", "2021-03-04", time)); }

QByteArray pcmData(int size) { return chunk("data", QByteArray(size, '\x11')); }

} // namespace

class TestWavScanner : public QObject
{
    Q_OBJECT

private slots:
    void shortFiles();
    void sections_data();
    void sections();
    void startTime_data();
    void startTime();
    void ffmpegBroadcastWave_data();
    void ffmpegBroadcastWave();
};

void TestWavScanner::shortFiles()
{
    for (const QByteArray &file : {QByteArray(), QByteArray("RIFF\0\0\0\0WAV", 11)}) {
        const ScanResult result = scanWavMetadata(file, QStringLiteral("short.wav"));
        QVERIFY(!result.hasReport);
        QVERIFY(result.report.isEmpty());
        QCOMPARE(result.startTimeAfter(5000), 5000LL);
    }
}

void TestWavScanner::sections_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("sections");

    const QByteArray pcm = fmtChunk(1, 2, 44100, 16);
    const QString pcmSection = audioSection("PCM", 2, 44100, 16);
    const QString other = audioSection("Other", 1, 48000, 32);
    const QString bextOnly = bextSection("Interview", "2021-03-04", "10:15:30");
    const auto bwf = [](const QByteArray &description, const QByteArray &date, const QByteArray &time) {
        return riff(chunk("bext", bextData(description, date, time)));
    };

    QTest::newRow("twelve bytes") << QByteArray("RIFF\4\0\0\0WAVE", 12) << QString();
    QTest::newRow("canonical") << riff(pcm + pcmData(556))
                               << "=== Audio Track ===\nFormat: PCM\nChannels: 2\nSample Rate: 44100 Hz\n"
                                  "Bit Depth: 16 bits\n\n";
    QTest::newRow("float reads Other") << riff(fmtChunk(3, 1, 48000, 32) + pcmData(8)) << other;
    QTest::newRow("extensible reads Other") << riff(fmtChunk(0xFFFE, 6, 96000, 24) + pcmData(36))
                                            << audioSection("Other", 6, 96000, 24);
    QTest::newRow("odd chunk then pad byte") << riff(chunk("junk", "12345") + pcm + pcmData(4)) << pcmSection;
    QTest::newRow("two fmt chunks in file order") << riff(pcm + fmtChunk(3, 1, 48000, 32) + pcmData(4))
                                                  << pcmSection + other;
    QTest::newRow("fmt shorter than 16 bytes") << riff(chunk("fmt ", QByteArray(14, '\1')) + pcmData(4)) << QString();
    QTest::newRow("fmt fields past the end") << riff(pcm).left(12 + 8 + 12) << QString();
    QTest::newRow("20 bytes: a chunk header and nothing else") << riff(pcm).left(20) << QString();
    QTest::newRow("huge chunk ends the walk") << riff("junk" + le32(0xFFFFFFF0) + pcm + pcmData(4)) << QString();
    QTest::newRow("chunk running past the end ends the walk")
        << riff(pcm + "junk" + le32(1000) + bext("10:15:30")) << pcmSection;
    QTest::newRow("LIST and data are not reported")
        << riff(pcm + chunk("LIST", "INFO" + chunk("INAM", "Title")) + pcmData(4)) << pcmSection;
    QTest::newRow("bext before fmt") << riff(bext("10:15:30") + pcm + pcmData(4)) << bextOnly + pcmSection;
    QTest::newRow("bext of 300 bytes ignored")
        << riff(chunk("bext", bextData("Interview", "", "", 300)) + pcm) << pcmSection;
    QTest::newRow("bext of 345 bytes ignored")
        << riff(chunk("bext", bextData("Interview", "2021-03-04", "10:15:30", 345))) << QString();
    QTest::newRow("bext of 346 bytes read")
        << riff(chunk("bext", bextData("Interview", "2021-03-04", "10:15:30", 346))) << bextOnly;
    QTest::newRow("bext description ends in NULs and spaces")
        << bwf("  Interview 7 \t  ", "2021-03-04", "10:15:30") << bextSection("Interview 7", "2021-03-04", "10:15:30");
    QTest::newRow("256-byte description without NUL") << bwf(QByteArray(256, 'd'), "", "")
                                                      << bextSection(QString(256, QLatin1Char('d')));
    QTest::newRow("description ends at the first NUL") << bwf(QByteArray("Room 4\0hidden", 13), "", "")
                                                       << bextSection("Room 4");
    QTest::newRow("Latin-1 description") << bwf("Caf\xe9 interview", "", "")
                                         << bextSection(QStringLiteral("Caf\u00e9 interview"));
    QTest::newRow("date and time shown as written") << bwf("", " 2021-3-4", "10-15-30")
                                                    << bextSection("", " 2021-3-4", "10-15-30");
    QTest::newRow("file ends inside the bext date") << bwf("Cut", "2021-03-04", "10:15:30").left(20 + 325)
                                                    << bextSection("Cut", "2021-");
    QTest::newRow("file ends inside the bext description")
        << bwf("Cut short here", "2021-03-04", "10:15:30").left(20 + 9) << bextSection("Cut short");
}

void TestWavScanner::sections()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, sections);
    const ScanResult result = scanWavMetadata(file, QStringLiteral("x.wav"));
    QVERIFY(result.hasReport);
    QCOMPARE(result.report, generalSection(QStringLiteral("x.wav"), file.size()) + sections);
}

void TestWavScanner::startTime_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<StartTime>("start");
    QTest::addColumn<qlonglong>("after"); // start time held after the scan, when 5000 was held before

    const QByteArray pcm = fmtChunk(1, 2, 44100, 16) + pcmData(4);
    QTest::newRow("midnight") << riff(pcm + bext("00:00:00")) << StartTime::Set << 0LL;
    QTest::newRow("last second of the day") << riff(bext("23:59:59")) << StartTime::Set << 86399000LL;
    QTest::newRow("dashes keep the previous time") << riff(bext("10-15-30")) << StartTime::Keep << 5000LL;
    QTest::newRow("hour 24 keeps the previous time") << riff(bext("24:00:00")) << StartTime::Keep << 5000LL;
    QTest::newRow("time cut by a NUL keeps the previous time")
        << riff(bext(QByteArray("10:15\0\0\0", 8))) << StartTime::Keep << 5000LL;
    QTest::newRow("empty time clears") << riff(bext("")) << StartTime::Clear << 0LL;
    QTest::newRow("no bext clears") << riff(pcm) << StartTime::Clear << 0LL;
    QTest::newRow("ignored short bext clears")
        << riff(chunk("bext", bextData("", "", "10:15:30", 340))) << StartTime::Clear << 0LL;
    QTest::newRow("file ends before the time clears")
        << riff(bext("10:15:30")).left(20 + 330) << StartTime::Clear << 0LL;
    QTest::newRow("later bext replaces the time")
        << riff(bext("10:15:30") + bext("08:00:00")) << StartTime::Set << 28800000LL;
    QTest::newRow("later bext with empty time clears")
        << riff(bext("10:15:30") + bext("")) << StartTime::Clear << 0LL;
    QTest::newRow("later unparsable time keeps the previous time")
        << riff(bext("10:15:30") + bext("xx")) << StartTime::Keep << 5000LL;
}

void TestWavScanner::startTime()
{
    QFETCH(QByteArray, file);
    const ScanResult result = scanWavMetadata(file, QStringLiteral("t.wav"));
    QTEST(result.start, "start");
    QTEST(result.startTimeAfter(5000), "after");
}

void TestWavScanner::ffmpegBroadcastWave_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("audio");

    QTest::newRow("16-bit PCM") << "pcm_s16le" << audioSection(QStringLiteral("PCM"), 2, 44100, 16);
    QTest::newRow("32-bit float") << "pcm_f32le" << audioSection(QStringLiteral("Other"), 2, 44100, 32);
}

void TestWavScanner::ffmpegBroadcastWave()
{
    QFETCH(QString, codec);
    QFETCH(QString, audio);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("interview.wav"));
    QVERIFY(fixtures::ffmpegGenerate(
        QStringLiteral("sine=frequency=440:sample_rate=44100:duration=0.5"),
        QStringLiteral("-ac 2 -write_bext 1 -metadata originator=Recorder -metadata origination_date=2021-03-04 "
                       "-metadata origination_time=10:15:30 -metadata time_reference=451584000 -c:a")
                .split(QLatin1Char(' '))
            << codec << QStringLiteral("-metadata") << QStringLiteral("description=  Interview room 2  "),
        path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();

    // ffmpeg writes "fmt ", then "bext", then LIST/INFO and the data.
    const ScanResult result = scanWavMetadata(bytes, QStringLiteral("interview.wav"));
    QCOMPARE(result.report,
             generalSection(QStringLiteral("interview.wav"), bytes.size()) + audio
                 + bextSection(QStringLiteral("Interview room 2"), QStringLiteral("2021-03-04"),
                               QStringLiteral("10:15:30")));
    QCOMPARE(result.start, StartTime::Set);
    QCOMPARE(result.startTimeOfDayMs, 36930000LL);
}

QTEST_GUILESS_MAIN(TestWavScanner)
#include "tst_wavscanner.moc"
