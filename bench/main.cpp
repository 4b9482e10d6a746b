// orlenta-bench: measurements of the program's own code paths, one
// "key=value" line per measurement so runs can be compared side by side.
//
//   orlenta-bench startup     builds the main window (offscreen) once

#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

namespace {

int usage()
{
    QTextStream(stderr) << "usage: orlenta-bench startup\n";
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
    return usage();
}
