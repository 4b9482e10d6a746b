// Runs the real program in a real X server, as a user would see it: splash,
// then the maximised main window, then closing it ends the program.

#include "audiofixtures.h"
#include "ui/journalkeeper.h"
#include "ui/recoveryjournal.h"
#include "xsession.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <optional>

namespace {

QStringList visibleProgramWindows()
{
    return xsession::windows(QStringLiteral("^orlenta-le$"), true);
}

QStringList mainWindows()
{
    return xsession::windows(QStringLiteral("^Orlenta LE \\(Beta\\)$"));
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
    void restart(const QStringList &arguments = {});
    QString writeTake() const;

    QString binary;
    std::optional<xsession::ProgramHome> home; // each test's own
    QProcess *program = nullptr;
};

void TestStartupEndToEnd::initTestCase()
{
    binary = qEnvironmentVariable("ORLENTA_BIN");
    QVERIFY2(QFileInfo(binary).isExecutable(), "ORLENTA_BIN must name the built program");
    QVERIFY2(xsession::unavailable().isEmpty(), qPrintable(xsession::unavailable()));
    QVERIFY2(visibleProgramWindows().isEmpty(), "another instance is already on this display");
}

void TestStartupEndToEnd::init()
{
    home.emplace();
    program = new QProcess(this);
    program->setProcessEnvironment(home->environment);
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

void TestStartupEndToEnd::restart(const QStringList &arguments)
{
    program->kill();
    program->waitForFinished();
    program->start(binary, arguments);
    QVERIFY(program->waitForStarted());
}

QString TestStartupEndToEnd::writeTake() const
{
    const QString take = home->filePath(QStringLiteral("take.wav"));
    fixtures::writeFile(take, fixtures::riff(fixtures::fmtChunk(1, 1, 8000, 16)
                                             + fixtures::chunk("data", QByteArray(16000, '\x20'))));
    return take;
}

void TestStartupEndToEnd::closeAndExpectCleanExit()
{
    QVERIFY(xsession::close(QStringLiteral("Orlenta LE (Beta)")));
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

    // Maximised: the window covers (nearly) the whole screen.
    const QStringList screen = xsession::xdotool({QStringLiteral("getdisplaygeometry")}).split(QLatin1Char(' '));
    const QString geometry = xsession::xdotool({QStringLiteral("getwindowgeometry"), mainWindows().first()});
    const QRegularExpressionMatch size = QRegularExpression(QStringLiteral("Geometry: (\\d+)x(\\d+)")).match(geometry);
    QVERIFY2(size.hasMatch() && screen.size() == 2, qPrintable(geometry));
    QVERIFY2(size.captured(1).toInt() >= screen.at(0).toInt() - 20, qPrintable(geometry));
    QVERIFY2(size.captured(2).toInt() >= screen.at(1).toInt() - 80, qPrintable(geometry));
    closeAndExpectCleanExit();
}

void TestStartupEndToEnd::clickingSplashAwayKeepsTheProgram()
{
    QTRY_COMPARE_WITH_TIMEOUT(visibleProgramWindows().size(), 1, 10000);
    const QString splash = visibleProgramWindows().first();
    xsession::xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), splash, QStringLiteral("300"),
                       QStringLiteral("300"), QStringLiteral("click"), QStringLiteral("1")});
    QTRY_VERIFY_WITH_TIMEOUT(visibleProgramWindows().isEmpty(), 5000);
    QCOMPARE(program->state(), QProcess::Running);

    QTRY_COMPARE_WITH_TIMEOUT(mainWindows().size(), 1, 15000);
    closeAndExpectCleanExit();
}

void TestStartupEndToEnd::killedProgramOffersItsWorkBack()
{
    // Work left by a program that died: a recording, one edit, two rows and
    // the case details.
    const QString take = writeTake();
    RecoveryJournal work;
    work.recordingPath = take;
    work.recordingSize = QFileInfo(take).size();
    work.recordingModified = QFileInfo(take).lastModified().toUTC();
    work.edits = {{JournalEdit::Op::Silence, 100, 400, -1, 0.0}};
    work.rows = {{100, 400, QStringLiteral("Redaction"), QStringLiteral("Silence Applied"), -1},
                 {500, 900, QStringLiteral("Speaker A"), QStringLiteral("typed before the crash"), -1}};
    work.details.reference = QStringLiteral("REF 7");
    work.written = QDateTime::currentDateTimeUtc();
    const QString state = home->filePath(QStringLiteral("state/orlenta-le"));
    QVERIFY(QDir().mkpath(state));
    const QString left = state + QStringLiteral("/journal-4999999.json");
    QVERIFY(fixtures::writeFile(left, encodeJournal(work)));

    QString offered = left;
    for (int start = 0; start < 2; ++start) {
        restart();
        const QString box = xsession::waitForWindow(QStringLiteral("^Recover Unsaved Work$"));
        QVERIFY(xsession::focus(box));
        xsession::key(QStringLiteral("Return"));
        QVERIFY(!xsession::waitForWindow(QStringLiteral("^Orlenta LE \\(Beta\\) - take\\.wav$"), 10000).isEmpty());

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
    const std::pair<QString, QString> runs[] = {
        {writeTake(), QStringLiteral("^Orlenta LE \\(Beta\\) - take\\.wav$")},
        {home->filePath(QStringLiteral("missing.wav")), QStringLiteral("^Error$")}, // said, not a silent start
    };
    for (const auto &[argument, expected] : runs) {
        restart({argument});
        QTRY_COMPARE_WITH_TIMEOUT(xsession::windows(expected).size(), 1, 20000);
    }
}

QTEST_GUILESS_MAIN(TestStartupEndToEnd)
#include "tst_startup_e2e.moc"
