#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The X server the end-to-end tests drive as a user would, through xdotool
// and wmctrl: scripts/test.sh starts Xvfb with a window manager on DISPLAY.
namespace xsession {

// Why this process cannot drive an X session; empty when it can.
QString unavailable();

// xdotool's output; empty when it found nothing or failed, which for a
// search is an answer.
QString xdotool(const QStringList &arguments);

// Visible windows whose title (or, byClass, class name) matches pattern.
QStringList windows(const QString &pattern, bool byClass = false);

// The first visible window titled to match pattern once one shows; empty
// when none did within timeoutMs.
QString waitForWindow(const QString &pattern, int timeoutMs = 20000);

// Keys as xdotool names them, separated by spaces, with the modifiers that
// happen to be held released first.
void key(const QString &keys);

// Gives window the keyboard focus; whether it has it.
bool focus(const QString &window);

// Asks the window manager to close the window with this title, as the
// title bar's close button does.
bool close(const QString &title);

// Where the program under test runs: on this X server, with state and
// settings folders of its own, so neither the work a killed run left behind
// nor the real user's choices (backstep, folders) change what it does.
struct ProgramHome
{
    ProgramHome();
    QString filePath(const QString &name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QProcessEnvironment environment;
};

// Another program's window, holding the keyboard focus while it lives, so
// keys reach the program under test only through its system-wide grab.
class OtherClient
{
public:
    OtherClient();
    ~OtherClient();
    OtherClient(const OtherClient &) = delete;
    OtherClient &operator=(const OtherClient &) = delete;

    // Whether its window has the focus now.
    bool hasFocus() const;

private:
    QProcess process;
    QString window;
};

} // namespace xsession
