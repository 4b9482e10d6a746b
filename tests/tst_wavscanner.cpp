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

QString bextSection(const QString &description, const QString &date, const QString &time)
{
    return QStringLiteral("=== Broadcast Wave (BEXT) ===\nDescription: %1\nOrig. Date: %2\nOrig. Time: %3\n\n")
        .arg(description, date, time);
}

// "bext" chunk data of `size` bytes with the given fields; the originator
// right after the description is filled so that reading past the
// description's 256 bytes shows.
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

QByteArray bext(const QByteArray &time)
{
    return chunk("bext", bextData("Interview", "2021-03-04", time));
}

QByteArray pcmData(int size)
{
    return chunk("data", QByteArray(size, '\x11'));
}

} // namespace

class TestWavScanner : public QObject
{
    Q_OBJECT

private slots:
    void shortFiles_data();
    void shortFiles();
    void canonicalFile();
    void sections_data();
    void sections();
    void bextFields_data();
    void bextFields();
    void startTime_data();
    void startTime();
    void ffmpegBroadcastWave_data();
    void ffmpegBroadcastWave();
};

void TestWavScanner::shortFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("hasReport");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("eleven bytes") << QByteArray("RIFF\0\0\0\0WAV", 11) << false;
    QTest::newRow("twelve bytes") << QByteArray("RIFF\4\0\0\0WAVE", 12) << true;
}

void TestWavScanner::shortFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, hasReport);

    const ScanResult result = scanWavMetadata(file, QStringLiteral("short.wav"));
    QCOMPARE(result.hasReport, hasReport);
    if (hasReport) {
        QCOMPARE(result.report, generalSection(QStringLiteral("short.wav"), file.size()));
        QCOMPARE(result.startTimeAfter(5000), 0LL);
    } else {
        QVERIFY(result.report.isEmpty());
        QCOMPARE(result.startTimeAfter(5000), 5000LL);
    }
}

void TestWavScanner::canonicalFile()
{
    const QByteArray file = riff(fmtChunk(1, 2, 44100, 16) + pcmData(556));
    QCOMPARE(file.size(), 600);

    const ScanResult result = scanWavMetadata(file, QStringLiteral("a.wav"));
    QVERIFY(result.hasReport);
    const QStringList expected = {QStringLiteral("=== General ==="),
                                  QStringLiteral("Filename: a.wav"),
                                  QStringLiteral("Size: 600 bytes"),
                                  QStringLiteral("Container: Wave"),
                                  QString(),
                                  QStringLiteral("=== Audio Track ==="),
                                  QStringLiteral("Format: PCM"),
                                  QStringLiteral("Channels: 2"),
                                  QStringLiteral("Sample Rate: 44100 Hz"),
                                  QStringLiteral("Bit Depth: 16 bits"),
                                  QString()};
    QCOMPARE(result.report, expected.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    QCOMPARE(result.start, StartTime::Clear);
    QCOMPARE(result.startTimeAfter(5000), 0LL);
}

void TestWavScanner::sections_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("sections");

    const QByteArray pcm = fmtChunk(1, 2, 44100, 16);
    const QString pcmSection = audioSection(QStringLiteral("PCM"), 2, 44100, 16);
    const QString bextOnly = bextSection(QStringLiteral("Interview"), QStringLiteral("2021-03-04"),
                                         QStringLiteral("10:15:30"));

    QTest::newRow("float reads Other") << riff(fmtChunk(3, 1, 48000, 32) + pcmData(8))
                                       << audioSection(QStringLiteral("Other"), 1, 48000, 32);
    QTest::newRow("extensible reads Other") << riff(fmtChunk(0xFFFE, 6, 96000, 24) + pcmData(36))
                                            << audioSection(QStringLiteral("Other"), 6, 96000, 24);
    QTest::newRow("mono 8-bit") << riff(fmtChunk(1, 1, 8000, 8) + pcmData(3))
                                << audioSection(QStringLiteral("PCM"), 1, 8000, 8);
    QTest::newRow("odd chunk then pad byte") << riff(chunk("junk", "12345") + pcm + pcmData(4)) << pcmSection;
    QTest::newRow("two fmt chunks in file order")
        << riff(pcm + fmtChunk(3, 1, 48000, 32) + pcmData(4))
        << pcmSection + audioSection(QStringLiteral("Other"), 1, 48000, 32);
    QTest::newRow("fmt shorter than 16 bytes") << riff(chunk("fmt ", QByteArray(14, '\1')) + pcmData(4))
                                               << QString();
    QTest::newRow("fmt fields past the end") << riff(pcm).left(12 + 8 + 12) << QString();
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
    QTest::newRow("20 bytes: a chunk header and nothing else") << riff(pcm).left(20) << QString();
}

