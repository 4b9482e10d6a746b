#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

#include "audio/oggscanner.h"
#include "audiofixtures.h"

using fixtures::le16;
using fixtures::le32;
using StartTime = ScanResult::StartTime;
using Entries = QList<QByteArray>;

namespace {

constexpr quint8 kContinued = 0x01;
constexpr quint8 kFirstPage = 0x02;
constexpr qint64 kBefore = 5000; // start time held before a scan

QByteArray page(const QByteArray &lacing, const QByteArray &body, quint8 flags = 0, quint32 serial = 1)
{
    QByteArray out("OggS");
    out += '\0'; // version
    out += char(flags);
    out += QByteArray(8, '\0'); // granule position
    out += le32(serial);
    out += le32(0); // sequence number
    out += le32(0); // checksum, never checked
    out += char(lacing.size());
    return out + lacing + body;
}

QByteArray lacingFor(qsizetype size)
{
    return QByteArray(size / 255, '\xff') + char(size % 255);
}

// A page holding whole packets.
QByteArray packetPage(const QByteArrayList &packets, quint8 flags = 0, quint32 serial = 1)
{
    QByteArray lacing;
    for (const QByteArray &packet : packets)
        lacing += lacingFor(packet.size());
    return page(lacing, packets.join(), flags, serial);
}

QByteArray packetPage(const QByteArray &packet, quint8 flags = 0, quint32 serial = 1)
{
    return packetPage(QByteArrayList{packet}, flags, serial);
}

// One packet laid over as many pages as it takes with `segments` lacing values
// a page, the way an encoder splits a long comment header.
QByteArrayList spreadPages(const QByteArray &packet, int segments, quint32 serial = 1)
{
    QByteArrayList pages;
    const qsizetype perPage = 255 * segments;
    qsizetype at = 0;
    for (; packet.size() - at >= perPage; at += perPage)
        pages << page(QByteArray(segments, '\xff'), packet.mid(at, perPage), at ? kContinued : 0, serial);
    pages << page(lacingFor(packet.size() - at), packet.mid(at), at ? kContinued : 0, serial);
    return pages;
}

QByteArray vorbisId(quint8 channels, quint32 rate, qint32 nominalBitRate)
{
    return QByteArray("\x01vorbis") + le32(0) + char(channels) + le32(rate) + le32(0) + le32(quint32(nominalBitRate))
        + le32(0) + char('\xb8') + char(1);
}

QByteArray commentList(const Entries &entries, quint32 count)
{
    const QByteArray vendor("Test vendor");
    QByteArray out = le32(quint32(vendor.size())) + vendor + le32(count);
    for (const QByteArray &entry : entries)
        out += le32(quint32(entry.size())) + entry;
    return out;
}

QByteArray vorbisComments(const Entries &entries)
{
    return "\x03vorbis" + commentList(entries, quint32(entries.size())) + char(1);
}

QByteArray opusHead(quint8 channels, quint32 inputRate)
{
    return QByteArray("OpusHead\x01", 9) + char(channels) + le16(312) + le32(inputRate) + le16(0) + char(0);
}

QByteArray opusTags(const Entries &entries)
{
    return "OpusTags" + commentList(entries, quint32(entries.size()));
}

QByteArray vorbisSetup()
{
    return "\x05vorbis" + QByteArray(40, '\x2a');
}

QByteArray idPage(quint32 serial = 1)
{
    return packetPage(vorbisId(2, 44100, 128000), kFirstPage, serial);
}

QByteArray vorbisFile(const Entries &entries)
{
    return idPage() + packetPage({vorbisComments(entries), vorbisSetup()});
}

QString general(qint64 size)
{
    return QStringLiteral("=== General ===\nFilename: rec.ogg\nSize: %1 bytes\nContainer: Ogg\n").arg(size);
}

QString vorbisTrack(int channels, qint64 rate, const QString &bitRateLine = QStringLiteral("128 kb/s"))
{
    QString section =
        QStringLiteral("\n=== Audio Track (Vorbis) ===\nFormat: Vorbis\nChannels: %1\nSample Rate: %2 Hz\n")
            .arg(channels)
            .arg(rate);
    if (!bitRateLine.isEmpty())
        section += QStringLiteral("Bit Rate (Nominal): ") + bitRateLine + QLatin1Char('\n');
    return section;
}

const QString kVorbisHeading = QStringLiteral("\n=== Metadata (Vorbis Comments) ===\n");
const QString kOpusHeading = QStringLiteral("\n=== Metadata (Opus Tags) ===\n");

QString parsedLine(const QString &when)
{
    return QStringLiteral("\n[System] Parsed Start Time: ") + when + QLatin1Char('\n');
}

ScanResult scan(const QByteArray &file)
{
    return scanOggMetadata(file, QStringLiteral("rec.ogg"));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestOggScanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void identification_data();
    void identification();
    void comments_data();
    void comments();
    void dates_data();
    void dates();
    void pageWalk_data();
    void pageWalk();
    void spreadComments_data();
    void spreadComments();
    void opus_data();
    void opus();
    void oggencLongComments();
    void ffmpegOpus();
};

void TestOggScanner::initTestCase()
{
    // A zone with daylight saving, so the local clock skips an hour in March.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestOggScanner::identification_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("track");

    QTest::newRow("128000 bit/s") << vorbisId(2, 44100, 128000) << vorbisTrack(2, 44100);
    QTest::newRow("160500 bit/s truncates") << vorbisId(2, 44100, 160500)
                                            << vorbisTrack(2, 44100, QStringLiteral("160 kb/s"));
    QTest::newRow("no nominal rate") << vorbisId(1, 8000, 0) << vorbisTrack(1, 8000, QString());
    QTest::newRow("nominal rate -1") << vorbisId(2, 48000, -1) << vorbisTrack(2, 48000, QString());
    QTest::newRow("sample rate read unsigned") << vorbisId(255, 4294967295u, 0)
                                               << vorbisTrack(255, 4294967295LL, QString());
}

void TestOggScanner::identification()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, track);

    const QByteArray file = packetPage(packet, kFirstPage);
    const ScanResult result = scan(file);
    QVERIFY(result.hasReport);
    QCOMPARE(result.report, general(file.size()) + track);
    QCOMPARE(result.start, StartTime::Clear);
}

