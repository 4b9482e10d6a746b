#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include "filesizelimit.h"

#include <optional>

#include "widgets/timetext.h"
#include "widgets/transcriptiongrid.h"

namespace {

// The overlay's pen; the empty table itself paints nothing in this grey.
const QRgb OverlayGrey = qRgb(100, 100, 100);

// Pixels of the overlay's grey in the viewport's empty part below the rows
// (cell text is antialiased through the same grey), and their bounding box
// in viewport coordinates.
struct Ink
{
    int count = 0;
    QRect box;
};

Ink overlayInk(TranscriptionGrid &grid)
{
    const QImage image = grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QRect area = grid.viewport()->geometry();
    if (grid.rowCount() > 0) {
        const int rowsBottom = grid.visualRect(grid.model()->index(grid.rowCount() - 1, 0)).bottom();
        area.setTop(area.top() + rowsBottom + 1);
    }
    Ink ink;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != OverlayGrey)
                continue;
            ++ink.count;
            ink.box |= QRect(x - area.left(), y - area.top(), 1, 1);
        }
    }
    return ink;
}

// A double-click as the window system delivers it: press, release, then the
// second press arriving as a double-click event, and its release.
void doubleClickAt(TranscriptionGrid &grid, QPoint pos)
{
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(grid.viewport(), Qt::LeftButton, {}, pos);
}

void doubleClickCell(TranscriptionGrid &grid, int row, int column)
{
    doubleClickAt(grid, grid.visualRect(grid.model()->index(row, column)).center());
}

} // namespace

class TestTranscriptionGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowsShowAndReadBack_data();
    void rowsShowAndReadBack();
    void typedTimes_data();
    void typedTimes();
    void deleteAndUndo();
    void tabFromTheLastCellLeaves();
    void editedChannelReadsBack_data();
    void editedChannelReadsBack();
    void rowsKeepTheirOrder();
    void doubleClickJumpsThenPlays_data();
    void doubleClickJumpsThenPlays();
    void doubleClickOutsideRowsDoesNothing();
    void rowsWithoutCellsReadAsDefaults();
    void overlayShownOnlyWhileEmpty_data();
    void overlayShownOnlyWhileEmpty();
    void overlayCentredLineByLine();
    void csvFileRoundTrip();
    void failedExportKeepsOldFile_data();
    void failedExportKeepsOldFile();
    void unreadableImportKeepsRows_data();
    void unreadableImportKeepsRows();

private:
    TranscriptionGrid *m_grid = nullptr;
};

void TestTranscriptionGrid::init()
{
    m_grid = new TranscriptionGrid;
    m_grid->resize(640, 400);
    m_grid->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_grid));
}

void TestTranscriptionGrid::cleanup()
{
    delete m_grid;
    m_grid = nullptr;
}

void TestTranscriptionGrid::rowsShowAndReadBack_data()
{
    QTest::addColumn<Marker>("marker");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<int>("channelRead");

    QTest::newRow("left redaction")
        << Marker{1000, 2500, "Redaction", "Silenced", 0}
        << QStringList{"00:00:01.000", "00:00:02.500", "Redaction", "Silenced", "L"} << 0;
    QTest::newRow("right bookmark")
        << Marker{3723004, 3723004, "Ch2", "", 1}
        << QStringList{"01:02:03.004", "01:02:03.004", "Ch2", "", "R"} << 1;
    QTest::newRow("both channels")
        << Marker{0, 360000000, "Speaker A", "Long, long answer", -1}
        << QStringList{"00:00:00.000", "100:00:00.000", "Speaker A", "Long, long answer",
                       "Stereo"}
        << -1;
    QTest::newRow("unknown channel number")
        << Marker{10, 5, "", "end before start", 5}
        << QStringList{"00:00:00.010", "00:00:00.005", "", "end before start", "Stereo"} << -1;
}

void TestTranscriptionGrid::rowsShowAndReadBack()
{
    QFETCH(Marker, marker);
    QFETCH(QStringList, cells);
    QFETCH(int, channelRead);

    m_grid->addMarker(marker.start, marker.end, marker.label, marker.note, marker.channel);

    QCOMPARE(m_grid->rowCount(), 1);
    QStringList shown;
    for (int c = 0; c < m_grid->columnCount(); ++c)
        shown << m_grid->item(0, c)->text();
    QCOMPARE(shown, cells);

    Marker expected = marker;
    expected.channel = channelRead;
    QCOMPARE(m_grid->getMarkers(), QList<Marker>{expected});
}