void TestWavScanner::sections()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, sections);

    const ScanResult result = scanWavMetadata(file, QStringLiteral("x.wav"));
    QVERIFY(result.hasReport);
    QCOMPARE(result.report, generalSection(QStringLiteral("x.wav"), file.size()) + sections);
}

void TestWavScanner::bextFields_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");

    const auto bwf = [](const QByteArray &description, const QByteArray &date, const QByteArray &time) {
        return riff(chunk("bext", bextData(description, date, time)));
    };

    QTest::newRow("description ends in NULs and spaces")
        << bwf("  Interview 7 \t  ", "2021-03-04", "10:15:30")
        << bextSection(QStringLiteral("Interview 7"), QStringLiteral("2021-03-04"), QStringLiteral("10:15:30"));
    QTest::newRow("256-byte description without NUL")
        << bwf(QByteArray(256, 'd'), "2021-03-04", "10:15:30")
        << bextSection(QString(256, QLatin1Char('d')), QStringLiteral("2021-03-04"), QStringLiteral("10:15:30"));
    QTest::newRow("description ends at the first NUL")
        << bwf(QByteArray("Room 4\0hidden", 13), "", "")
        << bextSection(QStringLiteral("Room 4"), QString(), QString());
    QTest::newRow("Latin-1 description") << bwf("Caf\xe9 interview", "", "")
                                         << bextSection(QStringLiteral("Caf\u00e9 interview"), QString(), QString());
    QTest::newRow("date and time shown as written")
        << bwf("", " 2021-3-4", "10-15-30")
        << bextSection(QString(), QStringLiteral(" 2021-3-4"), QStringLiteral("10-15-30"));
    QTest::newRow("all fields empty") << bwf("", "", "") << bextSection(QString(), QString(), QString());
    QTest::newRow("file ends inside the date") << bwf("Cut", "2021-03-04", "10:15:30").left(20 + 325)
                                               << bextSection(QStringLiteral("Cut"), QStringLiteral("2021-"), QString());
    QTest::newRow("file ends inside the description")
        << bwf("Cut short here", "2021-03-04", "10:15:30").left(20 + 9)
        << bextSection(QStringLiteral("Cut short"), QString(), QString());
}

void TestWavScanner::bextFields()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);

    const ScanResult result = scanWavMetadata(file, QStringLiteral("b.wav"));
    QCOMPARE(result.report, generalSection(QStringLiteral("b.wav"), file.size()) + section);
}

void TestWavScanner::startTime_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<StartTime>("start");
    QTest::addColumn<qlonglong>("after"); // start time held after the scan, when 5000 was held before

    const QByteArray pcm = fmtChunk(1, 2, 44100, 16) + pcmData(4);

    QTest::newRow("10:15:30") << riff(pcm + bext("10:15:30")) << StartTime::Set << 36930000LL;
    QTest::newRow("midnight") << riff(bext("00:00:00")) << StartTime::Set << 0LL;
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
    QFETCH(StartTime, start);
    QFETCH(qlonglong, after);

    const ScanResult result = scanWavMetadata(file, QStringLiteral("t.wav"));
    QCOMPARE(result.start, start);
    QCOMPARE(result.startTimeAfter(5000), after);
}

void TestWavScanner::ffmpegBroadcastWave_data()
{
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("audio");

    QTest::newRow("16-bit PCM") << "pcm_s16le" << audioSection(QStringLiteral("PCM"), 2, 44100, 16);
    QTest::newRow("8-bit PCM") << "pcm_u8" << audioSection(QStringLiteral("PCM"), 2, 44100, 8);
    QTest::newRow("32-bit float") << "pcm_f32le" << audioSection(QStringLiteral("Other"), 2, 44100, 32);
}

void TestWavScanner::ffmpegBroadcastWave()
{
    QFETCH(QString, codec);
    QFETCH(QString, audio);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("interview.wav"));
    QVERIFY(fixtures::ffmpegGenerate(
        QStringLiteral("sine=frequency=440:sample_rate=44100:duration=0.5"),
        {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"), codec, QStringLiteral("-write_bext"),
         QStringLiteral("1"), QStringLiteral("-metadata"), QStringLiteral("description=  Interview room 2  "),
         QStringLiteral("-metadata"), QStringLiteral("originator=Recorder"), QStringLiteral("-metadata"),
         QStringLiteral("origination_date=2021-03-04"), QStringLiteral("-metadata"),
         QStringLiteral("origination_time=10:15:30"), QStringLiteral("-metadata"),
         QStringLiteral("time_reference=451584000")},
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