void TestOggScanner::comments_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("lines");

    QTest::newRow("key upper-cased") << vorbisComments({"artist=Someone"}) << "ARTIST : Someone\n";
    QTest::newRow("value keeps later equals signs") << vorbisComments({"note=a=b"}) << "NOTE : a=b\n";
    QTest::newRow("empty key and value") << vorbisComments({"="}) << " : \n";
    QTest::newRow("UTF-8 value") << vorbisComments({"title=Gr\xc3\xbc\xc3\x9f" "e"})
                                 << QStringLiteral("TITLE : Gr\u00fc\u00dfe\n");
    QTest::newRow("entries without equals skipped")
        << vorbisComments({"no equals", "", "artist=A", "x"}) << "ARTIST : A\n";
    QTest::newRow("in file order") << vorbisComments({"b=2", "a=1", "b=3"}) << "B : 2\nA : 1\nB : 3\n";
    QTest::newRow("zero comments") << vorbisComments({}) << "";
    QTest::newRow("count beyond the entries present")
        << QByteArray("\x03vorbis" + commentList({"a=1", "b=2"}, 5)) << "A : 1\nB : 2\n";
    QTest::newRow("entry longer than the packet ends the list")
        << QByteArray("\x03vorbis" + commentList({"a=1"}, 3) + le32(1000) + "b=2") << "A : 1\n";
    QTest::newRow("length field cut by the packet end")
        << QByteArray("\x03vorbis" + commentList({"a=1"}, 2) + QByteArray("\x05\x00", 2)) << "A : 1\n";
    QTest::newRow("count missing") << QByteArray("\x03vorbis" + le32(3) + "abc") << "";
    QTest::newRow("vendor longer than the packet") << QByteArray("\x03vorbis" + le32(4000) + "abc") << "";
    QTest::newRow("vendor length past 2 GiB") << QByteArray("\x03vorbis" + le32(0xFFFFFFF0) + "abcdefgh") << "";
}

