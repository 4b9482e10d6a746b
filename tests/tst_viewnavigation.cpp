#include "ui/viewnavigation.h"

#include <QtTest>

class TestViewNavigation : public QObject
{
    Q_OBJECT

private slots:
    void zoomsAboutTheCentre_data();
    void zoomsAboutTheCentre();
    void zoomsToTheSelection_data();
    void zoomsToTheSelection();
    void scrollBarCoversTheRecording_data();
    void scrollBarCoversTheRecording();
};

void TestViewNavigation::zoomsAboutTheCentre_data()
{
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("offset");
    QTest::addColumn<double>("factor");
    QTest::addColumn<double>("newZoom");
    QTest::addColumn<int>("newOffset");
    QTest::newRow("+ keeps the middle at 4000 ms") << 0.1 << 0 << 1.5 << 0.15 << 1333;
    QTest::newRow("- would put the left edge before 0") << 0.1 << 0 << 0.75 << 0.075 << 0;
    QTest::newRow("- further in the recording") << 0.1 << 10000 << 0.75 << 0.075 << 8666;
    QTest::newRow("+ stops at 500") << 400.0 << 0 << 1.5 << 500.0 << 0;
    QTest::newRow("- stops at 0.00001") << 0.00001 << 0 << 0.75 << 0.00001 << 0;
}

void TestViewNavigation::zoomsAboutTheCentre()
{
    QFETCH(double, zoom);
    QFETCH(int, offset);
    QFETCH(double, factor);
    QFETCH(double, newZoom);
    QFETCH(int, newOffset);
    const View view = zoomAboutCentre({zoom, offset}, 800, factor);
    QCOMPARE(view.zoom, newZoom);
    QCOMPARE(view.offset, newOffset);
}

void TestViewNavigation::zoomsToTheSelection_data()
{
    QTest::addColumn<qlonglong>("start");
    QTest::addColumn<qlonglong>("end");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("zoom");
    QTest::newRow("5 ms counts as 10 ms") << qlonglong(3000) << qlonglong(3005) << 800 << 80.0;
    QTest::newRow("two seconds") << qlonglong(1000) << qlonglong(3000) << 800 << 0.4;
    QTest::newRow("no width counts as 1000 pixels") << qlonglong(0) << qlonglong(4000) << 0 << 0.25;
    QTest::newRow("one pixel per millisecond is fine") << qlonglong(0) << qlonglong(800) << 800 << 1.0;
}

void TestViewNavigation::zoomsToTheSelection()
{
    QFETCH(qlonglong, start);
    QFETCH(qlonglong, end);
    QFETCH(int, width);
    QFETCH(double, zoom);
    const View view = zoomToSelection(start, end, width);
    QCOMPARE(view.zoom, zoom);
    QCOMPARE(qlonglong(view.offset), start);
}

void TestViewNavigation::scrollBarCoversTheRecording_data()
{
    QTest::addColumn<qlonglong>("duration");
    QTest::addColumn<double>("zoom");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("step");
    QTest::newRow("8 s in view of 60 s") << qlonglong(60000) << 0.1 << 52000 << 8000 << 800;
    QTest::newRow("all in view") << qlonglong(60000) << 800.0 / 60000 << 0 << 60000 << 6000;
    QTest::newRow("more than the recording in view") << qlonglong(1000) << 0.1 << 0 << 8000 << 800;
    QTest::newRow("a month-long recording stays in range")
        << qlonglong(31) * 24 * 3600 * 1000 << 1.0 << INT_MAX << 800 << 80;
}

void TestViewNavigation::scrollBarCoversTheRecording()
{
    QFETCH(qlonglong, duration);
    QFETCH(double, zoom);
    QFETCH(int, maximum);
    QFETCH(int, page);
    QFETCH(int, step);
    const ScrollRange range = scrollRangeFor(duration, zoom, 800);
    QCOMPARE(range.maximum, maximum);
    QCOMPARE(range.pageStep, page);
    QCOMPARE(range.singleStep, step);
}

QTEST_GUILESS_MAIN(TestViewNavigation)
#include "tst_viewnavigation.moc"
