// The window's plain logic: case fields packed in one comment, clock and time texts,
// zoom and scroll arithmetic.

#include "ui/metadatapane.h"
#include "ui/viewnavigation.h"
#include "widgets/timetext.h"

#include <QtTest>

#include <climits>
#include <limits>

using Meta = QMap<QString, QString>;

namespace {

QStringList commentList(const CommentFields &fields)
{
    return {fields.location, fields.operation, fields.oic, fields.translator};
}

} // namespace

class TestUiLogic : public QObject
{
    Q_OBJECT

private slots:
    void comment_data()
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

    void comment()
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

    void clock_data()
    {
        QTest::addColumn<qlonglong>("position");
        QTest::addColumn<bool>("realTime");
        QTest::addColumn<qlonglong>("start");
        QTest::addColumn<QString>("text");
        QTest::newRow("real time wraps past midnight") << 120000LL << true << 86340000LL << "00:01:00.000";
        QTest::newRow("track time past a day does not wrap") << 90000000LL << false << 0LL << "25:00:00.000";
        QTest::newRow("one millisecond before the start") << -1LL << false << 0LL << "-00:00:00.001";
        QTest::newRow("largest time") << std::numeric_limits<qlonglong>::max() << false << 0LL
                                      << "2562047788015:12:55.807";
        QTest::newRow("smallest time") << std::numeric_limits<qlonglong>::min() << false << 0LL
                                       << "-2562047788015:12:55.808";
        QTest::newRow("real time from the largest start and position")
            << std::numeric_limits<qlonglong>::max() << true << std::numeric_limits<qlonglong>::max() << "14:25:51.614";
    }

    void clock()
    {
        QFETCH(qlonglong, position);
        QFETCH(bool, realTime);
        QFETCH(qlonglong, start);
        QTEST(clockText(position, realTime, start), "text");
    }

    void zoomsAboutTheCentre_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("offset");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("newZoom");
        QTest::addColumn<int>("newOffset");
        QTest::newRow("+ keeps the middle at 4000 ms") << 0.1 << 0 << 1.5 << 0.15 << 1333;
        QTest::newRow("- would put the left edge before 0") << 0.1 << 0 << 0.75 << 0.075 << 0;
        QTest::newRow("+ stops at 500") << 400.0 << 0 << 1.5 << 500.0 << 0;
        QTest::newRow("- stops at 0.00001") << 0.00001 << 0 << 0.75 << 0.00001 << 0;
    }

    void zoomsAboutTheCentre()
    {
        QFETCH(double, zoom);
        QFETCH(int, offset);
        QFETCH(double, factor);
        const View view = zoomAboutCentre({zoom, offset}, 800, factor);
        QTEST(view.zoom, "newZoom");
        QTEST(view.offset, "newOffset");
    }

    void zoomsToTheSelection_data()
    {
        QTest::addColumn<qlonglong>("start");
        QTest::addColumn<qlonglong>("end");
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("zoom");
        QTest::newRow("5 ms counts as 10 ms") << qlonglong(3000) << qlonglong(3005) << 800 << 80.0;
        QTest::newRow("no width counts as 1000 pixels") << qlonglong(0) << qlonglong(4000) << 0 << 0.25;
    }

    void zoomsToTheSelection()
    {
        QFETCH(qlonglong, start);
        QFETCH(qlonglong, end);
        QFETCH(int, width);
        const View view = zoomToSelection(start, end, width);
        QTEST(view.zoom, "zoom");
        QCOMPARE(qlonglong(view.offset), start);
    }

    void scrollBarCoversTheRecording_data()
    {
        QTest::addColumn<qlonglong>("duration");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("step");
        QTest::newRow("more than the recording in view") << qlonglong(1000) << 0.1 << 0 << 8000 << 800;
        QTest::newRow("a month-long recording stays in range")
            << qlonglong(31) * 24 * 3600 * 1000 << 1.0 << INT_MAX << 800 << 80;
    }

    void scrollBarCoversTheRecording()
    {
        QFETCH(qlonglong, duration);
        QFETCH(double, zoom);
        const ScrollRange range = scrollRangeFor(duration, zoom, 800);
        QTEST(range.maximum, "maximum");
        QTEST(range.pageStep, "page");
        QTEST(range.singleStep, "step");
    }

    void readsGoToTimes_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qlonglong>("start"); // of the recording's day; -1: track time
        QTest::addColumn<qlonglong>("position"); // -1: refused
        QTest::newRow("the clock's own text") << "01:02:03.004" << -1LL << 3723004LL;
        QTest::newRow("minutes and seconds") << "1:30" << -1LL << 90000LL;
        QTest::newRow("seconds with hundredths") << " 90.25 " << -1LL << 90250LL;
        QTest::newRow("a time of day after the start") << "10:16:00.000" << 36930000LL << 30000LL;
        QTest::newRow("past midnight in a late recording") << "00:01:00" << 86340000LL << 120000LL;
        for (const char *bad : {"", "-5", "1:2:3:4", "abc", "1:75", "90.1234", "99999999999999999999"})
            QTest::newRow(qPrintable(QStringLiteral("refused: '%1'").arg(QLatin1String(bad)))) << bad << -1LL << -1LL;
    }

    void readsGoToTimes()
    {
        QFETCH(QString, typed);
        QFETCH(qlonglong, start);
        QFETCH(qlonglong, position);
        const std::optional<qlonglong> read = parseGoToTime(typed);
        QCOMPARE(read.has_value(), position >= 0);
        if (read)
            QCOMPARE(start < 0 ? *read : positionAtTimeOfDay(*read, start), position);
    }
};

QTEST_GUILESS_MAIN(TestUiLogic)
#include "tst_uilogic.moc"