void TestOggScanner::comments()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, lines);

    // The setup header shares the page, so an entry that overruns the comment
    // packet would read into it.
    const QByteArray file = idPage() + packetPage({packet, vorbisSetup()});
    QCOMPARE(scan(file).report, general(file.size()) + vorbisTrack(2, 44100) + kVorbisHeading + lines);
}

void TestOggScanner::dates_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<StartTime>("start");
    QTest::addColumn<qlonglong>("after");
    QTest::addColumn<QString>("parsed"); // the "[System]" date text, empty when none

    const QString march4 = QStringLiteral("Thu Mar 4 10:20:30 2021");
    QTest::newRow("date and time with T") << Entries{"DATE=2021-03-04T10:20:30"} << StartTime::Set << 37230000LL
                                          << march4;
    QTest::newRow("slashes and a space") << Entries{"DATE=2021/03/04 10:20:30"} << StartTime::Set << 37230000LL
                                         << march4;
    QTest::newRow("lower-case key") << Entries{"date=2021-03-04T10:20:30"} << StartTime::Set << 37230000LL
                                    << march4;
    QTest::newRow("RECORDED DATE") << Entries{"Recorded Date=2021-03-04 10:20:30"} << StartTime::Set << 37230000LL
                                   << march4;
    QTest::newRow("CREATION_TIME") << Entries{"creation_time=2021-03-04T10:20:30"} << StartTime::Set
                                   << 37230000LL << march4;
    QTest::newRow("DATE then CREATION_TIME takes the last")
        << Entries{"DATE=2021-03-04T10:20:30", "CREATION_TIME=2022-12-31T23:59:59"} << StartTime::Set
        << 86399000LL << "Sat Dec 31 23:59:59 2022";
    QTest::newRow("CREATION_TIME then DATE takes the last")
        << Entries{"CREATION_TIME=2022-12-31T23:59:59", "DATE=2021-03-04T10:20:30"} << StartTime::Set
        << 37230000LL << march4;
    QTest::newRow("midnight") << Entries{"DATE=2021-03-04T00:00:00"} << StartTime::Set << 0LL
                              << "Thu Mar 4 00:00:00 2021";
    QTest::newRow("hour the local clock skips")
        << Entries{"DATE=2021-03-28T02:30:00"} << StartTime::Set << 9000000LL << "Sun Mar 28 02:30:00 2021";
    QTest::newRow("date without time keeps") << Entries{"DATE=2021-03-04"} << StartTime::Keep << kBefore
                                             << QString();
    QTest::newRow("impossible date keeps") << Entries{"DATE=2021-02-30T10:20:30"} << StartTime::Keep << kBefore
                                           << QString();
    QTest::newRow("later unparsable date keeps")
        << Entries{"DATE=2021-03-04T10:20:30", "date=last spring"} << StartTime::Keep << kBefore << QString();
    QTest::newRow("empty date clears") << Entries{"DATE="} << StartTime::Clear << 0LL << QString();
    QTest::newRow("no date clears") << Entries{"ARTIST=2021-03-04T10:20:30", "DATES=2021-03-04T10:20:30"}
                                    << StartTime::Clear << 0LL << QString();
}

void TestOggScanner::dates()
{
    QFETCH(Entries, entries);
    QFETCH(StartTime, start);
    QFETCH(qlonglong, after);
    QFETCH(QString, parsed);

    const ScanResult result = scan(vorbisFile(entries));
    QCOMPARE(result.start, start);
    QCOMPARE(result.startTimeAfter(kBefore), after);
    if (parsed.isEmpty())
        QVERIFY(!result.report.contains(QStringLiteral("[System]")));
    else
        QVERIFY2(result.report.endsWith(parsedLine(parsed)), qPrintable(result.report));
}

