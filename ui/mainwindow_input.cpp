// Hands-free control: system-wide keys and USB foot pedals mapped onto the
// transport commands, the Pedals page, and Enter to bookmark.

#include "ui/mainwindow.h"

#include "input/footpedalmanager.h"
#include "input/globalhotkeys.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QListWidget>
#include <QShortcut>
#include <QTextEdit>

namespace {

constexpr int kLeftPedal = 1;
constexpr int kCenterPedal = 2;
constexpr int kRightPedal = 3;

} // namespace

void MainWindow::setupHotkeys()
{
    hotkeys = new GlobalHotkeys(this);
    connect(hotkeys, &GlobalHotkeys::hotkeyPressed, this, &MainWindow::handleGlobalKey);
    if (const QString problem = hotkeys->registrationProblem(); !problem.isEmpty())
        logEvent(problem);
}

void MainWindow::setupBookmarkKeys()
{
    // Only while the view or the grid itself has the focus: the editor of a
    // grid cell is a child of the grid and needs Enter to finish its edit.
    for (QWidget *target : QList<QWidget *>{waveL, waveR, grid}) {
        auto *enter = new QShortcut(target);
        enter->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
        enter->setContext(Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, &MainWindow::onBookmarkClicked);
    }
}

void MainWindow::setupPedals()
{
    pedalManager = new FootPedalManager(this);
    // Connected first, so the registration's own lines reach the Pedals page.
    connect(pedalManager, &FootPedalManager::rawInputLog, this, &MainWindow::onPedalLog);
    if (pedalManager->registerDevices()) {
        connect(pedalManager, &FootPedalManager::pedalDown, this, &MainWindow::onPedalDown);
        connect(pedalManager, &FootPedalManager::pedalUp, this, &MainWindow::onPedalUp);
    }
}

void MainWindow::handleGlobalKey(int keyId)
{
    logEvent(QStringLiteral("Global Hotkey Pressed: %1").arg(keyId));
    switch (keyId) {
    case 1:
        onPlayPauseClicked();
        break;
    case 2:
        onRewindClicked();
        break;
    case 3:
        onForwardClicked();
        break;
    case 4:
        onQuickBookmark();
        break;
    default:
        break;
    }
}

void MainWindow::onPedalDown(int button)
{
    // Only the three pedals are named; anything else is no pedal of ours.
    const QString name = button == kLeftPedal     ? QStringLiteral("Left (Rewind)")
                         : button == kCenterPedal ? QStringLiteral("Center (Play)")
                         : button == kRightPedal  ? QStringLiteral("Right (Forward)")
                                                  : QString();
    if (name.isEmpty())
        return;
    if (pedalsView)
        pedalsView->append(QStringLiteral("DOWN: ") + name);
    if (button == kLeftPedal)
        onRewindClicked();
    else if (button == kCenterPedal)
        onPlayPauseClicked();
    else
        onForwardClicked();
}

void MainWindow::onPedalUp(int button)
{
    const QString name = button == kLeftPedal     ? QStringLiteral("Left")
                         : button == kCenterPedal ? QStringLiteral("Center")
                         : button == kRightPedal  ? QStringLiteral("Right")
                                                  : QString();
    if (pedalsView && !name.isEmpty())
        pedalsView->append(QStringLiteral("UP: ") + name);
}

void MainWindow::onPedalLog(QString msg)
{
    if (pedalsView)
        pedalsView->append(msg);
}

void MainWindow::onRefreshPedals()
{
    // The devices present now replace the last listing; appending would list
    // every device again on each refresh.
    if (pedalDeviceList && pedalManager) {
        pedalDeviceList->clear();
        pedalDeviceList->addItems(pedalManager->enumerateDevices());
    }
}
