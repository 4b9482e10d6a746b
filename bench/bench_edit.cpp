#include "bench/bench_edit.h"
#include "bench/benchsupport.h"

#include "audio/audioengine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <algorithm>

namespace {

constexpr int kMoves = 10; // undos, then redos: one full history
constexpr qint64 kMb = 1024 * 1024;

QString median(QList<double> ms)
{
    if (ms.isEmpty())
        return QStringLiteral("-");
    std::sort(ms.begin(), ms.end());
    const qsizetype mid = ms.size() / 2;
    const double value = ms.size() % 2 ? ms[mid] : (ms[mid - 1] + ms[mid]) / 2;
    return QString::number(value, 'f', 2);
}

double elapsedMs(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

} // namespace

int benchEdit(const QStringList &args)
{
    if (args.isEmpty()) {
        QTextStream(stderr) << "usage: orlenta-bench edit FILE [--region-s S] [--edits N] [--pause-ms P]\n";
        return 2;
    }
    const qint64 regionMs = qint64(option(args, QStringLiteral("--region-s"), QStringLiteral("60")).toDouble() * 1000);
    const int edits = option(args, QStringLiteral("--edits"), QStringLiteral("11")).toInt();
    // Untimed time between edits, as a transcriber takes to select the next region.
    const int pauseMs = option(args, QStringLiteral("--pause-ms"), QStringLiteral("0")).toInt();

    AudioEngine engine;
    if (!engine.loadFile(args.first())) {
        QTextStream(stderr) << "cannot load " << args.first() << '\n';
        return 1;
    }
    const qint64 durationMs = engine.duration();

    // Through the engine, as the window edits: history, samples, waveform lists.
    QList<double> editMs;
    QList<double> undoMs;
    QList<double> redoMs;
    QElapsedTimer timer;
    for (int n = 0; n < edits; ++n) {
        if (n > 0 && pauseMs > 0)
            QThread::msleep(pauseMs);
        const qint64 startMs = edits > 1 ? std::max<qint64>(0, durationMs - regionMs) * n / (edits - 1) : 0;
        timer.start();
        engine.applySilence(startMs, startMs + regionMs, -1);
        editMs.append(elapsedMs(timer));
    }
    for (int n = 0; n < kMoves; ++n) {
        timer.start();
        engine.undo();
        undoMs.append(elapsedMs(timer));
    }
    for (int n = 0; n < kMoves; ++n) {
        timer.start();
        engine.redo();
        redoMs.append(elapsedMs(timer));
    }

    QTextStream(stdout) << "edit_ms=" << median(editMs) << " undo_ms=" << median(undoMs)
                        << " redo_ms=" << median(redoMs) << " peak_rss_mb=" << peakRssMb()
                        << " store_mb=" << engine.samples().size() / kMb << '\n';
    return 0;
}
