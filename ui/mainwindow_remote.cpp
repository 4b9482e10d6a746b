// Control from outside the window: the session bus service and the desktop
// portal's shortcuts, each carried out by the window's own commands.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "input/globalhotkeys.h"
#include "ui/remotecontrol.h"
#include "ui/shortcutportal.h"
#include "widgets/timetext.h"

#include <QTimer>

namespace {

// %1: why the portal could not help.
const QString kNoSystemKeys = QStringLiteral(
    "System-wide keys are unavailable on this session (%1). Bind desktop shortcuts to "
    "\"orlenta-le --play-pause\", \"--rewind\", \"--forward\" and \"--bookmark\" instead.");

bool waylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

void MainWindow::connectRemote(RemoteControl *remote)
{
    connect(remote, &RemoteControl::commandRequested, this, [this](RemoteControl::Command command) {
        switch (command) {
        case RemoteControl::Command::PlayPause:
            onPlayPauseClicked();
            break;
        case RemoteControl::Command::Play:
            if (engine && !engine->isPlaying())
                onPlayPauseClicked();
            break;
        case RemoteControl::Command::Pause:
            if (engine && engine->isPlaying())
                onPlayPauseClicked();
            break;
        case RemoteControl::Command::Stop:
            onStopClicked();
            break;
        case RemoteControl::Command::Rewind:
            onRewindClicked();
            break;
        case RemoteControl::Command::Forward:
            onForwardClicked();
            break;
        case RemoteControl::Command::Bookmark:
            // The transcriber is typing in another program: no label question.
            onQuickBookmark();
            break;
        case RemoteControl::Command::Raise:
            setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            raise();
            activateWindow();
            break;
        }
    });
    connect(remote, &RemoteControl::goToRequested, this, &MainWindow::goToPosition);
    // After the reply has gone: the unsaved-work question would otherwise
    // hold the caller until it is answered.
    connect(
        remote, &RemoteControl::openRequested, this,
        [this](const QString &path) {
            setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
            raise();
            activateWindow();
            openRecording(path);
        },
        Qt::QueuedConnection);

    const auto report = [this, remote]() { remote->setState(engine->position(), engine->isPlaying(), currentFile); };
    connect(engine, &AudioEngine::positionChanged, remote, report);
    connect(engine, &AudioEngine::playbackStopped, remote, report);
    connect(engine, &AudioEngine::recordingReplaced, remote, report);
    report();
}

void MainWindow::goToPosition(qlonglong ms)
{
    if (!engine || engine->isLoading() || engine->samples().isEmpty() || ms < 0)
        return;
    logEvent(QStringLiteral("User Action: Go to ") + formatTime(ms));
    engine->seek(ms);
}

void MainWindow::startShortcutPortal()
{
    if (hotkeys && hotkeys->registrationProblem().isEmpty() && !waylandSession())
        return;
    auto *portal = new ShortcutPortal(this);
    connect(portal, &ShortcutPortal::activated, this, &MainWindow::handleGlobalKey);
    connect(portal, &ShortcutPortal::bound, this,
            [this]() { logEvent(QStringLiteral("System-wide keys: bound through the desktop portal")); });
    // On Wayland a grab that was taken still sees keys only while an X11
    // window has the focus: no use to a transcriber typing elsewhere.
    connect(portal, &ShortcutPortal::unavailable, this, [this](const QString &reason) {
        const QString line = kNoSystemKeys.arg(reason);
        logEvent(line);
        // Also where a user who started the program from a terminal looks.
        qWarning("%s", qPrintable(line));
    });
    portal->start();
}