void TestOggScanner::pageWalk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("sections");
    QTest::addColumn<StartTime>("start");

    const QByteArray comments = packetPage({vorbisComments({"artist=First", "DATE=2021-03-04T10:20:30"}),
                                            vorbisSetup()});
    const QString firstComments = kVorbisHeading + QStringLiteral("ARTIST : First\nDATE : 2021-03-04T10:20:30\n");
    const QString both = vorbisTrack(2, 44100) + firstComments + parsedLine(QStringLiteral("Thu Mar 4 10:20:30 2021"));
    const QByteArray audio = packetPage(QByteArray(300, '\x10'));

    QTest::newRow("27 bytes") << idPage().left(27) << QString() << StartTime::Clear;
    QTest::newRow("no capture pattern") << QByteArray(200, 'x') << QString() << StartTime::Clear;
    QTest::newRow("headers then audio") << idPage() + comments + audio + audio << both << StartTime::Set;
    QTest::newRow("garbage before and between pages")
        << "ID3 junk" + idPage() + QByteArray(100, '\0') + "Ogg" + comments + "zz" << both << StartTime::Set;
    QTest::newRow("empty page first") << page(QByteArray(), QByteArray()) + idPage() + comments << both
                                      << StartTime::Set;
    QTest::newRow("segment table past the end") << idPage() + comments.left(28)
                                                << vorbisTrack(2, 44100) << StartTime::Clear;
    QTest::newRow("body past the end") << idPage() + comments.chopped(1) << vorbisTrack(2, 44100)
                                       << StartTime::Clear;
    QTest::newRow("chained streams report the first")
        << idPage(7) + packetPage({vorbisComments({"artist=First", "DATE=2021-03-04T10:20:30"}), vorbisSetup()}, 0, 7)
               + audio + packetPage(vorbisId(1, 8000, 64000), kFirstPage, 8)
               + packetPage(vorbisComments({"artist=Second", "DATE=2022-01-01T01:01:01"}), 0, 8)
        << both << StartTime::Set;
    QTest::newRow("identification too short for its fields")
        << packetPage(vorbisId(6, 96000, 0).left(23), kFirstPage) + idPage() << vorbisTrack(2, 44100)
        << StartTime::Clear;
    QTest::newRow("comments before the identification")
        << comments + idPage() << firstComments + vorbisTrack(2, 44100)
               + parsedLine(QStringLiteral("Thu Mar 4 10:20:30 2021"))
        << StartTime::Set;
    QTest::newRow("setup and audio packets ignored")
        << packetPage(vorbisSetup()) + packetPage(QByteArray("\x02vorbis-not-a-header")) + audio << QString()
        << StartTime::Clear;
    QTest::newRow("only a page's first packet is examined")
        << packetPage({QByteArray(40, 'a'), vorbisId(2, 44100, 128000)}) << QString() << StartTime::Clear;
}

void TestOggScanner::pageWalk()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, sections);
    QFETCH(StartTime, start);

    const ScanResult result = scan(file);
    QVERIFY(result.hasReport);
    QCOMPARE(result.report, general(file.size()) + sections);
    QCOMPARE(result.start, start);
}

