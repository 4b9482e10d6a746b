#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include "audiofixtures.h"
#include "filesizelimit.h"

#include <optional>

#include "ui/transcriptreport.h"

Q_DECLARE_METATYPE(TranscriptReport)

namespace {

TranscriptReport caseReport()
{
    TranscriptReport r;
    r.reference = "a < b";
    r.location = "Room 4 & 5";
    r.operation = "\"Nightjar\"";
    r.oic = "DS Grey";
    r.transcriber = QStringLiteral("Zoë Ortiz");
    r.translator = "";
    r.fileName = "/rec/a&b.wav";
    r.date = QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9));
    r.rows = QList<Marker>{{3723004, 3800000, "<b>DC</b>", "Where were you?\nSay it.", 1},
                           {1000, 1000, "Witness", "At home, I said \"home\".", 0}};
    r.auditLog = QStringLiteral("Exported CSV: a<b.csv\nBookmark Added: x @00:00:05.000\nOpened: ")
        + QStringLiteral("/a-folder-name-of-some-length").repeated(5) + QStringLiteral("/interview.wav");
    return r;
}

QString run(const QString &program, const QStringList &args)
{
    return QString::fromUtf8(fixtures::run(program, args));
}

} // namespace

class TestTranscriptReport : public QObject
{
    Q_OBJECT

private slots:
    void htmlPieces_data();
    void htmlPieces();
    void pdfShowsWhatWasTyped();
    void pagesGrowWithRows();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();

private:
    QTemporaryDir m_dir;
};

void TestTranscriptReport::htmlPieces_data()
{
    QTest::addColumn<TranscriptReport>("report");
    QTest::addColumn<QStringList>("pieces");

    const QString head = QStringLiteral(
        "<html><head><style>body{font-family:sans-serif;}table{border-collapse:collapse; width:100%; "
        "border: 1px solid black;}th{background-color:#eee; border:1px solid black; padding:8px; "
        "text-align:left;}td{border:1px solid black; padding:8px;}</style></head><body>"
        "<h1>Transcript Report</h1><h3>Case Details</h3><table>");
    const QString reference = "<tr><td><b>Reference</b></td><td>a &lt; b</td></tr>";
    const QString details = "<tr><td><b>Location</b></td><td>Room 4 &amp; 5</td></tr>"
                            "<tr><td><b>Operation</b></td><td>&quot;Nightjar&quot;</td></tr>"
                            "<tr><td><b>OIC</b></td><td>DS Grey</td></tr>"
                            "<tr><td><b>Transcriber</b></td><td>Zoë Ortiz</td></tr>"
                            "<tr><td><b>Translator</b></td><td></td></tr>";
    const QString fileAndDate = "</table><p><b>Filename:</b> /rec/a&amp;b.wav</p>"
                                "<p><b>Date:</b> Tue Mar 5 14:03:09 2024</p>";
    const QString transcriptHead = "<h2>Transcript</h2><table><tr><th width='20%'>Time</th>"
                                   "<th width='20%'>Speaker</th><th>Content</th></tr>";
    const QString rows = "<tr><td>01:02:03.004</td><td>&lt;b&gt;DC&lt;/b&gt;</td>"
                         "<td>Where were you?<br/>Say it.</td></tr>"
                         "<tr><td>00:00:01.000</td><td>Witness</td><td>At home, I said &quot;home&quot;.</td></tr>";
    const QString audit = "<h3>Audit Log</h3><pre style='white-space:pre-wrap'>Exported CSV: a&lt;b.csv\n"
                          "Bookmark Added: x @00:00:05.000\nOpened: "
        + QStringLiteral("/a-folder-name-of-some-length").repeated(5) + "/interview.wav</pre>";
    const QString end = "</body></html>";

    QTest::newRow("everything") << caseReport()
                                << QStringList{head, reference, details, fileAndDate, transcriptHead, rows,
                                               "</table>", audit, end};
    TranscriptReport emptyGrid = caseReport();
    emptyGrid.rows = QList<Marker>{};
    QTest::newRow("empty grid") << emptyGrid
                                << QStringList{head, reference, details, fileAndDate, transcriptHead,
                                               "</table>", audit, end};
    TranscriptReport bare = caseReport();
    for (std::optional<QString> *piece : {&bare.location, &bare.operation, &bare.oic, &bare.transcriber,
                                          &bare.translator, &bare.auditLog})
        piece->reset();
    bare.rows.reset();
    QTest::newRow("no grid, audit pane or most line edits")
        << bare << QStringList{head, reference, fileAndDate, end};
}