void TestTranscriptionGrid::typedTimes_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("labels"); // top to bottom afterwards
    QTest::addColumn<QString>("shown");      // the cell's text afterwards
    const QStringList asAdded{"A", "B", "C"};
    QTest::newRow("a later start moves the row down") << 0 << 0 << "00:00:05.000" << QStringList{"B", "C", "A"}
                                                       << "00:00:05.000";
    QTest::newRow("an earlier start moves it up") << 2 << 0 << "0:00:00.5" << QStringList{"C", "A", "B"}
                                                  << "00:00:00.500";
    QTest::newRow("an end time moves nothing") << 0 << 1 << "01:00:00.000" << asAdded << "01:00:00.000";
    QTest::newRow("text that is no time is refused") << 1 << 0 << "soon" << asAdded << "00:00:02.000";
    QTest::newRow("a time past the hour digits is refused") << 1 << 1 << "00:61:00.000" << asAdded << "00:00:02.500";
}

void TestTranscriptionGrid::typedTimes()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QStringList, labels);
    QFETCH(QString, shown);
    m_grid->addMarker(1000, 1500, "A", QString(), -1);
    m_grid->addMarker(2000, 2500, "B", QString(), -1);
    m_grid->addMarker(3000, 3500, "C", QString(), -1);
    const QString label = m_grid->item(row, 2)->text();
    m_grid->item(row, 0)->setData(Qt::UserRole + 1, label); // what a caller keeps on a row goes with it
    doubleClickCell(*m_grid, row, column);
    auto *editor = qobject_cast<QLineEdit *>(m_grid->indexWidget(m_grid->model()->index(row, column)));
    QVERIFY(editor);
    editor->setText(typed);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!m_grid->indexWidget(m_grid->model()->index(row, column))); // committed through a queued call

    QStringList order;
    for (const Marker &m : m_grid->getMarkers())
        order << m.label;
    QCOMPARE(order, labels);
    const int now = int(order.indexOf(label));
    QCOMPARE(m_grid->item(now, column)->text(), shown);
    QCOMPARE(m_grid->item(now, 0)->data(Qt::UserRole + 1).toString(), label);
    const std::optional<qlonglong> ms = parseTimeText(shown);
    QCOMPARE(column == 0 ? m_grid->getMarkers().at(now).start : m_grid->getMarkers().at(now).end, *ms);
}

