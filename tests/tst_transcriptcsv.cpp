#include <QTest>

#include <limits>

#include "widgets/transcriptcsv.h"

namespace {

const QByteArray Header = "Start_Time,End_Time,Label,Note,Channel\r\n";
const QByteArray OldHeader = "Start_Time,End_Time,Label,Note,Channel\n";

// "line:reason" per skipped record.
QStringList describe(const QList<TranscriptCsv::Skipped> &skipped)
{
    static const char *const kReasons[] = {"header", "blank", "short", "no start", "bad start", "bad end"};
    QStringList out;
    for (const TranscriptCsv::Skipped &s : skipped)
        out << QStringLiteral("%1:%2").arg(s.line).arg(kReasons[int(s.reason)]);
    return out;
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        out.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return out;
}

} // namespace

class TestTranscriptCsv : public QObject
{
    Q_OBJECT

private slots:
    void exportText_data();
    void exportText();
    void roundTripKeepsEverything_data();
    void roundTripKeepsEverything();
    void reading_data();
    void reading();
};

void TestTranscriptCsv::exportText_data()
{
    QTest::addColumn<QList<Marker>>("markers");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty grid") << QList<Marker>{} << Header;
    QTest::newRow("left channel row") << QList<Marker>{{65250, 69000, "Ch1", "Hi", 0}}
                                      << Header + "00:01:05.250,00:01:09.000,\"Ch1\",\"Hi\",0\r\n";
    QTest::newRow("quotes doubled, accents in UTF-8")
        << QList<Marker>{{3723004, 360000000, QStringLiteral("Zoë, J"), "said \"no\"\nthen", -1}}
        << Header + "01:02:03.004,100:00:00.000,\"Zo\xC3\xAB, J\",\"said \"\"no\"\"\nthen\",-1\r\n";
}

void TestTranscriptCsv::exportText()
{
    QFETCH(QList<Marker>, markers);
    QFETCH(QByteArray, expected);
    QCOMPARE(encodeTranscriptCsv(markers), expected);
}

void TestTranscriptCsv::roundTripKeepsEverything_data()
{
    QTest::addColumn<QList<Marker>>("markers");

    QTest::newRow("commas and quotes") << QList<Marker>{{1, 2, "Smith, J", "\"\"quoted\" \"\",\",", 0}};
    QTest::newRow("line breaks of every kind") << QList<Marker>{{5, 6, "a\nb", "line\r\nnext\rlast\n", -1}};
    QTest::newRow("emoji and accents")
        << QList<Marker>{{7, 8, QStringLiteral("Señora Ñandú 🎤"), QStringLiteral("naïve — 😀👍🏽"), 1}};
    QTest::newRow("texts that look like records")
        << QList<Marker>{{12, 13, "Start_Time", "00:00:01.000,00:00:02.000,\"a\",\"b\",0", 0}, {9, 9, "", " ", 1}};
    QTest::newRow("extreme times, grid order")
        << QList<Marker>{{std::numeric_limits<qlonglong>::max(), std::numeric_limits<qlonglong>::min(), "", "", 0},
                         {-1500, 360000000, "", "", 1}, {0, 0, "", "", -1}};
}

void TestTranscriptCsv::roundTripKeepsEverything()
{
    QFETCH(QList<Marker>, markers);
    const TranscriptCsv read = decodeTranscriptCsv(encodeTranscriptCsv(markers));
    QCOMPARE(read.markers, markers);
    QCOMPARE(describe(read.skipped), QStringList{"1:header"});
}

