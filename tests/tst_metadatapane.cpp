#include "ui/metadatapane.h"

#include <QtTest>

using Meta = QMap<QString, QString>;

namespace {

QStringList commentList(const CommentFields &fields)
{
    return {fields.location, fields.operation, fields.oic, fields.translator};
}

} // namespace

class TestMetadataPane : public QObject
{
    Q_OBJECT

private slots:
    void display_data();
    void display();
    void comment_data();
    void comment();
    void clock_data();
    void clock();
};

void TestMetadataPane::display_data()
{
    QTest::addColumn<Meta>("meta");
    QTest::addColumn<qlonglong>("start");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("location"); // null: the comment fields keep their text

    const QStringList both{"Track Timing", "Real Time"};
    QTest::newRow("broadcast wave started 10:15:30")
        << Meta{{"BWF_StartTime", "36930000"}} << 36930000LL << QStringList{"BWF_StartTime: 36930000"} << both
        << "" << QString();
    QTest::newRow("plain WAV, or a start at midnight, which counts as none")
        << Meta() << 0LL << QStringList() << QStringList{"Track Timing"} << "" << QString();
    QTest::newRow("saved case details, in key order")
        << Meta{{"Title", "R/1"}, {"Comment", "Loc: Leeds |"}, {"Engineer", "A. Typist"}} << 1LL
        << QStringList{"Comment: Loc: Leeds |", "Engineer: A. Typist", "Title: R/1"} << both << "R/1" << "Leeds";
}

void TestMetadataPane::display()
{
    QFETCH(Meta, meta);
    QFETCH(qlonglong, start);
    QFETCH(QStringList, sources);
    QFETCH(QString, location);
    const MetadataDisplay shown = metadataDisplay(meta, start);
    QTEST(shown.paneLines, "lines");
    QCOMPARE(shown.timeSources, sources);
    QCOMPARE(shown.timeSourceIndex, sources.size() - 1);
    QTEST(shown.reference.value_or(QString()), "reference");
    QCOMPARE(shown.reference.has_value(), meta.contains("Title"));
    QCOMPARE(shown.transcriber.value_or(QString()), meta.value("Engineer"));
    QCOMPARE(shown.commentFields.has_value(), !location.isNull());
    if (shown.commentFields)
        QCOMPARE(commentList(*shown.commentFields), (QStringList{location, "", "", ""}));
}

void TestMetadataPane::comment_data()
{
    QTest::addColumn<QStringList>("fields"); // location, operation, OIC, translator
    QTest::addColumn<QString>("packed");     // null: not what a save writes, only read
    QTest::addColumn<QString>("read");
    QTest::newRow("location and operation keep the trailing separator")
        << QStringList{"Leeds", "Kite", "", ""} << "Loc: Leeds | Op: Kite | " << "Loc: Leeds | Op: Kite | ";
    QTest::newRow("all four") << QStringList{"L", "O", "C", "T"} << "Loc: L | Op: O | OIC: C | Trans: T"
                              << "Loc:L|Op:O|OIC:C|Trans:T";
    QTest::newRow("translator alone") << QStringList{"", "", "", "T"} << "Trans: T" << "Trans: A | Trans:  T ";
    QTest::newRow("lower-case prefix is ignored") << QStringList{"", "Kite", "", ""} << QString()
                                                  << "loc: Leeds | Op: Kite | Note: x";
}

void TestMetadataPane::comment()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, packed);
    QFETCH(QString, read);
    QCOMPARE(commentList(unpackCaseComment(read)), fields);
    if (packed.isNull())
        return;
    const CaseDetails details{"R", fields[0], fields[1], fields[2], "", fields[3]};
    QCOMPARE(packCaseComment(details), packed);
    QCOMPARE(commentList(unpackCaseComment(packed)), fields);
    QCOMPARE(caseDetailsTags(details), (Meta{{"Title", "R"}, {"Engineer", ""}, {"Comment", packed}}));
    QCOMPARE(caseDetailsTags(CaseDetails()), (Meta{{"Title", ""}, {"Engineer", ""}}));
}

void TestMetadataPane::clock_data()
{
    QTest::addColumn<qlonglong>("position");
    QTest::addColumn<bool>("realTime");
    QTest::addColumn<qlonglong>("start");
    QTest::addColumn<QString>("text");
    QTest::newRow("track time ignores the start") << 90000LL << false << 36930000LL << "00:01:30.000";
    QTest::newRow("real time after a 10:15:30 start") << 90000LL << true << 36930000LL << "10:17:00.000";
    QTest::newRow("real time wraps past midnight") << 120000LL << true << 86340000LL << "00:01:00.000";
    QTest::newRow("track time past a day does not wrap") << 90000000LL << false << 0LL << "25:00:00.000";
}

void TestMetadataPane::clock()
{
    QFETCH(qlonglong, position);
    QFETCH(bool, realTime);
    QFETCH(qlonglong, start);
    QTEST(clockText(position, realTime, start), "text");
}

QTEST_GUILESS_MAIN(TestMetadataPane)
#include "tst_metadatapane.moc"
