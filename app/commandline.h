#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// What the program was asked to do by its command line.
struct CommandLine
{
    enum class Action {
        Start,  // the window, with `file` opened when one is named
        Remote, // one call to the running window, then exit
        Help,   // `text` to standard output
        Error,  // `text` to standard error
    };
    Action action = Action::Start;
    QString file;                // absolute
    QString method;              // of the running window's interface
    QList<QVariant> arguments;   // of `method`
    bool printsPosition = false; // reads the Position property instead of a call
    QString text;
};

// True when the arguments name an option, so the command line is read
// before any window (and without a display).
bool namesOption(const QStringList &arguments);

// `arguments` as the program got them, the program's name first.
CommandLine parseCommandLine(const QStringList &arguments);
