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

QByteArray lacingFor(qsizetype size) { return QByteArray(size / 255, '\xff') + char(size % 255); }

QByteArray page(const QByteArray &lacing, const QByteArray &body, quint8 flags = 0, quint32 serial = 1)
{
    // Version, flags, granule position, serial, sequence, checksum (never checked).
    return "OggS" + QByteArray(1, '\0') + char(flags) + QByteArray(8, '\0') + le32(serial) + le32(0) + le32(0)
        + char(lacing.size()) + lacing + body;
}

// A page holding whole packets.
QByteArray packetPage(const QByteArrayList &packets, quint8 flags = 0, quint32 serial = 1)
{
    QByteArray lacing;
    for (const QByteArray &packet : packets)
        lacing += lacingFor(packet.size());
    return page(lacing, packets.join(), flags, serial);
}

// One packet over as many pages as it takes with `segments` lacing values a page.
QByteArrayList spreadPages(const QByteArray &packet, int segments)
{
    QByteArrayList pages;
    const qsizetype perPage = 255 * segments;
    qsizetype at = 0;
    for (; packet.size() - at >= perPage; at += perPage)
        pages << page(QByteArray(segments, '\xff'), packet.mid(at, perPage), at ? kContinued : 0);
    pages << page(lacingFor(packet.size() - at), packet.mid(at), at ? kContinued : 0);
    return pages;
}

QByteArray vorbisId(quint8 channels, quint32 rate, qint32 nominalBitRate)
{
    return QByteArray("\x01vorbis") + le32(0) + char(channels) + le32(rate) + le32(0) + le32(quint32(nominalBitRate))
        + le32(0) + char('\xb8') + char(1);
}

QByteArray commentList(const Entries &entries, quint32 count)
{
    QByteArray out = le32(11) + "Test vendor" + le32(count);
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

QByteArray opusTags(const Entries &entries) { return "OpusTags" + commentList(entries, quint32(entries.size())); }

const QByteArray kSetup = "\x05vorbis" + QByteArray(40, '\x2a');

QByteArray idPage(quint32 serial = 1) { return packetPage({vorbisId(2, 44100, 128000)}, kFirstPage, serial); }

QString general(qint64 size)
{
    return QStringLiteral("=== General ===\nFilename: rec.ogg\nSize: %1 bytes\nContainer: Ogg\n").arg(size);
}

QString vorbisTrack(int channels, qint64 rate, const QString &bitRate = QStringLiteral("128 kb/s"))
{
    return QStringLiteral("\n=== Audio Track (Vorbis) ===\nFormat: Vorbis\nChannels: %1\nSample Rate: %2 Hz\n")
               .arg(channels)
               .arg(rate)
        + (bitRate.isEmpty() ? QString() : QStringLiteral("Bit Rate (Nominal): ") + bitRate + QLatin1Char('\n'));
}

const QString kTrack = vorbisTrack(2, 44100);
const QString kVorbisHeading = QStringLiteral("\n=== Metadata (Vorbis Comments) ===\n");
const QString kOpusHeading = QStringLiteral("\n=== Metadata (Opus Tags) ===\n");
const QString kOpusTrack = QStringLiteral("\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: ");

QString parsedLine(const QString &when = QStringLiteral("Thu Mar 4 10:20:30 2021"))
{
    return QStringLiteral("\n[System] Parsed Start Time: ") + when + QLatin1Char('\n');
}

ScanResult scan(const QByteArray &file) { return scanOggMetadata(file, QStringLiteral("rec.ogg")); }

QStringList words(const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); }

} // namespace

class TestOggScanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void comments_data();
    void comments();
    void dates_data();
    void dates();
    void pageWalk_data();
    void pageWalk();
    void oggencLongComments();
};

void TestOggScanner::initTestCase()
{
    // A zone with daylight saving, so the local clock skips an hour in March.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestOggScanner::comments_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("lines");

    QTest::newRow("in file order, keys upper-cased, later equals signs kept, no equals skipped")
        << vorbisComments({"b=2", "no equals", "", "note=a=b", "b=3"}) << "B : 2\nNOTE : a=b\nB : 3\n";
    QTest::newRow("empty key and value") << vorbisComments({"="}) << " : \n";
    QTest::newRow("UTF-8 value") << vorbisComments({"title=Gr\xc3\xbc\xc3\x9f" "e"})
                                 << QStringLiteral("TITLE : Gr\u00fc\u00dfe\n");
    QTest::newRow("zero comments") << vorbisComments({}) << "";
    QTest::newRow("count beyond the entries present")
        << QByteArray("\x03vorbis" + commentList({"a=1", "b=2"}, 5)) << "A : 1\nB : 2\n";
    QTest::newRow("entry longer than the packet ends the list")
        << QByteArray("\x03vorbis" + commentList({"a=1"}, 3) + le32(1000) + "b=2") << "A : 1\n";
    QTest::newRow("length field cut by the packet end")
        << QByteArray("\x03vorbis" + commentList({"a=1"}, 2) + QByteArray("\x05\x00", 2)) << "A : 1\n";
    QTest::newRow("vendor length past 2 GiB") << QByteArray("\x03vorbis" + le32(0xFFFFFFF0) + "abcdefgh") << "";
}

