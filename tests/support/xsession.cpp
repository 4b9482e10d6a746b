#include "xsession.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtCore/qtestsupport_core.h>

namespace xsession {

QString unavailable()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("needs an X server on DISPLAY: run it through scripts/test.sh");
    for (const char *tool : {"xdotool", "wmctrl"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("needs %1").arg(QString::fromLatin1(tool));
    }
    return QString();
}

QString xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList windows(const QString &pattern, bool byClass)
{
    const QString found = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                   byClass ? QStringLiteral("--classname") : QStringLiteral("--name"), pattern});
    return found.isEmpty() ? QStringList() : found.split(QLatin1Char('\n'));
}

QString waitForWindow(const QString &pattern, int timeoutMs)
{
    QStringList found;
    if (!QTest::qWaitFor([&]() { return !(found = windows(pattern)).isEmpty(); }, timeoutMs))
        return QString();
    return found.value(0);
}

void key(const QString &keys)
{
    xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--clearmodifiers")} + keys.split(QLatin1Char(' ')));
    QTest::qWait(150);
}

bool focus(const QString &window)
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    return QTest::qWaitFor([&]() { return xdotool({QStringLiteral("getwindowfocus")}) == window; }, 5000);
}

bool close(const QString &title)
{
    return QProcess::execute(QStringLiteral("wmctrl"), {QStringLiteral("-c"), title}) == 0;
}

ProgramHome::ProgramHome()
    : environment(QProcessEnvironment::systemEnvironment())
{
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
    // PulseAudio clients look for the server and its cookie in the settings
    // folder unless told where they are.
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    pactl.waitForFinished(5000);
    const QString server = QRegularExpression(QStringLiteral("Server String: (/\\S+)"))
                               .match(QString::fromLocal8Bit(pactl.readAllStandardOutput())).captured(1);
    if (!environment.contains(QStringLiteral("PULSE_SERVER")) && !server.isEmpty())
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + server);
    for (const QString &cookie : {qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/pulse/cookie"),
                                  QDir::homePath() + QStringLiteral("/.config/pulse/cookie")}) {
        if (!environment.contains(QStringLiteral("PULSE_COOKIE")) && QFileInfo(cookie).isFile())
            environment.insert(QStringLiteral("PULSE_COOKIE"), cookie);
    }
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
}

OtherClient::OtherClient()
{
    // In a corner, clear of what the tests look at.
    process.start(QStringLiteral("xmessage"), {QStringLiteral("-name"), QStringLiteral("orlenta-other-client"),
                                              QStringLiteral("-geometry"), QStringLiteral("-0-0"),
                                              QStringLiteral("another program")});
    window = waitForWindow(QStringLiteral("^orlenta-other-client$"), 10000);
    if (!window.isEmpty())
        focus(window);
}

bool OtherClient::hasFocus() const
{
    return !window.isEmpty() && xdotool({QStringLiteral("getwindowfocus")}) == window;
}

OtherClient::~OtherClient()
{
    process.kill();
    process.waitForFinished();
}

} // namespace xsession