void TestTranscriptionGrid::deleteAndUndo()
{
    const QList<Marker> rows{{0, 1, "A", "", -1}, {2, 3, "B", "", 0}, {4, 5, "C", "", 1}, {6, 7, "D", "", -1}};
    m_grid->setMarkers(rows);
    QSignalSpy deleted(m_grid, &TranscriptionGrid::rowsDeleted);
    m_grid->setFocus();
    m_grid->selectRow(1);
    m_grid->selectionModel()->select(m_grid->model()->index(3, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QTest::keyClick(m_grid, Qt::Key_Delete);
    QCOMPARE(m_grid->getMarkers(), QList<Marker>({rows[0], rows[2]}));
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.first().first().value<QList<Marker>>(), QList<Marker>({rows[1], rows[3]}));

    m_grid->selectRow(0);
    QTest::keyClick(m_grid, Qt::Key_Delete);
    QTest::keyClick(m_grid, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(m_grid, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(m_grid->getMarkers(), rows);
    QVERIFY(!m_grid->undoDelete()); // nothing more to undo
}

void TestTranscriptionGrid::tabFromTheLastCellLeaves()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *grid = new TranscriptionGrid;
    auto *next = new QLineEdit;
    layout->addWidget(grid);
    layout->addWidget(next);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    grid->addMarker(0, 1, "A", "", -1);
    grid->addMarker(2, 3, "B", "", -1);
    grid->setFocus();
    grid->setCurrentCell(0, 3);
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(grid->currentColumn(), 4); // within a row Tab goes on
    QVERIFY(grid->hasFocus());
    QTest::keyClick(grid, Qt::Key_Tab);
    QVERIFY(next->hasFocus());
    QCOMPARE(grid->currentRow(), 0);
}

void TestTranscriptionGrid::editedChannelReadsBack_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("channelRead");

    QTest::newRow("lower-case l") << 0 << "l" << -1;
    QTest::newRow("stereo to R") << -1 << "R" << 1;
    QTest::newRow("right to L") << 1 << "L" << 0;
    QTest::newRow("cleared") << 1 << "" << -1;
}

void TestTranscriptionGrid::editedChannelReadsBack()
{
    QFETCH(int, channel);
    QFETCH(QString, typed);
    QFETCH(int, channelRead);

    m_grid->addMarker(500, 900, "Speaker", "Words", channel);
    doubleClickCell(*m_grid, 0, 4);
    auto *editor = qobject_cast<QLineEdit *>(m_grid->indexWidget(m_grid->model()->index(0, 4)));
    QVERIFY(editor);

    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClicks(editor, typed);
    QTest::keyClick(editor, Qt::Key_Return);

    // The delegate commits on Return through a queued call.
    QTRY_COMPARE(m_grid->item(0, 4)->text(), typed);
    const QList<Marker> markers = m_grid->getMarkers();
    QCOMPARE(markers.size(), 1);
    QCOMPARE(markers.at(0), (Marker{500, 900, "Speaker", "Words", channelRead}));
}

// Rows stay in the order they came, added or set, never sorted by time.
void TestTranscriptionGrid::rowsKeepTheirOrder()
{
    const QList<Marker> added{{9000, 9500, "c", "", 0}, {5000, 5000, "b", "", 1}, {1000, 2000, "a", "", -1}};
    for (const Marker &m : added)
        m_grid->addMarker(m.start, m.end, m.label, m.note, m.channel);
    QCOMPARE(m_grid->getMarkers(), added);

    const QList<Marker> markers{{300, 400, "new", "first", 1}, {100, 200, "new", "second", -1}};
    m_grid->setMarkers(markers);
    QCOMPARE(m_grid->getMarkers(), markers);
}

void TestTranscriptionGrid::doubleClickJumpsThenPlays_data()
{
    QTest::addColumn<int>("column");

    QTest::newRow("on the start") << 0;
    QTest::newRow("on the label") << 2;
    QTest::newRow("on the channel") << 4;
}

void TestTranscriptionGrid::doubleClickJumpsThenPlays()
{
    QFETCH(int, column);

    m_grid->addMarker(1000, 2000, "first", "", 0);
    m_grid->addMarker(3600000LL * 30, 3600000LL * 30 + 1500, "second", "", 1);
    m_grid->addMarker(7000, 8000, "third", "", -1);

    QStringList order;
    connect(m_grid, &TranscriptionGrid::jumpToTime, this,
            [&order](qlonglong ms) { order << QStringLiteral("jump %1").arg(ms); });
    connect(m_grid, &TranscriptionGrid::playRegionRequested, this,
            [&order](qlonglong start, qlonglong end) {
                order << QStringLiteral("play %1-%2").arg(start).arg(end);
            });

    doubleClickCell(*m_grid, 1, column);

    QCOMPARE(order, QStringList({"jump 108000000", "play 108000000-108001500"}));
}

void TestTranscriptionGrid::doubleClickOutsideRowsDoesNothing()
{
    m_grid->addMarker(1000, 2000, "only", "", 0);
    QSignalSpy jumps(m_grid, &TranscriptionGrid::jumpToTime);
    QSignalSpy plays(m_grid, &TranscriptionGrid::playRegionRequested);

    QVERIFY(QMetaObject::invokeMethod(m_grid, "onCellDoubleClicked", Q_ARG(int, -1), Q_ARG(int, 0)));
    QVERIFY(QMetaObject::invokeMethod(m_grid, "onCellDoubleClicked", Q_ARG(int, 1), Q_ARG(int, 0)));
    doubleClickAt(*m_grid, QPoint(10, m_grid->viewport()->height() - 5));

    QCOMPARE(jumps.count(), 0);
    QCOMPARE(plays.count(), 0);
}

void TestTranscriptionGrid::rowsWithoutCellsReadAsDefaults()
{
    m_grid->addMarker(1000, 2000, "kept", "note", 1);
    // A row put in through the plain table API has only the cells given to it.
    m_grid->insertRow(1);
    m_grid->setItem(1, 2, new QTableWidgetItem("label only"));

    QCOMPARE(m_grid->getMarkers(), QList<Marker>({{1000, 2000, "kept", "note", 1},
                                                  {0, 0, "label only", "", -1}}));

    QSignalSpy jumps(m_grid, &TranscriptionGrid::jumpToTime);
    doubleClickCell(*m_grid, 1, 2);
    QCOMPARE(jumps.count(), 0);
}

void TestTranscriptionGrid::overlayShownOnlyWhileEmpty_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("textKept");
    QTest::addColumn<bool>("shown");

    // t = set the help text, a = add a row, c = clear, s = set an empty list
    QTest::newRow("text on an empty grid") << "t" << 0 << true << true;
    QTest::newRow("row added") << "ta" << 1 << false << false;
    QTest::newRow("row added then cleared") << "tac" << 0 << false << false;
    QTest::newRow("empty list set") << "ts" << 0 << false << false;
    QTest::newRow("text set while rows exist") << "at" << 1 << true << false;
    QTest::newRow("text set again after clearing") << "tact" << 0 << true << true;
}

