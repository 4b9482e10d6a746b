#include "bench/bench_transcript.h"

#include "ui/transcriptreport.h"
#include "widgets/transcriptcsv.h"
#include "widgets/transcriptiongrid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// Rows like a long interview's: alternating speakers, sentences with the
// commas, quotes and accents that exercise quoting.
QList<Marker> sampleRows(int count)
{
    QList<Marker> rows;
    rows.reserve(count);
    for (int i = 0; i < count; ++i) {
        const qlonglong start = i * 4200LL;
        rows.append({start, start + 3900,
                     i % 2 ? QStringLiteral("Officer") : QStringLiteral("Witness"),
                     QStringLiteral("Sentence %1: I said \"no\", then I left the café at 10, "
                                    "and went straight home.")
                         .arg(i),
                     i % 3 - 1});
    }
    return rows;
}

} // namespace

int benchTranscript(const QStringList &args)
{
    const qsizetype at = args.indexOf(QLatin1String("--rows"));
    const int count = at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 5000;
    if (count < 0) {
        QTextStream(stderr) << "usage: orlenta-bench transcript [--rows N]\n";
        return 2;
    }
    QTemporaryDir dir;
    const QString csvPath = dir.filePath(QStringLiteral("transcript.csv"));
    const QString pdfPath = dir.filePath(QStringLiteral("report.pdf"));
    const QList<Marker> rows = sampleRows(count);
    // Shown, so that the header's fit-to-contents columns and the first
    // paint are part of the fill, as in the window.
    TranscriptionGrid grid;
    grid.resize(1200, 600);
    grid.show();
    QCoreApplication::processEvents();
    QElapsedTimer timer;

    timer.start();
    grid.setMarkers(rows);
    QCoreApplication::processEvents();
    const qint64 fillMs = timer.elapsed();

    timer.restart();
    const bool exported = grid.exportCsv(csvPath);
    const qint64 exportMs = timer.elapsed();

    timer.restart();
    QFile file(csvPath);
    const bool opened = file.open(QIODevice::ReadOnly);
    const TranscriptCsv read = decodeTranscriptCsv(file.readAll());
    const qint64 importMs = timer.elapsed();

    TranscriptReport report;
    report.reference = QStringLiteral("REF-1");
    report.fileName = QStringLiteral("interview.wav");
    report.date = QDateTime::currentDateTime();
    report.rows = grid.getMarkers();
    report.auditLog = QStringLiteral("Exported CSV: ") + csvPath;
    timer.restart();
    QString error;
    const bool printed = writePdfReport(buildReportHtml(report), pdfPath, &error);
    const qint64 pdfMs = timer.elapsed();

    const bool intact = exported && opened && read.markers == rows && grid.getMarkers() == rows;
    QTextStream(stdout) << "rows=" << count << " csv_export_ms=" << exportMs << " csv_import_ms=" << importMs
                        << " grid_fill_ms=" << fillMs << " pdf_ms=" << pdfMs << " pdf_kb="
                        << QFile(pdfPath).size() / 1024 << " round_trip=" << (intact ? "ok" : "FAILED")
                        << '\n';
    if (!printed)
        QTextStream(stderr) << "pdf failed: " << error << '\n';
    return intact && printed ? 0 : 1;
}
