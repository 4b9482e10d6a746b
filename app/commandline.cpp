#include "app/commandline.h"

#include "widgets/timetext.h"

#include <QCommandLineParser>
#include <QFileInfo>

bool namesOption(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument.startsWith(QLatin1String("--")) || argument == QLatin1String("-h")
            || argument == QLatin1String("-?"))
            return true;
    }
    return false;
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Orlenta LE plays recorded interviews for transcription.\n"
        "With an option, it controls the Orlenta LE already running in this desktop session."));
    const QCommandLineOption help = parser.addHelpOption();
    // Option name, D-Bus method.
    const QList<std::pair<QCommandLineOption, QString>> calls = {
        {QCommandLineOption(QStringLiteral("play-pause"), QStringLiteral("Play, or pause while playing.")),
         QStringLiteral("PlayPause")},
        {QCommandLineOption(QStringLiteral("rewind"), QStringLiteral("Back 5 seconds.")), QStringLiteral("Rewind")},
        {QCommandLineOption(QStringLiteral("forward"), QStringLiteral("On 5 seconds.")), QStringLiteral("Forward")},
        {QCommandLineOption(QStringLiteral("bookmark"), QStringLiteral("A bookmark at the heard position.")),
         QStringLiteral("Bookmark")},
    };
    for (const auto &call : calls)
        parser.addOption(call.first);
    const QCommandLineOption goTo(
        QStringLiteral("goto"), QStringLiteral("Go to a time in the recording: hh:mm:ss(.zzz), mm:ss or seconds."),
        QStringLiteral("time"));
    parser.addOption(goTo);
    const QCommandLineOption position(QStringLiteral("position"), QStringLiteral("Print the heard position."));
    parser.addOption(position);
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A recording to open."), QStringLiteral("[file]"));

    CommandLine line;
    if (!parser.parse(arguments)) {
        line.action = CommandLine::Action::Error;
        line.text = parser.errorText();
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        line.text = parser.helpText();
        return line;
    }
    int remoteCommands = 0;
    for (const auto &call : calls) {
        if (parser.isSet(call.first)) {
            ++remoteCommands;
            line.method = call.second;
        }
    }
    if (parser.isSet(goTo)) {
        ++remoteCommands;
        const QString typed = parser.value(goTo);
        const std::optional<qlonglong> ms = parseGoToTime(typed);
        if (!ms) {
            line.action = CommandLine::Action::Error;
            line.text = QStringLiteral("Not a time: %1").arg(typed);
            return line;
        }
        line.method = QStringLiteral("GoTo");
        line.arguments = {*ms};
    }
    if (parser.isSet(position)) {
        ++remoteCommands;
        line.printsPosition = true;
    }
    const QStringList files = parser.positionalArguments();
    if (remoteCommands > 1 || (remoteCommands == 1 && !files.isEmpty()) || files.size() > 1) {
        line.action = CommandLine::Action::Error;
        line.text = QStringLiteral("Give one file or one command at a time.");
        return line;
    }
    line.action = remoteCommands == 1 ? CommandLine::Action::Remote : CommandLine::Action::Start;
    if (!files.isEmpty())
        line.file = QFileInfo(files.first()).absoluteFilePath();
    return line;
}
