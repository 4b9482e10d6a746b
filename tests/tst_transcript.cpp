// The transcript: its CSV text both ways, and the grid that shows and edits
// its rows.

#include "widgets/timetext.h"
#include "widgets/transcriptcsv.h"
#include "widgets/transcriptiongrid.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <limits>

namespace {

const QByteArray kHeader = "Start_Time,End_Time,Label,Note,Channel\r\n";
const QByteArray kOldHeader = "Start_Time,End_Time,Label,Note,Channel\n";

// "line:reason" per skipped record.
QStringList describe(const QList<TranscriptCsv::Skipped> &skipped)
{
    static const char *const kReasons[] = {"header", "blank", "short", "no start", "bad start", "bad end"};
    QStringList out;
    for (const TranscriptCsv::Skipped &s : skipped)
        out << QStringLiteral("%1:%2").arg(s.line).arg(kReasons[int(s.reason)]);
    return out;
}

QByteArray utf16le(const QString &text)
{
    return "\xFF\xFE" + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2); // a little-endian host
}

} // namespace

class TestTranscript : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_window = new QWidget;
        auto *layout = new QVBoxLayout(m_window);
        layout->addWidget(m_grid = new TranscriptionGrid);
        layout->addWidget(m_next = new QLineEdit); // where Tab from the grid's last cell goes
        m_window->resize(640, 440);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup() { delete m_window; }

    void csvRoundTrip_data()
    {
        QTest::addColumn<QList<Marker>>("markers");
        QTest::addColumn<QByteArray>("text"); // null: only read back
        QTest::newRow("quotes doubled, accents in UTF-8")
            << QList<Marker>{{65250, 69000, "Ch1", "Hi", 0}, {3723004, 360000000, QStringLiteral("Zoë, J"), "said \"no\"\nthen", -1}}
            << kHeader + "00:01:05.250,00:01:09.000,\"Ch1\",\"Hi\",0\r\n"
                         "01:02:03.004,100:00:00.000,\"Zo\xC3\xAB, J\",\"said \"\"no\"\"\nthen\",-1\r\n";
        QTest::newRow("extreme times, out of time order")
            << QList<Marker>{{std::numeric_limits<qlonglong>::max(), std::numeric_limits<qlonglong>::min(), "", "", 0},
                             {-1500, 360000000, "", "", 1}, {0, 0, "", "", -1}}
            << QByteArray();
    }

    void csvRoundTrip()
    {
        QFETCH(QList<Marker>, markers);
        QFETCH(QByteArray, text);
        const QByteArray written = encodeTranscriptCsv(markers);
        if (!text.isNull())
            QCOMPARE(written, text);
        const TranscriptCsv read = decodeTranscriptCsv(written);
        QCOMPARE(read.markers, markers);
        QCOMPARE(describe(read.skipped), QStringList{"1:header"});
    }

    void csvReading_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<Marker>>("markers");
        QTest::addColumn<QStringList>("skipped");

        // Files of the old exporter: LF line ends, label and note quoted, nothing escaped.
        QTest::newRow("old file with a quote before a line break")
            << kOldHeader + "00:00:01.000,00:00:02.000,\"Smith, J\",\"said \"go\"\nthen left\",1\n"
                            "00:00:03.000,00:00:04.000,\"B\",\"next\",-1\n"
            << QList<Marker>{{1000, 2000, "Smith, J", "said \"go\"\nthen left", 1}, {3000, 4000, "B", "next", -1}}
            << QStringList{"1:header"};
        QTest::newRow("broken row does not swallow the next")
            << QByteArray("00:00:01.000,00:00:02.000,\"x\" y,\"z\n00:00:03.000,00:00:04.000,\"B\",\"n\",1\n")
            << QList<Marker>{{3000, 4000, "B", "n", 1}} << QStringList{"1:short"};
        QTest::newRow("two exports joined, blank and short lines")
            << kHeader + "00:00:01.000,00:00:01.000,\"a\",\"b\",1\r\n\r\n" + kHeader + "only,three,pieces\n"
            << QList<Marker>{{1000, 1000, "a", "b", 1}} << QStringList{"1:header", "3:blank", "4:header", "5:bad start"};
        QTest::newRow("every time form, a padded channel, an extra column")
            << QByteArray("1:02:03,1:02:03.4,a,b, 1 ,\"y\"\n1:02:03.45,02:03.400,c,d\n123:59:59.9996,75:00.5,e,f\n")
            << QList<Marker>{{3723000, 3723400, "a", "b", 1}, {3723450, 123400, "c", "d", -1},
                             {446400000, 4500500, "e", "f", -1}}
            << QStringList{};
        QTest::newRow("times that cannot be read skip their record")
            << kHeader + "00:00:61.000,0:00:01.000,a,b\r\n1:02,00:00:01.000,c,d\r\n00:00:01.000,soon,e,f\r\n"
                         ",00:00:02.000,g,h\r\n00:00:05.000,,point,i\r\n"
            << QList<Marker>{{5000, 5000, "point", "i", -1}}
            << QStringList{"1:header", "2:bad start", "3:bad start", "4:bad end", "5:no start"};
        QTest::newRow("line ends of a lone CR")
            << QByteArray("Start_Time,End_Time,Label,Note,Channel\r00:00:01.000,00:00:02.000,\"a\",\"b\",0\r\r"
                          "00:00:03.000,00:00:04.000,\"c\nd\",\"e\",1\r")
            << QList<Marker>{{1000, 2000, "a", "b", 0}, {3000, 4000, "c\nd", "e", 1}} << QStringList{"1:header", "3:blank"};
        QTest::newRow("labels only: rows at zero, a later header-like row kept")
            << QByteArray("Label,Note\r\nSpeaker A,intro\r\nNote\r\n,\r\n")
            << QList<Marker>{{0, 0, "Speaker A", "intro", -1}, {0, 0, "Note", "", -1}}
            << QStringList{"1:header", "4:blank"};
        QTest::newRow("UTF-16") << utf16le(QStringLiteral("0:00:01,0:00:02,Zoë,😀,1\n"))
                                << QList<Marker>{{1000, 2000, QStringLiteral("Zoë"), QStringLiteral("😀"), 1}}
                                << QStringList{};
        QTest::newRow("byte-order mark and Windows code page")
            << "\xEF\xBB\xBF" + kHeader + "00:00:01.000,00:00:02.000,Jos\xE9,\x93" "caf\xE9\x94 \x80 5,0\n"
            << QList<Marker>{{1000, 2000, QStringLiteral("José"), QStringLiteral("“café” € 5"), 0}}
            << QStringList{"1:header"};
    }

    void csvReading()
    {
        QFETCH(QByteArray, file);
        const TranscriptCsv read = decodeTranscriptCsv(file);
        QTEST(read.markers, "markers");
        QTEST(describe(read.skipped), "skipped");
    }

    void typedCells_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("labels"); // top to bottom afterwards
        QTest::addColumn<QString>("shown");      // the cell's text afterwards
        QTest::addColumn<int>("channel");        // the row's afterwards
        const QStringList asAdded{"A", "B", "C"};
        QTest::newRow("a later start moves the row down") << 0 << 0 << "00:00:05.000" << QStringList{"B", "C", "A"}
                                                           << "00:00:05.000" << -1;
        QTest::newRow("an end time moves nothing") << 0 << 1 << "01:00:00.000" << asAdded << "01:00:00.000" << -1;
        QTest::newRow("text that is no time is refused") << 1 << 0 << "soon" << asAdded << "00:00:02.000" << -1;
        QTest::newRow("a time past the hour digits is refused") << 1 << 1 << "00:61:00.000" << asAdded
                                                                << "00:00:02.500" << -1;
        QTest::newRow("channel R") << 1 << 4 << "R" << asAdded << "R" << 1;
    }

    void typedCells()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        m_grid->setMarkers({{1000, 1500, "A", "", -1}, {2000, 2500, "B", "", 0}, {3000, 3500, "C", "", -1}});
        const QString label = m_grid->item(row, 2)->text();
        m_grid->item(row, 0)->setData(Qt::UserRole + 1, label); // what a caller keeps on a row goes with it
        // A double-click as the window system delivers it.
        const QPoint pos = m_grid->visualRect(m_grid->model()->index(row, column)).center();
        QTest::mouseClick(m_grid->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseDClick(m_grid->viewport(), Qt::LeftButton, {}, pos);
        QTest::mouseRelease(m_grid->viewport(), Qt::LeftButton, {}, pos);
        auto *editor = qobject_cast<QLineEdit *>(m_grid->indexWidget(m_grid->model()->index(row, column)));
        QVERIFY(editor);
        editor->setText(typed);
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!m_grid->indexWidget(m_grid->model()->index(row, column))); // committed through a queued call

        QStringList order;
        for (const Marker &m : m_grid->getMarkers())
            order << m.label;
        QTEST(order, "labels");
        const int now = int(order.indexOf(label));
        QCOMPARE(m_grid->item(now, column)->text(), shown);
        QCOMPARE(m_grid->item(now, 0)->data(Qt::UserRole + 1).toString(), label);
        const Marker marker = m_grid->getMarkers().at(now);
        if (column < 2)
            QCOMPARE(column == 0 ? marker.start : marker.end, *parseTimeText(shown));
        if (column == 4)
            QTEST(marker.channel, "channel");
    }

    void deleteAndUndo()
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
        QVERIFY(!m_grid->undoDelete());
    }

    void tabFromTheLastCellLeaves()
    {
        m_grid->addMarker(0, 1, "A", "", -1);
        m_grid->setFocus();
        m_grid->setCurrentCell(0, m_grid->columnCount() - 1);
        QTest::keyClick(m_grid, Qt::Key_Tab);
        QVERIFY(m_next->hasFocus());
    }

private:
    QWidget *m_window = nullptr;
    TranscriptionGrid *m_grid = nullptr;
    QLineEdit *m_next = nullptr;
};

QTEST_MAIN(TestTranscript)
#include "tst_transcript.moc"
