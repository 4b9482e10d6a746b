// orlenta-bench: measurements of the program's own code paths, one
// "key=value" line per measurement so runs can be compared side by side.
//
//   orlenta-bench startup                builds the main window (offscreen) once
//   orlenta-bench load FILE [--report] [--after OLD]
//                                        loads a recording through the engine
//                                        (over OLD, loaded first, when given)
//   orlenta-bench play FILE [--seconds N] [--speed S]
//                                        plays N seconds (default 20) at speed S
//   orlenta-bench waveform FILE [--width W]
//                                        redraws of one channel view (offscreen)
//   orlenta-bench edit FILE [--region-s S] [--edits N] [--pause-ms P]
//                                        edits, undos and redos through the engine,
//                                        P ms apart (default 0)
//   orlenta-bench save FILE              saves a loaded recording, next to cp
//   orlenta-bench transcript [--rows N]  CSV, grid and PDF of N rows
//   orlenta-bench journal [--rows N] [--edits E]
//                                        writes of the crash-recovery journal

#include "audio/audioengine.h"
#include "audio/peaklists.h"
#include "bench/bench_edit.h"
#include "bench/bench_journal.h"
#include "bench/benchsupport.h"
#include "bench/bench_save.h"
#include "bench/bench_transcript.h"
#include "ui/mainwindow.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <functional>

#include <sys/resource.h>

namespace {

int usage()
{
    QTextStream(stderr) << "usage: orlenta-bench startup\n"
                           "       orlenta-bench load FILE [--report] [--after OLD]\n"
                           "       orlenta-bench play FILE [--seconds N] [--speed S]\n"
                           "       orlenta-bench waveform FILE [--width W]\n"
                           "       orlenta-bench edit FILE [--region-s S] [--edits N] [--pause-ms P]\n"
                           "       orlenta-bench save FILE\n"
                           "       orlenta-bench transcript [--rows N]\n"
                           "       orlenta-bench journal [--rows N] [--edits E]\n";
    return 2;
}

int benchStartup()
{
    QElapsedTimer timer;
    timer.start();
    MainWindow window(nullptr, false);
    QCoreApplication::processEvents();
    const qint64 ms = timer.elapsed();
    QTextStream(stdout) << "construct_ms=" << ms << '\n';
    return 0;
}


int benchLoad(const QStringList &args)
{
    if (args.isEmpty())
        return usage();
    AudioEngine engine;
    QString report;
    QString error;
    QObject::connect(&engine, &AudioEngine::formatDataReady, [&](const QString &info) { report = info; });
    QObject::connect(&engine, &AudioEngine::errorMessage, [&](const QString &msg) { error = msg; });
    // With --after OLD the engine holds OLD while FILE loads, as when the
    // user opens one recording over another: the peak shows both.
    const QString previous = option(args, QStringLiteral("--after"), QString());
    if (!previous.isEmpty() && !engine.loadFile(previous)) {
        QTextStream(stderr) << "load of " << previous << " failed: " << error << '\n';
        return 1;
    }

    QElapsedTimer timer;
    timer.start();
    const bool loaded = engine.loadFile(args.first());
    const qint64 ms = timer.elapsed();
    if (!loaded) {
        QTextStream(stderr) << "load failed: " << error << '\n';
        return 1;
    }
    const qint64 frameBytes = qint64(engine.channelCount()) * 2;
    QTextStream out(stdout);
    out << "load_ms=" << ms << " frames=" << engine.samples().size() / frameBytes << " rate=" << engine.sampleRate()
        << " channels=" << engine.channelCount() << " start_time_ms=" << engine.startTimeOfDay()
        << " peak_rss_mb=" << peakRssMb() << " pcm_sha1="
        << QCryptographicHash::hash(engine.samples(), QCryptographicHash::Sha1).toHex() << '\n';
    if (args.contains(QLatin1String("--report")))
        out << report;
    return 0;
}

// CPU time of this process so far, in ms.
qint64 cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}


