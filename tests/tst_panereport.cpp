#include "ui/panereport.h"

#include <QtTest>

#include <climits>

class TestPaneReport : public QObject
{
    Q_OBJECT

private slots:
    void describesShares_data();
    void describesShares();
};

void TestPaneReport::describesShares_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected");

    const QStringList bottom = {QStringLiteral("Transcription Grid"), QStringLiteral("Info Panel")};
    QTest::newRow("quarter and three quarters")
        << QList<int>{100, 300} << bottom << QStringLiteral("Transcription Grid: 25.0% | Info Panel: 75.0%");
    QTest::newRow("all sizes zero gives zero shares, no division by zero")
        << QList<int>{0, 0} << bottom << QStringLiteral("Transcription Grid: 0.0% | Info Panel: 0.0%");
    QTest::newRow("more panes than names are numbered from one")
        << QList<int>{1, 1, 2} << bottom
        << QStringLiteral("Transcription Grid: 25.0% | Info Panel: 25.0% | Pane 3: 50.0%");
    QTest::newRow("one decimal, rounded")
        << QList<int>{1, 2} << QStringList{QStringLiteral("A"), QStringLiteral("B")}
        << QStringLiteral("A: 33.3% | B: 66.7%");
    QTest::newRow("a collapsed pane")
        << QList<int>{0, 500} << QStringList{QStringLiteral("A"), QStringLiteral("B")}
        << QStringLiteral("A: 0.0% | B: 100.0%");
    QTest::newRow("sizes whose sum overflows an int")
        << QList<int>{INT_MAX, INT_MAX} << QStringList{QStringLiteral("A"), QStringLiteral("B")}
        << QStringLiteral("A: 50.0% | B: 50.0%");
    QTest::newRow("no panes") << QList<int>{} << bottom << QString();
}

void TestPaneReport::describesShares()
{
    QFETCH(QList<int>, sizes);
    QFETCH(QStringList, names);
    QFETCH(QString, expected);
    QCOMPARE(describeSizes(sizes, names), expected);
}

QTEST_GUILESS_MAIN(TestPaneReport)
#include "tst_panereport.moc"