// The setup header shares the page, so an entry overrunning the packet would read into it.
void TestOggScanner::comments()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, lines);
    const QByteArray file = idPage() + packetPage({packet, kSetup});
    QCOMPARE(scan(file).report, general(file.size()) + kTrack + kVorbisHeading + lines);
}

void TestOggScanner::dates_data()
{
    QTest::addColumn<Entries>("entries");
    QTest::addColumn<StartTime>("start");
    QTest::addColumn<qlonglong>("after");
    QTest::addColumn<QString>("parsed"); // the "[System]" date text, empty when none

    const QString march4 = QStringLiteral("Thu Mar 4 10:20:30 2021");
    const Entries unparsable{"DATE=2021-03-04T10:20:30", "date=last spring"};
    QTest::newRow("lower-case key, date and time with T") << Entries{"date=2021-03-04T10:20:30"} << StartTime::Set
                                                          << 37230000LL << march4;
    QTest::newRow("slashes and a space") << Entries{"DATE=2021/03/04 10:20:30"} << StartTime::Set << 37230000LL
                                         << march4;
    QTest::newRow("RECORDED DATE") << Entries{"Recorded Date=2021-03-04 10:20:30"} << StartTime::Set << 37230000LL
                                   << march4;
    QTest::newRow("DATE then CREATION_TIME takes the last")
        << Entries{"DATE=2021-03-04T10:20:30", "creation_time=2022-12-31T23:59:59"} << StartTime::Set
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
    QTest::newRow("later unparsable date keeps") << unparsable << StartTime::Keep << kBefore << QString();
    QTest::newRow("empty date clears") << Entries{"DATE="} << StartTime::Clear << 0LL << QString();
    QTest::newRow("no date clears") << Entries{"ARTIST=2021-03-04T10:20:30", "DATES=2021-03-04T10:20:30"}
                                    << StartTime::Clear << 0LL << QString();
}