void TestTranscriptReport::htmlPieces()
{
    QFETCH(TranscriptReport, report);
    QFETCH(QStringList, pieces);
    QCOMPARE(buildReportHtml(report), pieces.join(QString()));
}

void TestTranscriptReport::pdfShowsWhatWasTyped()
{
    TranscriptReport report = caseReport();
    report.rows->append({360000000, 0, "Detective", "a < b", -1});
    const QString path = m_dir.filePath("report.pdf");
    QString error;
    QVERIFY2(writePdfReport(buildReportHtml(report), path, &error), qPrintable(error));

    // Content order: case details, rows as in the grid, then the audit log.
    const QString text = run("pdftotext", {"-raw", path, "-"});
    const QStringList inOrder{"Reference a < b", "Location Room 4 & 5", "Operation \"Nightjar\"",
                              QStringLiteral("Transcriber Zoë Ortiz"), "Filename: /rec/a&b.wav",
                              "Date: Tue Mar 5 14:03:09 2024", "01:02:03.004 <b>DC</b> Where were you?",
                              "Say it.", "00:00:01.000 Witness At home, I said \"home\".",
                              "100:00:00.000 Detective a < b", "Exported CSV: a<b.csv",
                              "Bookmark Added: x @00:00:05.000"};
    qsizetype at = 0;
    for (const QString &expected : inOrder) {
        at = text.indexOf(expected, at);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("\"%1\" missing or out of order in:\n%2").arg(expected, text)));
    }
    // A line wider than the page is wrapped, not cut.
    const QRegularExpression space(QStringLiteral("\\s"));
    QVERIFY2(QString(text).remove(space).contains(report.auditLog->section(QLatin1Char('\n'), -1).remove(space)),
             qPrintable(text));
    QVERIFY(!text.contains("01:03:20.000")); // no end times
    QVERIFY(run("pdfinfo", {path}).contains(QRegularExpression("Page size:.*\\(A4\\)")));
}

void TestTranscriptReport::pagesGrowWithRows()
{
    QList<int> pages;
    for (int rows : {0, 60, 300}) {
        TranscriptReport report = caseReport();
        report.rows->clear();
        for (int i = 0; i < rows; ++i)
            report.rows->append({i * 1000LL, 0, "Speaker", QStringLiteral("Sentence %1").arg(i), -1});
        const QString path = m_dir.filePath(QStringLiteral("rows%1.pdf").arg(rows));
        QVERIFY(writePdfReport(buildReportHtml(report), path));
        const auto match = QRegularExpression("Pages:\\s+(\\d+)").match(run("pdfinfo", {path}));
        pages << (match.hasMatch() ? match.captured(1).toInt() : -1);
    }
    QVERIFY2(pages[0] >= 1 && pages[0] < pages[1] && pages[1] < pages[2],
             qPrintable(QStringLiteral("pages %1, %2, %3").arg(pages[0]).arg(pages[1]).arg(pages[2])));
}

void TestTranscriptReport::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("sizeLimit"); // 0: none

    QTest::newRow("missing folder") << "missing/report.pdf" << 0;
    QTest::newRow("disk full while printing") << "old.pdf" << 4096;
}

void TestTranscriptReport::failedWriteKeepsOldFile()
{
    QFETCH(QString, path);
    QFETCH(int, sizeLimit);

    QTemporaryDir dir;
    QVERIFY(fixtures::writeFile(dir.filePath("old.pdf"), "earlier"));
    QString error;
    {
        std::optional<FileSizeLimit> limit;
        if (sizeLimit > 0)
            limit.emplace(rlim_t(sizeLimit));
        QVERIFY(!writePdfReport(buildReportHtml(caseReport()), dir.filePath(path), &error));
    }
    QVERIFY(!error.isEmpty());
    QCOMPARE(fixtures::readFile(dir.filePath("old.pdf")), QByteArray("earlier"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"old.pdf"});
}

QTEST_MAIN(TestTranscriptReport)
#include "tst_transcriptreport.moc"
