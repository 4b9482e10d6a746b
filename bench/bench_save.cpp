#include "bench/bench_save.h"

#include "audio/audioengine.h"
#include "audio/wavwriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

#include <unistd.h>

namespace {

constexpr int kRuns = 5;

// Each timing starts with nothing waiting to reach the disk, and its output
// is removed afterwards, so neither side pays for the other's writes.
qint64 timed(const std::function<bool()> &work, const QString &output)
{
    ::sync();
    QElapsedTimer timer;
    timer.start();
    const bool ok = work();
    const qint64 ms = timer.elapsed();
    QFile::remove(output);
    return ok ? ms : -1;
}

qint64 median(QList<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

} // namespace

int benchSave(const QStringList &args)
{
    if (args.isEmpty()) {
        QTextStream(stderr) << "usage: orlenta-bench save FILE\n";
        return 2;
    }
    const QString source = args.first();
    AudioEngine engine;
    if (!engine.loadFile(source)) {
        QTextStream(stderr) << "load failed\n";
        return 1;
    }
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        QTextStream(stderr) << "no scratch folder: " << scratch.errorString() << '\n';
        return 1;
    }
    const QString saved = scratch.filePath(QStringLiteral("saved.wav"));
    const QString copied = scratch.filePath(QStringLiteral("copied.wav"));
    const QMap<QString, QString> tags{{QStringLiteral("Title"), QStringLiteral("Bench")},
                                      {QStringLiteral("Engineer"), QStringLiteral("Bench")}};
    QString error;
    const auto save = [&] {
        const WavSaveResult result = saveWav(saved, engine.samples(), engine.sampleRate(), engine.channelCount(), tags);
        error = result.error;
        return result.ok;
    };
    const auto copy = [&] { return QProcess::execute(QStringLiteral("cp"), {source, copied}) == 0; };

    // Alternating runs, medians: one slow moment of a shared machine does not decide the result.
    QList<qint64> saveMs;
    QList<qint64> cpMs;
    for (int run = 0; run < kRuns; ++run) {
        saveMs << timed(save, saved);
        cpMs << timed(copy, copied);
        if (saveMs.last() < 0 || cpMs.last() < 0) {
            QTextStream(stderr) << (saveMs.last() < 0 ? "save failed: " + error : QStringLiteral("cp failed")) << '\n';
            return 1;
        }
    }
    const qint64 save50 = median(saveMs);
    const qint64 cp50 = median(cpMs);
    QTextStream(stdout) << "save_ms=" << save50 << " cp_ms=" << cp50
                        << " ratio=" << QString::number(double(save50) / qMax<qint64>(1, cp50), 'f', 2) << '\n';
    return 0;
}
