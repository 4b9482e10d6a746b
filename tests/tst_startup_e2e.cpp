// Runs the real program in a real X server, as a user would see it: splash,
// then the maximised main window, then closing it ends the program.

#include "audiofixtures.h"
#include "ui/journalkeeper.h"
#include "ui/recoveryjournal.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QStringList visibleWindows(const QString &searchBy, const QString &value)
{
    const QString out = run(QStringLiteral("xdotool"),
                            {QStringLiteral("search"), QStringLiteral("--onlyvisible"), searchBy, value});
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

QStringList visibleProgramWindows()
{
    return visibleWindows(QStringLiteral("--classname"), QStringLiteral("^orlenta-le$"));
}

QStringList mainWindows()
{
    return visibleWindows(QStringLiteral("--name"), QStringLiteral("^Orlenta LE \\(Beta\\)$"));
}

} // namespace

class TestStartupEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void splashHandsOverToMaximisedWindow();
    void clickingSplashAwayKeepsTheProgram();
    void killedProgramOffersItsWorkBack();
    void fileOnTheCommandLineOpens();

private:
    void closeAndExpectCleanExit();

    QString binary;
    QString buildDir;
    QProcess *program = nullptr;
};

void TestStartupEndToEnd::initTestCase()
{
    binary = qEnvironmentVariable("ORLENTA_BIN");
    buildDir = qEnvironmentVariable("ORLENTA_BUILD_DIR", QDir::currentPath());
    QVERIFY2(QFileInfo(binary).isExecutable(), "ORLENTA_BIN must name the built program");
    QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server: run it through scripts/test.sh");
    QVERIFY2(visibleProgramWindows().isEmpty(), "another instance is already on this display");
}

void TestStartupEndToEnd::init()
{
    program = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    program->setProcessEnvironment(env);
    program->start(binary, {});
    QVERIFY(program->waitForStarted());
}

void TestStartupEndToEnd::cleanup()
{
    if (program->state() != QProcess::NotRunning) {
        program->kill();
        program->waitForFinished();
    }
    delete program;
    program = nullptr;
}

void TestStartupEndToEnd::closeAndExpectCleanExit()
{
    // wmctrl asks the window manager to close the window, as the title bar's
    // close button does.
    QCOMPARE(QProcess::execute(QStringLiteral("wmctrl"), {QStringLiteral("-c"), QStringLiteral("Orlenta LE (Beta)")}),
             0);
    QVERIFY(program->waitForFinished(10000));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);
    const QString errors = QString::fromLocal8Bit(program->readAllStandardError());
    QVERIFY2(!errors.contains(QLatin1String("QObject::")), qPrintable(errors));
}

void TestStartupEndToEnd::splashHandsOverToMaximisedWindow()
{
    // The splash comes first and alone.
    QTRY_COMPARE_WITH_TIMEOUT(visibleProgramWindows().size(), 1, 10000);
    QVERIFY(mainWindows().isEmpty());

    // The main window after about three seconds, then the splash fades away.
    QTRY_COMPARE_WITH_TIMEOUT(mainWindows().size(), 1, 15000);
    QTRY_COMPARE_WITH_TIMEOUT(visibleProgramWindows().size(), 1, 10000);
    QTest::qWait(500); // let the first frames of the window settle

    const QString shot = QDir(buildDir).filePath(QStringLiteral("startup-window.png"));
    QFile::remove(shot);
    QCOMPARE(QProcess::execute(QStringLiteral("import"),
                               {QStringLiteral("-window"), QStringLiteral("root"), shot}),
             0);
    const QImage image(shot);
    QVERIFY(!image.isNull());
    QSet<QRgb> colours;
    qint64 brightness = 0;
    for (int y = 0; y < image.height(); y += 4) {
        for (int x = 0; x < image.width(); x += 4) {
            const QRgb pixel = image.pixel(x, y);
            colours.insert(pixel);
            brightness += qGray(pixel);
        }
    }
    QVERIFY2(colours.size() > 50, "the screenshot is (nearly) uniform");
    const qint64 samples = qint64(image.width() / 4 + 1) * (image.height() / 4 + 1);
    QVERIFY2(brightness / samples < 90, "the window is not in the dark theme");

    // Maximised: the window covers (nearly) the whole screen.
    const QString window = mainWindows().first();
    const QString geometry = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), window});
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
    QVERIFY2(size.hasMatch(), qPrintable(geometry));
    QVERIFY2(size.captured(1).toInt() >= image.width() - 20, qPrintable(geometry));
    QVERIFY2(size.captured(2).toInt() >= image.height() - 80, qPrintable(geometry));

    closeAndExpectCleanExit();
}