void TestOggScanner::spreadComments_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("lines");
    QTest::addColumn<StartTime>("start");

    // The long entry crosses every page boundary; the date comes after it.
    const QByteArray longValue(600, 'c');
    const QByteArray packet = vorbisComments({"artist=Someone", "comment=" + longValue, "DATE=2021-03-04T10:20:30"});
    const QString whole = QStringLiteral("ARTIST : Someone\nCOMMENT : ") + QString::fromLatin1(longValue)
        + QStringLiteral("\nDATE : 2021-03-04T10:20:30\n") + parsedLine(QStringLiteral("Thu Mar 4 10:20:30 2021"));
    const QString cut = QStringLiteral("ARTIST : Someone\n");
    const QByteArray setup = packetPage(vorbisSetup(), kContinued);
    const QByteArray otherStream = packetPage(QByteArray(100, 'o'), 0, 9);

    const QByteArrayList two = spreadPages(packet, 2);
    QVERIFY(two.size() == 2);
    const QByteArrayList three = spreadPages(packet, 1);
    QVERIFY(three.size() == 3);

    QTest::newRow("two pages") << idPage() + two.join() + setup << whole << StartTime::Set;
    QTest::newRow("three pages") << idPage() + three.join() + setup << whole << StartTime::Set;
    QTest::newRow("another stream's pages in between")
        << idPage() + three[0] + otherStream + three[1] + otherStream + three[2] << whole << StartTime::Set;
    QTest::newRow("garbage between the pages") << idPage() + three[0] + "xx" + three[1] + "yyyy" + three[2] << whole
                                               << StartTime::Set;

    // A packet whose length is a whole number of full pages ends with an
    // empty segment on the next page.
    QByteArray exact = packet;
    exact.insert(exact.size() - 1, QByteArray(3 * 255 - exact.size(), '\0'));
    const QByteArrayList exactPages = spreadPages(exact, 1);
    QVERIFY(exactPages.size() == 4 && exactPages[3].size() == 28);
    QTest::newRow("packet ends at a page end") << idPage() + exactPages.join() + setup << whole << StartTime::Set;

    QByteArray unflagged = three[1];
    unflagged[5] = '\0';
    QTest::newRow("next page not marked as a continuation")
        << idPage() + three[0] + unflagged + three[2] << cut << StartTime::Clear;
    QTest::newRow("file ends inside the packet") << idPage() + three[0] + three[1] << cut << StartTime::Clear;
    QTest::newRow("continuation page cut short") << idPage() + three[0] + three[1] + three[2].chopped(1) << cut
                                                 << StartTime::Clear;
}

void TestOggScanner::spreadComments()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, lines);
    QFETCH(StartTime, start);

    const ScanResult result = scan(file);
    QCOMPARE(result.report, general(file.size()) + vorbisTrack(2, 44100) + kVorbisHeading + lines);
    QCOMPARE(result.start, start);
    if (start == StartTime::Set)
        QCOMPARE(result.startTimeOfDayMs, 37230000LL);
}

void TestOggScanner::opus_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("sections");
    QTest::addColumn<StartTime>("start");

    const QString tags = kOpusHeading + QStringLiteral("TITLE : Interview 7\nDATE : 2021-03-04T10:20:30\n");
    const QString parsed = parsedLine(QStringLiteral("Thu Mar 4 10:20:30 2021"));
    const QByteArray tagsPacket = opusTags({"title=Interview 7", "DATE=2021-03-04T10:20:30"});

    QTest::newRow("stereo from 44.1 kHz")
        << packetPage(opusHead(2, 44100), kFirstPage) + packetPage(tagsPacket)
        << "\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: 2\nInput Sample Rate: 44100 Hz\n" + tags + parsed
        << StartTime::Set;
    QTest::newRow("input rate not given")
        << packetPage(opusHead(1, 0), kFirstPage) + packetPage(opusTags({}))
        << "\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: 1\n" + kOpusHeading << StartTime::Clear;
    QTest::newRow("head too short for its fields")
        << packetPage(opusHead(2, 48000).left(18), kFirstPage) + packetPage(opusTags({"a=1"})) << kOpusHeading + "A : 1\n"
        << StartTime::Clear;
    QTest::newRow("tags over three pages")
        << packetPage(opusHead(2, 48000), kFirstPage)
               + spreadPages(opusTags({"comment=" + QByteArray(500, 'c'), "DATE=2021-03-04T10:20:30"}), 1).join()
        << "\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: 2\nInput Sample Rate: 48000 Hz\n" + kOpusHeading
               + "COMMENT : " + QString(500, QLatin1Char('c')) + "\nDATE : 2021-03-04T10:20:30\n" + parsed
        << StartTime::Set;
}