int benchPlay(const QStringList &args)
{
    if (args.isEmpty())
        return usage();
    const int seconds = option(args, QStringLiteral("--seconds"), QStringLiteral("20")).toInt();
    const double speed = option(args, QStringLiteral("--speed"), QStringLiteral("1.0")).toDouble();
    AudioEngine engine;
    if (!engine.loadFile(args.first())) {
        QTextStream(stderr) << "load failed\n";
        return 1;
    }
    // The stream going idle before the end of the recording is an underrun.
    int underruns = 0;
    QObject::connect(&engine, &AudioEngine::playbackStopped, [&]() {
        if (engine.position() < engine.duration())
            ++underruns;
    });
    engine.setPlaybackSpeed(speed);
    const qint64 cpuBefore = cpuMs();
    QElapsedTimer wall;
    wall.start();
    engine.play();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const qint64 cpu = cpuMs() - cpuBefore;
    QTextStream(stdout) << "cpu_pct=" << QString::number(100.0 * cpu / qMax<qint64>(1, wall.elapsed()), 'f', 2)
                        << " underruns=" << underruns << " position_ms=" << engine.position() << '\n';
    return 0;
}

// Median time in ms of `runs` calls of `step`.
double medianMs(int runs, const std::function<void(int)> &step)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step(i);
        times << timer.nsecsElapsed() / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

int benchWaveform(const QStringList &args)
{
    if (args.isEmpty())
        return usage();
    const int width = option(args, QStringLiteral("--width"), QStringLiteral("1920")).toInt();
    AudioEngine engine;
    if (!engine.loadFile(args.first())) {
        QTextStream(stderr) << "load failed\n";
        return 1;
    }
    const PeakLists lists = buildPeakLists(engine.samples(), engine.channelCount());
    WaveformDisplay view;
    view.resize(width, 200);
    view.show();
    view.setWaveformData(lists.left, engine.duration(), 0);
    QCoreApplication::processEvents();

    // A view change redraws the cached waveform; alternate two offsets so every
    // run is a real change.
    const double fit = double(width) / double(engine.duration());
    const double fitMs = medianMs(21, [&](int i) {
        view.setView(fit, i % 2);
        view.repaint();
    });
    const int middle = int(engine.duration() / 2);
    const double detailMs = medianMs(21, [&](int i) {
        view.setView(1.0, middle + i % 2);
        view.repaint();
    });
    const int renders = view.cacheRenderCount();
    const double playheadMs = medianMs(101, [&](int i) {
        view.setPlayPosition(middle + i * 10);
        view.repaint();
    });
    QTextStream(stdout) << "full_redraw_ms=" << QString::number(qMax(fitMs, detailMs), 'f', 2)
                        << " fit_redraw_ms=" << QString::number(fitMs, 'f', 2)
                        << " detail_redraw_ms=" << QString::number(detailMs, 'f', 2)
                        << " playhead_ms=" << QString::number(playheadMs, 'f', 3)
                        << " playhead_cache_renders=" << view.cacheRenderCount() - renders << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // Measure the window's own work, not a display server's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    if (args.first() == QLatin1String("startup"))
        return benchStartup();
    if (args.first() == QLatin1String("load"))
        return benchLoad(args.mid(1));
    if (args.first() == QLatin1String("play"))
        return benchPlay(args.mid(1));
    if (args.first() == QLatin1String("waveform"))
        return benchWaveform(args.mid(1));
    if (args.first() == QLatin1String("edit"))
        return benchEdit(args.mid(1));
    if (args.first() == QLatin1String("save"))
        return benchSave(args.mid(1));
    if (args.first() == QLatin1String("transcript"))
        return benchTranscript(args.mid(1));
    if (args.first() == QLatin1String("journal"))
        return benchJournal(args.mid(1));
    return usage();
}