void TestOggScanner::dates()
{
    QFETCH(Entries, entries);
    QFETCH(qlonglong, after);
    QFETCH(QString, parsed);
    const ScanResult result = scan(idPage() + packetPage({vorbisComments(entries), kSetup}));
    QTEST(result.start, "start");
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

    const Entries firstEntries{"artist=First", "DATE=2021-03-04T10:20:30"};
    const QByteArray comments = packetPage({vorbisComments(firstEntries), kSetup});
    const QString firstComments = kVorbisHeading + QStringLiteral("ARTIST : First\nDATE : 2021-03-04T10:20:30\n");
    const QString both = kTrack + firstComments + parsedLine();
    const QByteArray audio = packetPage({QByteArray(300, '\x10')});

    const auto idOnly = [](quint8 channels, quint32 rate, qint32 bitRate) {
        return packetPage({vorbisId(channels, rate, bitRate)}, kFirstPage);
    };
    QTest::newRow("160500 bit/s truncates") << idOnly(2, 44100, 160500) << vorbisTrack(2, 44100, "160 kb/s")
                                            << StartTime::Clear;
    QTest::newRow("no nominal rate") << idOnly(1, 8000, 0) << vorbisTrack(1, 8000, {}) << StartTime::Clear;
    QTest::newRow("nominal rate -1") << idOnly(2, 48000, -1) << vorbisTrack(2, 48000, {}) << StartTime::Clear;
    QTest::newRow("sample rate read unsigned") << idOnly(255, 4294967295u, 0) << vorbisTrack(255, 4294967295LL, {})
                                               << StartTime::Clear;
    QTest::newRow("garbage before and between pages")
        << "ID3 junk" + idPage() + QByteArray(100, '\0') + "Ogg" + comments + "zz" << both << StartTime::Set;
    QTest::newRow("empty page first") << page({}, {}) + idPage() + comments << both << StartTime::Set;
    QTest::newRow("body past the end") << idPage() + comments.chopped(1) << kTrack << StartTime::Clear;
    QTest::newRow("chained streams report the first")
        << idPage(7) + packetPage({vorbisComments(firstEntries), kSetup}, 0, 7) + audio
               + packetPage({vorbisId(1, 8000, 64000)}, kFirstPage, 8)
               + packetPage({vorbisComments({"artist=Second", "DATE=2022-01-01T01:01:01"})}, 0, 8)
        << both << StartTime::Set;
    QTest::newRow("identification too short for its fields")
        << packetPage({vorbisId(6, 96000, 0).left(23)}, kFirstPage) + idPage() << kTrack << StartTime::Clear;
    QTest::newRow("comments before the identification")
        << comments + idPage() << firstComments + kTrack + parsedLine() << StartTime::Set;
    QTest::newRow("setup and audio packets ignored")
        << packetPage({kSetup}) + packetPage({"\x02vorbis-not-a-header"}) + audio << QString() << StartTime::Clear;
    QTest::newRow("only a page's first packet is examined")
        << packetPage({QByteArray(40, 'a'), vorbisId(2, 44100, 128000)}) << QString() << StartTime::Clear;

    // Comments over several pages: the long entry crosses every page boundary, the date follows it.
    const QByteArray longValue(600, 'c');
    const QByteArray packet = vorbisComments({"artist=Someone", "comment=" + longValue, "DATE=2021-03-04T10:20:30"});
    const QString cut = kTrack + kVorbisHeading + QStringLiteral("ARTIST : Someone\n");
    const QString whole = cut + QStringLiteral("COMMENT : ") + QString::fromLatin1(longValue)
        + QStringLiteral("\nDATE : 2021-03-04T10:20:30\n") + parsedLine();
    const QByteArray setup = packetPage({kSetup}, kContinued);
    const QByteArray otherStream = packetPage({QByteArray(100, 'o')}, 0, 9);
    const QByteArrayList three = spreadPages(packet, 1);
    QVERIFY(three.size() == 3);
    QTest::newRow("another stream's pages in between the comment pages")
        << idPage() + three[0] + otherStream + three[1] + otherStream + three[2] << whole << StartTime::Set;
    QTest::newRow("garbage between the comment pages")
        << idPage() + three[0] + "xx" + three[1] + "yyyy" + three[2] << whole << StartTime::Set;
    // A packet of whole pages ends with an empty segment on the next page.
    QByteArray exact = packet;
    exact.insert(exact.size() - 1, QByteArray(3 * 255 - exact.size(), '\0'));
    const QByteArrayList exactPages = spreadPages(exact, 1);
    QVERIFY(exactPages.size() == 4 && exactPages[3].size() == 28);
    QTest::newRow("comments end at a page end") << idPage() + exactPages.join() + setup << whole << StartTime::Set;
    QByteArray unflagged = three[1];
    unflagged[5] = '\0';
    QTest::newRow("next page not marked as a continuation") << idPage() + three[0] + unflagged + three[2] << cut
                                                            << StartTime::Clear;
    QTest::newRow("file ends inside the comments") << idPage() + three[0] + three[1] << cut << StartTime::Clear;
    QTest::newRow("continuation page cut short") << idPage() + three[0] + three[1] + three[2].chopped(1) << cut
                                                 << StartTime::Clear;

    QTest::newRow("Opus stereo from 44.1 kHz")
        << packetPage({opusHead(2, 44100)}, kFirstPage)
               + packetPage({opusTags({"title=Interview 7", "DATE=2021-03-04T10:20:30"})})
        << kOpusTrack + "2\nInput Sample Rate: 44100 Hz\n" + kOpusHeading
               + "TITLE : Interview 7\nDATE : 2021-03-04T10:20:30\n" + parsedLine()
        << StartTime::Set;
    QTest::newRow("Opus input rate not given") << packetPage({opusHead(1, 0)}, kFirstPage) + packetPage({opusTags({})})
                                               << kOpusTrack + "1\n" + kOpusHeading << StartTime::Clear;
    QTest::newRow("Opus head too short for its fields")
        << packetPage({opusHead(2, 48000).left(18)}, kFirstPage) + packetPage({opusTags({"a=1"})})
        << kOpusHeading + "A : 1\n" << StartTime::Clear;
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
    if (start == StartTime::Set)
        QCOMPARE(result.startTimeOfDayMs, 37230000LL);
}

// Two comments longer than a page body: the comment header spans three pages, the date on the last.
void TestOggScanner::oggencLongComments()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("in.wav"));
    const QString ogg = dir.filePath(QStringLiteral("rec.ogg"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1"),
                                     words("-ac 2"), wav));
    const QString comment(70000, QLatin1Char('y'));
    const QString notes(70000, QLatin1Char('z'));
    QVERIFY(!fixtures::run(QStringLiteral("oggenc"),
                           words("-Q -b 128 -c") << QStringLiteral("COMMENT=") + comment << QStringLiteral("-c")
                               << QStringLiteral("notes=") + notes
                               << words("-c artist=Someone -c DATE=2021-03-04T10:20:30 -o") << ogg << wav)
                 .isNull());
    const QByteArray bytes = fixtures::readFile(ogg);
    QVERIFY(!bytes.contains(notes.toLatin1())); // really split over pages
    const ScanResult result = scan(bytes);
    QCOMPARE(result.report, general(bytes.size()) + kTrack + kVorbisHeading + "COMMENT : " + comment + "\nNOTES : "
                                + notes + "\nARTIST : Someone\nDATE : 2021-03-04T10:20:30\n" + parsedLine());
    QCOMPARE(result.startTimeOfDayMs, 37230000LL);
}

QTEST_GUILESS_MAIN(TestOggScanner)
#include "tst_oggscanner.moc"