void TestOggScanner::opus()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, sections);
    QFETCH(StartTime, start);

    const ScanResult result = scan(file);
    QCOMPARE(result.report, general(file.size()) + sections);
    QCOMPARE(result.start, start);
}

void TestOggScanner::oggencLongComments()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString wav = dir.filePath(QStringLiteral("in.wav"));
    const QString ogg = dir.filePath(QStringLiteral("rec.ogg"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1"),
                                     {QStringLiteral("-ac"), QStringLiteral("2")}, wav));
    // Two comments longer than a page body, so the comment header spans three
    // pages and the date sits on the last.
    const QString comment(70000, QLatin1Char('y'));
    const QString notes(70000, QLatin1Char('z'));
    QVERIFY(!fixtures::run(QStringLiteral("oggenc"),
                           {QStringLiteral("-Q"), QStringLiteral("-b"), QStringLiteral("128"), QStringLiteral("-c"),
                            QStringLiteral("COMMENT=") + comment, QStringLiteral("-c"), QStringLiteral("notes=") + notes,
                            QStringLiteral("-c"), QStringLiteral("artist=Someone"), QStringLiteral("-c"),
                            QStringLiteral("DATE=2021-03-04T10:20:30"), QStringLiteral("-o"), ogg, wav})
                 .isNull());
    const QByteArray bytes = readFile(ogg);
    QVERIFY(!bytes.contains(notes.toLatin1())); // really split over pages

    const ScanResult result = scanOggMetadata(bytes, QStringLiteral("rec.ogg"));
    QCOMPARE(result.report, general(bytes.size()) + vorbisTrack(2, 44100) + kVorbisHeading + "COMMENT : " + comment
                                + "\nNOTES : " + notes + "\nARTIST : Someone\nDATE : 2021-03-04T10:20:30\n"
                                + parsedLine(QStringLiteral("Thu Mar 4 10:20:30 2021")));
    QCOMPARE(result.start, StartTime::Set);
    QCOMPARE(result.startTimeOfDayMs, 37230000LL);
}

void TestOggScanner::ffmpegOpus()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("rec.opus.ogg"));
    const QString comment(70000, QLatin1Char('x'));
    // 24 kHz is one of the rates libopus takes as is, so the header keeps it.
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=24000:duration=1"),
                                     {QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("-c:a"),
                                      QStringLiteral("libopus"), QStringLiteral("-metadata"),
                                      QStringLiteral("title=Interview 7"), QStringLiteral("-metadata"),
                                      QStringLiteral("comment=") + comment, QStringLiteral("-metadata"),
                                      QStringLiteral("DATE=2021-03-04T10:20:30"), QStringLiteral("-f"),
                                      QStringLiteral("ogg")},
                                     path));
    const QByteArray bytes = readFile(path);
    QVERIFY(!bytes.contains(comment.toLatin1()));

    const ScanResult result = scanOggMetadata(bytes, QStringLiteral("rec.ogg"));
    QVERIFY2(result.report.startsWith(
                 general(bytes.size())
                 + "\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: 2\nInput Sample Rate: 24000 Hz\n"
                 + kOpusHeading),
             qPrintable(result.report.left(1000)));
    // ffmpeg adds an ENCODER entry naming its own version, and writes the
    // comment as DESCRIPTION.
    const QStringList lines = result.report.split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("TITLE : Interview 7")));
    QVERIFY(lines.contains(QStringLiteral("DESCRIPTION : ") + comment));
    QVERIFY(lines.contains(QStringLiteral("DATE : 2021-03-04T10:20:30")));
    QVERIFY(result.report.endsWith(parsedLine(QStringLiteral("Thu Mar 4 10:20:30 2021"))));
    QCOMPARE(result.startTimeOfDayMs, 37230000LL);
}

QTEST_GUILESS_MAIN(TestOggScanner)
#include "tst_oggscanner.moc"