void TestTranscriptionGrid::overlayShownOnlyWhileEmpty()
{
    QFETCH(QString, steps);
    QFETCH(int, rows);
    QFETCH(bool, textKept);
    QFETCH(bool, shown);

    const QString help = QStringLiteral("Open a recording to begin");
    for (QChar step : steps) {
        switch (step.toLatin1()) {
        case 't':
            m_grid->setOverlayText(help);
            break;
        case 'a':
            m_grid->addMarker(1000, 2000, "Speaker", "Words", 0);
            break;
        case 'c':
            m_grid->clearMarkers();
            break;
        case 's':
            m_grid->setMarkers({});
            break;
        }
    }

    QCOMPARE(m_grid->rowCount(), rows);
    QCOMPARE(m_grid->overlayText(), textKept ? help : QString());
    QCOMPARE(overlayInk(*m_grid).count > 0, shown);
}

void TestTranscriptionGrid::overlayCentredLineByLine()
{
    m_grid->setOverlayText(QStringLiteral("Open a recording"));
    const Ink oneLine = overlayInk(*m_grid);
    QVERIFY(oneLine.count > 0);

    // The ink's middle sits a little off the text box's middle (ascent and
    // descent differ), hence the few pixels of slack.
    const QPointF viewportCentre = QRectF(m_grid->viewport()->rect()).center();
    const QPointF inkCentre = QRectF(oneLine.box).center();
    QVERIFY(qAbs(inkCentre.x() - viewportCentre.x()) <= 4 && qAbs(inkCentre.y() - viewportCentre.y()) <= 6);

    m_grid->setOverlayText(QStringLiteral("Open a recording\nOpen a recording"));
    const Ink twoLines = overlayInk(*m_grid);
    QVERIFY(twoLines.box.height() > oneLine.box.height() * 3 / 2);
    QCOMPARE(twoLines.box.width(), oneLine.box.width());
    QVERIFY(qAbs(QRectF(twoLines.box).center().y() - viewportCentre.y()) <= 6);
}

void TestTranscriptionGrid::csvFileRoundTrip()
{
    const QList<Marker> rows{{65250, 69000, "Smith, J", "He said \"no\",\nthen left", 0},
                             {3723004, 3723004, QStringLiteral("Zoë"), QStringLiteral("😀 café"), 1},
                             {1000, 500, "", "", -1}};
    m_grid->setMarkers(rows);
    QTemporaryDir dir;
    const QString path = dir.filePath("transcript.csv");
    QVERIFY(m_grid->exportCsv(path));

    TranscriptionGrid other;
    other.addMarker(1, 2, "replaced", "", 0);
    other.setOverlayText("help");
    QVERIFY(other.importCsv(path).readable);
    QCOMPARE(other.getMarkers(), rows);
    QCOMPARE(other.item(1, 4)->text(), QString("R"));
    QCOMPARE(other.overlayText(), QString());

    // An empty grid's file holds no rows: the grid keeps its own.
    other.clearMarkers();
    QVERIFY(other.exportCsv(path));
    QVERIFY(m_grid->importCsv(path).readable);
    QCOMPARE(m_grid->getMarkers(), rows);
}

void TestTranscriptionGrid::failedExportKeepsOldFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("sizeLimit"); // 0: none

    QTest::newRow("missing folder") << "missing/transcript.csv" << 0;
    QTest::newRow("disk full while writing") << "old.csv" << 1024;
}

void TestTranscriptionGrid::failedExportKeepsOldFile()
{
    QFETCH(QString, path);
    QFETCH(int, sizeLimit);

    QTemporaryDir dir;
    QFile old(dir.filePath("old.csv"));
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("earlier") == 7);
    old.close();
    for (int i = 0; i < 100; ++i)
        m_grid->addMarker(i, i, "Speaker", QString(40, u'x'), 0);
    {
        std::optional<FileSizeLimit> limit;
        if (sizeLimit > 0)
            limit.emplace(rlim_t(sizeLimit));
        QVERIFY(!m_grid->exportCsv(dir.filePath(path)));
    }
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("earlier"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"old.csv"});
}

void TestTranscriptionGrid::unreadableImportKeepsRows_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("missing file") << "missing.csv";
    QTest::newRow("folder") << ".";
}

void TestTranscriptionGrid::unreadableImportKeepsRows()
{
    QFETCH(QString, path);

    QTemporaryDir dir;
    m_grid->addMarker(1000, 2000, "kept", "note", 1);
    QVERIFY(!m_grid->importCsv(dir.filePath(path)).readable);
    QCOMPARE(m_grid->getMarkers(), QList<Marker>({{1000, 2000, "kept", "note", 1}}));
}

QTEST_MAIN(TestTranscriptionGrid)
#include "tst_transcriptiongrid.moc"
