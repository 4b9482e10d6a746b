// Reports and start times of Ogg files built page by page.

#include "audio/oggscanner.h"
#include "audiofixtures.h"

#include <QTest>

#include <ctime>

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

QByteArray vorbisId(quint8 channels, quint32 rate)
{
    return QByteArray("\x01vorbis") + le32(0) + char(channels) + le32(rate) + le32(0) + le32(128000) + le32(0)
        + char('\xb8') + char(1);
}

QByteArray commentList(const Entries &entries, quint32 count)
{
    QByteArray out = le32(11) + "Test vendor" + le32(count);
    for (const QByteArray &entry : entries)
        out += le32(quint32(entry.size())) + entry;
    return out;
}

QByteArray vorbisComments(const Entries &e) { return "\x03vorbis" + commentList(e, quint32(e.size())) + char(1); }

QByteArray opusHead(quint8 channels, quint32 inputRate)
{
    return QByteArray("OpusHead\x01", 9) + char(channels) + le16(312) + le32(inputRate) + le16(0) + char(0);
}

const QByteArray kSetup = "\x05vorbis" + QByteArray(40, '\x2a');

QByteArray idPage(quint32 serial = 1) { return packetPage({vorbisId(2, 44100)}, kFirstPage, serial); }

const QString kGeneral = QStringLiteral("=== General ===\nFilename: rec.ogg\nSize: %1 bytes\nContainer: Ogg\n");

const QString kTrack = QStringLiteral("\n=== Audio Track (Vorbis) ===\nFormat: Vorbis\nChannels: 2\nSample Rate: 44100 Hz\n"
                                      "Bit Rate (Nominal): 128 kb/s\n");
const QString kVorbisHeading = QStringLiteral("\n=== Metadata (Vorbis Comments) ===\n");

QString dateLine(const QString &at = "Thu Mar 4 10:20:30 2021") { return "\n[System] Parsed Start Time: " + at + '\n'; }

ScanResult scan(const QByteArray &file) { return scanOggMetadata(file, QStringLiteral("rec.ogg")); }

} // namespace

class TestOggScanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A zone with daylight saving, so the local clock skips an hour in March.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    void dates_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<StartTime>("start");
        QTest::addColumn<qlonglong>("after");
        QTest::addColumn<QString>("parsed"); // the "[System]" date text, empty when none
        const QString march4 = QStringLiteral("Thu Mar 4 10:20:30 2021");
        QTest::newRow("lower-case key, date and time with T")
            << Entries{"date=2021-03-04T10:20:30"} << StartTime::Set << 37230000LL << march4;
        QTest::newRow("RECORDED DATE") << Entries{"Recorded Date=2021/03/04 10:20:30"} << StartTime::Set << 37230000LL
                                       << march4;
        QTest::newRow("DATE then CREATION_TIME at midnight takes the last")
            << Entries{"DATE=2021-03-04T10:20:30", "creation_time=2022-12-31T00:00:00"} << StartTime::Set << 0LL
            << "Sat Dec 31 00:00:00 2022";
        QTest::newRow("hour the local clock skips")
            << Entries{"DATE=2021-03-28T02:30:00"} << StartTime::Set << 9000000LL << "Sun Mar 28 02:30:00 2021";
        QTest::newRow("date without time keeps") << Entries{"DATE=2021-03-04"} << StartTime::Keep << kBefore
                                                 << QString();
        QTest::newRow("impossible date keeps") << Entries{"DATE=2021-02-30T10:20:30"} << StartTime::Keep << kBefore
                                               << QString();
        QTest::newRow("later unparsable date keeps")
            << Entries{"DATE=2021-03-04T10:20:30", "date=last spring"} << StartTime::Keep << kBefore << QString();
        QTest::newRow("no date clears") << Entries{"ARTIST=2021-03-04T10:20:30", "DATES=2021-03-04T10:20:30"}
                                        << StartTime::Clear << 0LL << QString();
    }

    void dates()
    {
        QFETCH(Entries, entries);
        QFETCH(QString, parsed);
        const ScanResult result = scan(idPage() + packetPage({vorbisComments(entries), kSetup}));
        QTEST(result.start, "start");
        QTEST(result.startTimeAfter(kBefore), "after");
        if (parsed.isEmpty())
            QVERIFY(!result.report.contains(QStringLiteral("[System]")));
        else
            QVERIFY2(result.report.endsWith(dateLine(parsed)), qPrintable(result.report));
    }

    void pageWalk_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("sections");
        QTest::addColumn<StartTime>("start");
        const Entries firstEntries{"artist=First", "DATE=2021-03-04T10:20:30"};
        const QByteArray comments = packetPage({vorbisComments(firstEntries), kSetup});
        const QString both = kTrack + kVorbisHeading + "ARTIST : First\nDATE : 2021-03-04T10:20:30\n" + dateLine();
        const auto commentsOnly = [](const QByteArray &packet) { return idPage() + packetPage({packet, kSetup}); };

        // The setup header shares the page: an entry overrunning its packet must not read into it.
        QTest::newRow("entry longer than the packet ends the list")
            << commentsOnly("\x03vorbis" + commentList({"a=1"}, 3) + le32(1000) + "b=2")
            << kTrack + kVorbisHeading + "A : 1\n" << StartTime::Clear;
        QTest::newRow("garbage before and between pages")
            << "ID3 junk" + idPage() + QByteArray(100, '\0') + "Ogg" + comments + "zz" << both << StartTime::Set;
        QTest::newRow("chained streams report the first")
            << idPage(7) + packetPage({vorbisComments(firstEntries), kSetup}, 0, 7)
                   + packetPage({QByteArray(300, '\x10')}, 0, 7) + packetPage({vorbisId(1, 8000)}, kFirstPage, 8)
                   + packetPage({vorbisComments({"artist=Second", "DATE=2022-01-01T01:01:01"})}, 0, 8)
            << both << StartTime::Set;

        // Comments over several pages: the long entry crosses every page boundary, the date follows it.
        const QByteArray longValue(600, 'c');
        const QByteArray packet = vorbisComments({"artist=Someone", "comment=" + longValue, "DATE=2021-03-04T10:20:30"});
        const QString cut = kTrack + kVorbisHeading + QStringLiteral("ARTIST : Someone\n");
        const QString whole = cut + QStringLiteral("COMMENT : ") + QString::fromLatin1(longValue)
            + QStringLiteral("\nDATE : 2021-03-04T10:20:30\n") + dateLine();
        const QByteArrayList three = spreadPages(packet, 1);
        QVERIFY(three.size() == 3);
        QTest::newRow("another stream's pages in between the comment pages")
            << idPage() + three[0] + packetPage({QByteArray(100, 'o')}, 0, 9) + three[1] + three[2] << whole
            << StartTime::Set;
        // A packet of whole pages ends with an empty segment on the next page.
        QByteArray exact = packet;
        exact.insert(exact.size() - 1, QByteArray(3 * 255 - exact.size(), '\0'));
        const QByteArrayList exactPages = spreadPages(exact, 1);
        QVERIFY(exactPages.size() == 4 && exactPages[3].size() == 28);
        QTest::newRow("comments end at a page end")
            << idPage() + exactPages.join() + packetPage({kSetup}, kContinued) << whole << StartTime::Set;
        QByteArray unflagged = three[1];
        unflagged[5] = '\0';
        QTest::newRow("next page not marked as a continuation") << idPage() + three[0] + unflagged + three[2] << cut
                                                                << StartTime::Clear;
        QTest::newRow("Opus stereo from 44.1 kHz")
            << packetPage({opusHead(2, 44100)}, kFirstPage)
                   + packetPage({"OpusTags" + commentList({"title=Interview 7", "DATE=2021-03-04T10:20:30"}, 2)})
            << "\n=== Audio Track (Opus) ===\nFormat: Opus\nChannels: 2\nInput Sample Rate: 44100 Hz\n"
                   "\n=== Metadata (Opus Tags) ===\nTITLE : Interview 7\nDATE : 2021-03-04T10:20:30\n" + dateLine()
            << StartTime::Set;
    }

    void pageWalk()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, sections);
        const ScanResult result = scan(file);
        QVERIFY(result.hasReport);
        QCOMPARE(result.report, kGeneral.arg(file.size()) + sections);
        QTEST(result.start, "start");
        if (result.start == StartTime::Set)
            QCOMPARE(result.startTimeOfDayMs, 37230000LL);
    }
};

QTEST_GUILESS_MAIN(TestOggScanner)
#include "tst_oggscanner.moc"