void TestStartupEndToEnd::clickingSplashAwayKeepsTheProgram()
{
    QTRY_COMPARE_WITH_TIMEOUT(visibleProgramWindows().size(), 1, 10000);
    const QString splash = visibleProgramWindows().first();
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("mousemove"), QStringLiteral("--window"), splash, QStringLiteral("300"),
                                QStringLiteral("300"), QStringLiteral("click"), QStringLiteral("1")}),
             0);
    QTRY_VERIFY_WITH_TIMEOUT(visibleProgramWindows().isEmpty(), 5000);
    QCOMPARE(program->state(), QProcess::Running);

    QTRY_COMPARE_WITH_TIMEOUT(mainWindows().size(), 1, 15000);
    closeAndExpectCleanExit();
}

void TestStartupEndToEnd::killedProgramOffersItsWorkBack()
{
    // Work left by a program that died: a recording, one edit, two rows and
    // the case details. The program is started anew on a state folder of
    // this test's own.
    QTemporaryDir home;
    const QString take = home.filePath(QStringLiteral("take.wav"));
    QVERIFY(fixtures::writeFile(take, fixtures::riff(fixtures::fmtChunk(1, 1, 8000, 16)
                                                     + fixtures::chunk("data", QByteArray(16000, '\x20')))));
    RecoveryJournal work;
    work.recordingPath = take;
    work.recordingSize = QFileInfo(take).size();
    work.recordingModified = QFileInfo(take).lastModified().toUTC();
    work.edits = {{JournalEdit::Op::Silence, 100, 400, -1, 0.0}};
    work.rows = {{100, 400, QStringLiteral("Redaction"), QStringLiteral("Silence Applied"), -1},
                 {500, 900, QStringLiteral("Speaker A"), QStringLiteral("typed before the crash"), -1}};
    work.details.reference = QStringLiteral("REF 7");
    work.written = QDateTime::currentDateTimeUtc();
    const QString state = home.filePath(QStringLiteral("state/orlenta-le"));
    QVERIFY(QDir().mkpath(state));
    const QString left = state + QStringLiteral("/journal-4999999.json");
    QVERIFY(fixtures::writeFile(left, encodeJournal(work)));

    QString offered = left;
    QProcessEnvironment env = program->processEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    for (int start = 0; start < 2; ++start) {
        program->kill();
        program->waitForFinished();
        program->setProcessEnvironment(env);
        program->start(binary, {});
        QVERIFY(program->waitForStarted());

        const QStringList question = {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                      QStringLiteral("^Recover Unsaved Work$")};
        QTRY_VERIFY_WITH_TIMEOUT(!run(QStringLiteral("xdotool"), question).isEmpty(), 20000);
        const QString box = run(QStringLiteral("xdotool"), question).section(QLatin1Char('\n'), 0, 0);
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                   {QStringLiteral("windowactivate"), QStringLiteral("--sync"), box,
                                    QStringLiteral("key"), QStringLiteral("Return")}),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(QStringLiteral("--name"), QStringLiteral("^Orlenta LE \\(Beta\\) - take\\.wav$")).size(),
                                  1, 10000);

        // The recovered work is journalled by the program now running, and
        // the journal it came from is gone.
        const QString own = state + QStringLiteral("/journal-%1.json").arg(program->processId());
        QTRY_VERIFY_WITH_TIMEOUT(decodeJournal(fixtures::readFile(own)).ok, 5000);
        const RecoveryJournal kept = decodeJournal(fixtures::readFile(own)).journal;
        QCOMPARE(kept.rows, work.rows);
        QCOMPARE(kept.edits, work.edits);
        QCOMPARE(kept.details.reference, work.details.reference);
        QVERIFY(!QFile::exists(offered));
        // Killed: the next start offers the same work again.
        ::kill(pid_t(program->processId()), SIGKILL);
        QVERIFY(program->waitForFinished());
        QVERIFY(QFile::exists(own));
        offered = own;
    }
}

void TestStartupEndToEnd::fileOnTheCommandLineOpens()
{
    QTemporaryDir home;
    const QString take = home.filePath(QStringLiteral("take.wav"));
    QVERIFY(fixtures::writeFile(take, fixtures::riff(fixtures::fmtChunk(1, 1, 8000, 16)
                                                     + fixtures::chunk("data", QByteArray(16000, '\x20')))));
    QProcessEnvironment env = program->processEnvironment();
    env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral("state")));
    const std::pair<QString, QString> runs[] = {
        {take, QStringLiteral("^Orlenta LE \\(Beta\\) - take\\.wav$")},
        {home.filePath(QStringLiteral("missing.wav")), QStringLiteral("^Error$")}, // said, not a silent start
    };
    for (const auto &[argument, expected] : runs) {
        program->kill();
        program->waitForFinished();
        program->setProcessEnvironment(env);
        program->start(binary, {argument});
        QVERIFY(program->waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(QStringLiteral("--name"), expected).size(), 1, 20000);
    }
}

QTEST_GUILESS_MAIN(TestStartupEndToEnd)
#include "tst_startup_e2e.moc"
