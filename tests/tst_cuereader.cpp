#include <QTest>

#include "audio/cuereader.h"
#include "audiofixtures.h"

using fixtures::chunk;
using fixtures::le32;

namespace {

// A "cue " chunk of {id, sample offset} points.
QByteArray cues(const QList<QPair<quint32, quint32>> &points)
{
    QByteArray data = le32(quint32(points.size()));
    for (const auto &[id, sample] : points)
        data += le32(id) + le32(sample) + "data" + le32(0) + le32(0) + le32(sample);
    return chunk("cue ", data);
}

// LIST/adtl entries: "labl"/"note" text, or an "ltxt" region length.
QByteArray text(const QByteArray &id, quint32 cue, const QByteArray &value)
{
    return chunk(id, le32(cue) + value + '\0');
}
QByteArray ltxt(quint32 cue, quint32 length)
{
    return chunk("ltxt", le32(cue) + le32(length) + "rgn " + QByteArray(8, '\0'));
}
QByteArray adtl(const QByteArray &entries)
{
    return chunk("LIST", "adtl" + entries);
}

QByteArray wav(quint32 rate, const QByteArray &chunks)
{
    return fixtures::riff(fixtures::fmtChunk(1, 1, rate, 16) + chunk("data", QByteArray(64, '\0')) + chunks);
}

} // namespace

class TestCueReader : public QObject
{
    Q_OBJECT

private slots:
    void markersFromCues_data();
    void markersFromCues();
};

void TestCueReader::markersFromCues_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QList<Marker>>("markers");

    const QByteArray two = cues({{1, 48000}, {2, 96000}});
    QTest::newRow("labels, notes and a region")
        << wav(48000, two + adtl(text("labl", 1, "Intro") + text("note", 1, "door") + ltxt(1, 24000)
                                 + text("labl", 2, "Q&A")))
        << QList<Marker>{{1000, 1500, "Intro", "door", -1}, {2000, 2000, "Q&A", "", -1}};
    QTest::newRow("cue without a label, texts before the samples")
        << fixtures::riff(fixtures::fmtChunk(1, 2, 48000, 16) + two + adtl(text("labl", 2, "Second"))
                          + chunk("data", QByteArray(64, '\0')))
        << QList<Marker>{{1000, 1000, "", "", -1}, {2000, 2000, "Second", "", -1}};
    QTest::newRow("time order, odd-sized entries padded")
        << wav(1000, cues({{7, 5000}, {3, 1000}}) + adtl(text("labl", 7, "Ab") + text("note", 7, "Zo\xC3\xAB")))
        << QList<Marker>{{1000, 1000, "", "", -1}, {5000, 5000, "Ab", QStringLiteral("Zoë"), -1}};
    QTest::newRow("44.1 kHz truncates to whole ms")
        << wav(44100, cues({{1, 44099}}) + adtl(ltxt(1, 4294967295u)))
        << QList<Marker>{{999, 97392548, "", "", -1}};
    QTest::newRow("count larger than the chunk")
        << wav(1000, chunk("cue ", le32(1000) + le32(1) + le32(0) + "data" + le32(0) + le32(0) + le32(2500)))
        << QList<Marker>{{2500, 2500, "", "", -1}};
    QTest::newRow("chunks cut short by the end of the file")
        << wav(1000, adtl(text("labl", 2, "Interview")) + cues({{1, 1000}, {2, 2000}, {3, 3000}})).chopped(10)
        << QList<Marker>{{1000, 1000, "", "", -1}, {2000, 2000, "Interview", "", -1}};
    QTest::newRow("label cut short") << wav(1000, cues({{1, 1000}}) + adtl(text("labl", 1, "Interview"))).chopped(5)
                                     << QList<Marker>{{1000, 1000, "Inter", "", -1}};
    QTest::newRow("no cue chunk") << wav(1000, adtl(text("labl", 1, "Orphan"))) << QList<Marker>{};
    QTest::newRow("no sample rate") << wav(0, cues({{1, 1000}})) << QList<Marker>{};
}

void TestCueReader::markersFromCues()
{
    QFETCH(QByteArray, file);
    QFETCH(QList<Marker>, markers);
    QCOMPARE(readCueMarkers(file), markers);
}

QTEST_GUILESS_MAIN(TestCueReader)
#include "tst_cuereader.moc"