void TestTranscriptCsv::reading_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<Marker>>("markers");
    QTest::addColumn<QStringList>("skipped");

    // Files of the old exporter: LF line ends, label and note quoted, nothing escaped.
    QTest::newRow("old file with quotes inside the note")
        << OldHeader + "00:00:01.000,00:00:02.000,\"A\",\"said \"go\", \"now\"\",0\n"
        << QList<Marker>{{1000, 2000, "A", "said \"go\", \"now\"", 0}} << QStringList{"1:header"};
    QTest::newRow("old file with a quote before a line break")
        << OldHeader + "00:00:01.000,00:00:02.000,\"Smith, J\",\"said \"go\"\nthen left\",1\n"
           "00:00:03.000,00:00:04.000,\"B\",\"next\",-1\n"
        << QList<Marker>{{1000, 2000, "Smith, J", "said \"go\"\nthen left", 1}, {3000, 4000, "B", "next", -1}}
        << QStringList{"1:header"};
    QTest::newRow("broken row does not swallow the next")
        << QByteArray("00:00:01.000,00:00:02.000,\"x\" y,\"z\n00:00:03.000,00:00:04.000,\"B\",\"n\",1\n")
        << QList<Marker>{{3000, 4000, "B", "n", 1}} << QStringList{"1:short"};
    QTest::newRow("two exports joined, blank and short lines")
        << Header + "00:00:01.000,00:00:01.000,\"a\",\"b\",1\r\n\r\n" + Header + "only,three,pieces\n"
        << QList<Marker>{{1000, 1000, "a", "b", 1}} << QStringList{"1:header", "3:blank", "4:header", "5:bad start"};
    QTest::newRow("unreadable end skipped, unreadable channels, extra columns")
        << QByteArray("1:00:00.000,00:60:00.000,a,b,1\n00:00:01,-00:00:01.500,c,d, 1 ,\"y\"\n")
        << QList<Marker>{{1000, -1500, "c", "d", 1}} << QStringList{"1:bad end"};
    QTest::newRow("every time form")
        << QByteArray("1:02:03,1:02:03.4,a,b\n1:02:03.45,02:03.400,c,d\n123:59:59.9996,75:00.5,e,f\n")
        << QList<Marker>{{3723000, 3723400, "a", "b", -1}, {3723450, 123400, "c", "d", -1},
                         {446400000, 4500500, "e", "f", -1}}
        << QStringList{};
    QTest::newRow("times that cannot be read skip their record")
        << Header + "00:00:61.000,0:00:01.000,a,b\r\n1:02,00:00:01.000,c,d\r\n00:00:01.000,soon,e,f\r\n"
                    ",00:00:02.000,g,h\r\n00:00:05.000,,point,i\r\n"
        << QList<Marker>{{5000, 5000, "point", "i", -1}}
        << QStringList{"1:header", "2:bad start", "3:bad start", "4:bad end", "5:no start"};
    QTest::newRow("nothing readable") << QByteArray("1,2,alpha,beta\rabc,def,g,h\r") << QList<Marker>{}
                                      << QStringList{"1:bad start", "2:bad start"};
    QTest::newRow("line ends of a lone CR")
        << QByteArray("Start_Time,End_Time,Label,Note,Channel\r00:00:01.000,00:00:02.000,\"a\",\"b\",0\r\r"
                      "00:00:03.000,00:00:04.000,\"c\nd\",\"e\",1\rx,y,z,w\r")
        << QList<Marker>{{1000, 2000, "a", "b", 0}, {3000, 4000, "c\nd", "e", 1}}
        << QStringList{"1:header", "3:blank", "6:bad start"};
    QTest::newRow("columns by name, in another order")
        << QByteArray(" label ,NOTE,Channel,End Time,start_time\na,n,1,00:00:02.000,00:00:01.000\n")
        << QList<Marker>{{1000, 2000, "a", "n", 1}} << QStringList{"1:header"};
    QTest::newRow("labels only: rows at zero, a later header-like row kept")
        << QByteArray("Label,Note\r\nSpeaker A,intro\r\nNote\r\n,\r\n")
        << QList<Marker>{{0, 0, "Speaker A", "intro", -1}, {0, 0, "Note", "", -1}}
        << QStringList{"1:header", "4:blank"};
    QTest::newRow("UTF-16 little-endian")
        << utf16(QStringLiteral("Start_Time,End_Time,Label,Note,Channel\r\n00:00:01.000,00:00:02.000,Zoë,😀,0\r\n"),
                 false)
        << QList<Marker>{{1000, 2000, QStringLiteral("Zoë"), QStringLiteral("😀"), 0}} << QStringList{"1:header"};
    QTest::newRow("UTF-16 big-endian")
        << utf16(QStringLiteral("0:00:01,0:00:02,Zoë,😀,1\n"), true)
        << QList<Marker>{{1000, 2000, QStringLiteral("Zoë"), QStringLiteral("😀"), 1}} << QStringList{};
    QTest::newRow("byte-order mark and Windows code page")
        << "\xEF\xBB\xBF" + Header + "00:00:01.000,00:00:02.000,Jos\xE9,\x93" "caf\xE9\x94 \x80 5,0\n"
        << QList<Marker>{{1000, 2000, QStringLiteral("José"), QStringLiteral("“café” € 5"), 0}}
        << QStringList{"1:header"};
}

void TestTranscriptCsv::reading()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<Marker>, markers);
    QFETCH(QStringList, skipped);

    const TranscriptCsv read = decodeTranscriptCsv(file);
    QCOMPARE(read.markers, markers);
    QCOMPARE(describe(read.skipped), skipped);
}

QTEST_GUILESS_MAIN(TestTranscriptCsv)
#include "tst_transcriptcsv.moc"
