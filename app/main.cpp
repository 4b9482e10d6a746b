#include "app/animatedsplash.h"
#include "app/commandline.h"
#include "ui/mainwindow.h"
#include "ui/remotecontrol.h"
#include "widgets/timetext.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr int kCallTimeoutMs = 5000;

void setNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("Orlenta LE"));
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrin Systems"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.00"));
}

void print(FILE *to, const QString &text)
{
    std::fputs(qPrintable(text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n')), to);
}

bool instanceRuns(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface()->isServiceRegistered(RemoteControl::serviceName()).value();
}

// One call to the running window. Exit status 1 when none runs or the call
// failed, with the reason on standard error.
int callRunningInstance(const QString &interface, const QString &method, const QList<QVariant> &arguments,
                        QVariant *answer = nullptr)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!instanceRuns(bus)) {
        print(stderr, QStringLiteral("Orlenta LE is not running."));
        return 1;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(RemoteControl::serviceName(), RemoteControl::objectPath(), interface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        print(stderr, QStringLiteral("Orlenta LE did not answer: %1").arg(reply.errorMessage()));
        return 1;
    }
    if (answer && !reply.arguments().isEmpty())
        *answer = reply.arguments().constFirst().value<QDBusVariant>().variant();
    return 0;
}

int runRemote(const CommandLine &line)
{
    if (!line.printsPosition)
        return callRunningInstance(RemoteControl::serviceName(), line.method, line.arguments);
    QVariant position;
    const int status = callRunningInstance(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                           {RemoteControl::serviceName(), QStringLiteral("Position")}, &position);
    if (status == 0)
        print(stdout, formatTime(position.toLongLong()));
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    setNames();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    // The remote needs no display: it is read before any window exists.
    if (namesOption(arguments)) {
        QCoreApplication remote(argc, argv);
        const CommandLine line = parseCommandLine(QCoreApplication::arguments());
        switch (line.action) {
        case CommandLine::Action::Help:
            print(stdout, line.text);
            return 0;
        case CommandLine::Action::Error:
            print(stderr, line.text);
            return 2;
        case CommandLine::Action::Remote:
            return runRemote(line);
        case CommandLine::Action::Start:
            break;
        }
    }

    QApplication app(argc, argv);
    const CommandLine line = parseCommandLine(QApplication::arguments());
    if (line.action == CommandLine::Action::Error) {
        print(stderr, line.text);
        return 2;
    }
    // One program per desktop session: a second start hands its file to the
    // first, or brings the first to the front. Without a session bus each
    // start is on its own.
    if (instanceRuns(QDBusConnection::sessionBus())) {
        return line.file.isEmpty()
                   ? callRunningInstance(RemoteControl::serviceName(), QStringLiteral("Raise"), {})
                   : callRunningInstance(RemoteControl::serviceName(), QStringLiteral("Open"), {line.file});
    }
    // Closing or clicking away the splash must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // The name is taken before the splash, so a second start meanwhile finds
    // this one; a file it hands over waits for the window.
    auto *remote = new RemoteControl();
    QString problem;
    const bool remoteUp = remote->registerService(&problem);
    auto *waiting = new QObject(remote);
    auto file = std::make_shared<QString>(line.file);
    QObject::connect(remote, &RemoteControl::openRequested, waiting, [file](const QString &path) { *file = path; });

    auto *splash = new AnimatedSplash(QStringLiteral(":/Logocircle.png"), 3000, nullptr);
    QObject::connect(splash, &AnimatedSplash::readyToSwitch, splash, [splash, remote, remoteUp, problem, waiting, file]() {
        auto *window = new MainWindow(nullptr, false);
        window->setAttribute(Qt::WA_DeleteOnClose);
        QApplication::setQuitOnLastWindowClosed(true);
        splash->fadeOutAndFinish(window);

        delete waiting;
        remote->setParent(window);
        window->connectRemote(remote);
        if (!remoteUp)
            window->logEvent(QStringLiteral("Remote control unavailable: ") + problem);
        window->startShortcutPortal();

        QTimer::singleShot(0, window, [window, file = *file]() {
            window->offerRecovery();
            if (!file.isEmpty())
                window->openRecording(file);
        });
    });
    splash->startAnimation();
    return app.exec();
}
