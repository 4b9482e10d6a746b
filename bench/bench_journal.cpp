#include "bench/bench_journal.h"

#include "bench/benchsupport.h"
#include "ui/journalkeeper.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

namespace {

// A long interview's worth of work: rows with the quotes and accents that
// need escaping, and edits of every kind.
RecoveryJournal sampleJournal(int rows, int edits)
{
    RecoveryJournal journal;
    journal.recordingPath = QStringLiteral("/home/transcriber/Interviews/2024-03-07 interview room 2.wav");
    journal.recordingSize = 1'270'000'000;
    journal.recordingModified = QDateTime::currentDateTimeUtc();
    // Each kind of edit, an undo and a redo; undo and redo carry nothing else.
    const JournalEdit::Op ops[] = {JournalEdit::Op::Silence, JournalEdit::Op::Tone, JournalEdit::Op::Normalize,
                                   JournalEdit::Op::TrimPeaks, JournalEdit::Op::Undo, JournalEdit::Op::Redo};
    const double parameters[] = {0.0, 1000.0, -1.0, 0.707};
    for (int i = 0; i < edits; ++i) {
        JournalEdit edit{ops[i % 6]};
        if (i % 6 < 4) {
            edit.startMs = i * 60'000LL;
            edit.endMs = edit.startMs + 1500;
            edit.channel = i % 3 - 1;
            edit.parameter = parameters[i % 6];
        }
        journal.edits.append(edit);
    }
    for (int i = 0; i < rows; ++i) {
        const qlonglong start = i * 4200LL;
        journal.rows.append({start, start + 3900, i % 2 ? QStringLiteral("Officer") : QStringLiteral("Witness"),
                             QStringLiteral("Sentence %1: I said \"no\", then I left the café at 10, "
                                            "and went straight home.")
                                 .arg(i),
                             i % 3 - 1});
    }
    journal.details = {QStringLiteral("REF-2024-117"), QStringLiteral("Interview room 2"),
                       QStringLiteral("Kite"), QStringLiteral("DC Walsh"), QStringLiteral("A. Transcriber"), {}};
    journal.timeSourceText = QStringLiteral("Track Timing");
    return journal;
}

} // namespace

int benchJournal(const QStringList &args)
{
    const int rows = option(args, QStringLiteral("--rows"), QStringLiteral("5000")).toInt();
    const int edits = option(args, QStringLiteral("--edits"), QStringLiteral("50")).toInt();
    if (rows < 0 || edits < 0) {
        QTextStream(stderr) << "usage: orlenta-bench journal [--rows N] [--edits E]\n";
        return 2;
    }
    QTemporaryDir dir;
    const RecoveryJournal journal = sampleJournal(rows, edits);
    JournalKeeper keeper(dir.path());
    QString failure;
    QObject::connect(&keeper, &JournalKeeper::writeFailed, [&failure](const QString &why) { failure = why; });
    keeper.setSnapshot([&journal] { return journal; });

    // The keeper's own write path without the delay: the snapshot, the
    // encoding and the atomic replace.
    QList<double> times;
    for (int run = 0; run < 9; ++run) {
        QElapsedTimer timer;
        timer.start();
        keeper.markChanged();
        keeper.flush();
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());

    QFile file(keeper.journalPath());
    const bool opened = file.open(QIODevice::ReadOnly);
    const JournalDecode back = decodeJournal(file.readAll());
    const bool intact = opened && failure.isEmpty() && back.ok && back.journal.rows == journal.rows
        && back.journal.edits == journal.edits;
    QTextStream(stdout) << "rows=" << rows << " edits=" << edits << " journal_write_ms="
                        << QString::number(times.at(times.size() / 2), 'f', 2)
                        << " journal_kb=" << QFileInfo(file).size() / 1024
                        << " round_trip=" << (intact ? "ok" : "FAILED") << '\n';
    if (!failure.isEmpty())
        QTextStream(stderr) << failure << '\n';
    return intact ? 0 : 1;
}
