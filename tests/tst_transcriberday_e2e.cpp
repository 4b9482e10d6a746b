// A transcriber's day in the real program, by clicks and keys only: open,
// play, redact, undo, bookmark (also by system-wide key from another program),
// type the case details, export; the outputs are read back with other tools.
// Where to click is learnt from a twin window built in this process.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "xsession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using namespace fixtures;
using xsession::xdotool;

namespace {

constexpr int kRate = 22050;
constexpr int kMinutes = 10;
const QString kStartTime = QStringLiteral("09:30:00");

// Fraction of pixels that differ between two pictures of the same size.
double difference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    }
    return double(differing) / (qint64(a.width()) * a.height());
}

// `sox FILE -n remix CHANNEL trim START =END stat` → the maximum amplitude.
double maxAmplitude(const QString &wav, int channel, double startS, double endS)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"), {wav, QStringLiteral("-n"), QStringLiteral("remix"), QString::number(channel),
                                      QStringLiteral("trim"), QString::number(startS, 'f', 3),
                                      QLatin1Char('=') + QString::number(endS, 'f', 3), QStringLiteral("stat")});
    sox.waitForFinished(60000);
    const QString stat = QString::fromLocal8Bit(sox.readAllStandardError());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Maximum amplitude:\\s+(\\S+)")).match(stat);
    return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
}

} // namespace

class TestTranscriberDay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void wholeDay();

private:
    void learnLayoutFromTwin();
    QPoint centre(const QString &name) const;
    void click(const QString &name);
    void clickAt(const QPoint &point);
    void type(const QString &text);
    void answerDialog(const QString &title, const QString &path);
    QImage screenshot(const QString &file = QString());
    QImage crop(const QImage &shot, const QString &name) const;
    QImage clock() { return crop(screenshot(), QStringLiteral("clockLabel")); }
    bool clockIs(bool playing);
    QStringList readCsv(const QString &path);

    xsession::ProgramHome home; // the program's own state and settings are in it too
    QString binary;
    QString buildDir;
    QString recording;
    QHash<QString, QRect> layout; // widget name → rectangle in the window
    QImage twinRealClock;
    QProcess *program = nullptr;
    QString window;
};

void TestTranscriberDay::initTestCase()
{
    binary = qEnvironmentVariable("ORLENTA_BIN");
    buildDir = qEnvironmentVariable("ORLENTA_BUILD_DIR", QDir::currentPath());
    QVERIFY2(QFileInfo(binary).isExecutable(), "ORLENTA_BIN must name the built program");
    QVERIFY2(xsession::unavailable().isEmpty(), qPrintable(xsession::unavailable()));
    QCOMPARE(qgetenv("QT_QPA_PLATFORM"), "xcb");

    // Ten minutes, a different tone on each side, recorded from 09:30:00.
    recording = home.filePath(QStringLiteral("interview 0930.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("aevalsrc=0.3*sin(300*2*PI*t)|0.3*sin(500*2*PI*t):s=%1:d=%2")
                               .arg(kRate).arg(kMinutes * 60),
                           {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le"), QStringLiteral("-write_bext"),
                            QStringLiteral("1"), QStringLiteral("-metadata"),
                            QStringLiteral("origination_date=2026-12-01"), QStringLiteral("-metadata"),
                            QStringLiteral("origination_time=") + kStartTime},
                           recording));

    learnLayoutFromTwin();
}

void TestTranscriberDay::learnLayoutFromTwin()
{
    auto *twin = new MainWindow(nullptr, false);
    twin->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(twin));
    QVERIFY(twin->findChild<AudioEngine *>()->loadFile(recording));
    QTest::qWait(300); // the views fit the recording 100 ms after a load

    const char *names[] = {"openButton", "clockLabel",   "playButton", "linkCheck",
                           "waveR",       "silenceButton",   "bookmarkButton", "deselectButton", "refEdit",  "locEdit",
                           "opEdit",      "oicEdit",         "transcriberEdit", "translatorEdit",
                           "exportButton"};
    for (const char *name : names) {
        auto *widget = twin->findChild<QWidget *>(QString::fromLatin1(name));
        QVERIFY2(widget && widget->isVisible(), name);
        layout.insert(QString::fromLatin1(name), QRect(widget->mapTo(twin, QPoint(0, 0)), widget->size()));
    }

    // A recording with a start time opens in Real Time.
    auto *source = twin->findChild<QComboBox *>(QStringLiteral("timeSourceCombo"));
    QCOMPARE(source->count(), 2);
    QCOMPARE(source->currentIndex(), 1);
    QCOMPARE(twin->findChild<QLabel *>(QStringLiteral("clockLabel"))->text(), kStartTime + QStringLiteral(".000"));
    twinRealClock = twin->grab().toImage().copy(layout.value(QStringLiteral("clockLabel")));

    // Gone before the program starts: the twin holds the system-wide keys.
    delete twin;
}

void TestTranscriberDay::cleanup()
{
    if (program && program->state() != QProcess::NotRunning) {
        program->kill();
        program->waitForFinished();
    }
    delete program;
    program = nullptr;
}

QPoint TestTranscriberDay::centre(const QString &name) const
{
    return layout.value(name).center();
}

void TestTranscriberDay::clickAt(const QPoint &point)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(point.x()),
             QString::number(point.y()), QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(150);
}

void TestTranscriberDay::click(const QString &name)
{
    QVERIFY2(layout.contains(name), qPrintable(name));
    clickAt(centre(name));
}

void TestTranscriberDay::type(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), text});
    QTest::qWait(100);
}

// A dialog of the program's own whose text field has the focus.
void TestTranscriberDay::answerDialog(const QString &title, const QString &path)
{
    const QString pattern = QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
    QVERIFY2(!xsession::waitForWindow(pattern, 10000).isEmpty(), qPrintable(title + QStringLiteral(" did not open")));
    QTest::qWait(300);
    type(path);
    xsession::key(QStringLiteral("Return"));
    QTRY_VERIFY2_WITH_TIMEOUT(xsession::windows(pattern).isEmpty(), qPrintable(title + QStringLiteral(" did not close")),
                              10000);
    QTest::qWait(300);
}

QImage TestTranscriberDay::screenshot(const QString &file)
{
    const QString path = file.isEmpty() ? home.filePath(QStringLiteral("shot.png")) : QDir(buildDir).filePath(file);
    QFile::remove(path);
    if (QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), window, path}) != 0)
        return QImage();
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

QImage TestTranscriberDay::crop(const QImage &shot, const QString &name) const
{
    return shot.copy(layout.value(name));
}

// Whether two looks at the clock a moment apart differ (playing) or agree.
bool TestTranscriberDay::clockIs(bool playing)
{
    QImage before = clock();
    // A stream started or resumed on this sound server can take seconds to
    // move, far more under the sanitizers.
    for (int i = 0; i < 75; ++i) {
        QTest::qWait(400);
        const QImage now = clock();
        if ((difference(now, before) > 0.0) == playing)
            return true;
        before = now;
    }
    return false;
}

// Python's csv module reads the export back: one line a record, fields joined by "|".
QStringList TestTranscriberDay::readCsv(const QString &path)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import csv,sys\n"
                                 "for row in csv.reader(open(sys.argv[1], newline='', encoding='utf-8')):\n"
                                 "    print('|'.join(row))\n"),
                  path});
    python.waitForFinished(30000);
    if (python.exitCode() != 0)
        return {QStringLiteral("python failed: ") + QString::fromLocal8Bit(python.readAllStandardError())};
    return QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestTranscriberDay::wholeDay()
{
    const QString csv = home.filePath(QStringLiteral("transcript.csv"));
    const QString pdf = home.filePath(QStringLiteral("report.pdf"));
    const QString wav = home.filePath(QStringLiteral("redacted.wav"));

    program = new QProcess(this);
    program->setProcessEnvironment(home.environment);
    program->start(binary, {});
    QVERIFY(program->waitForStarted());
    QVERIFY(!(window = xsession::waitForWindow(QStringLiteral("^Orlenta LE \\(Beta\\)"))).isEmpty());
    QTest::qWait(1500); // the splash fades out over the window

    // Morning: open the interview.
    click(QStringLiteral("openButton"));
    answerDialog(QStringLiteral("Open Audio File"), recording);
    QVERIFY(!xsession::waitForWindow(QStringLiteral("^Orlenta LE \\(Beta\\) - interview 0930\\.wav$")).isEmpty());
    QTest::qWait(500);
    QVERIFY2(difference(clock(), twinRealClock) == 0.0, "the clock does not read 09:30:00.000 after opening");

    // Play, then pause with the system-wide key.
    click(QStringLiteral("playButton"));
    QVERIFY2(clockIs(true), "the clock did not move while playing");
    QTest::qWait(1500);
    xsession::key(QStringLiteral("F1"));
    QVERIFY2(clockIs(false), "F1 did not pause");

    // Redact a passage on the right channel only: unlink, drag, silence.
    const QRect link = layout.value(QStringLiteral("linkCheck"));
    clickAt(QPoint(link.left() + 8, link.center().y())); // on the box, not the empty space after the text
    const QRect right = layout.value(QStringLiteral("waveR"));
    const int y = right.center().y();
    const int from = right.left() + right.width() * 3 / 10;
    const int to = right.left() + right.width() * 4 / 10;
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(from), QString::number(y),
             QStringLiteral("mousedown"), QStringLiteral("1")});
    for (int x = from; x <= to; x += (to - from) / 8)
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y)});
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(to), QString::number(y),
             QStringLiteral("mouseup"), QStringLiteral("1")});
    QTest::qWait(300);
    const auto rightView = [this]() { return crop(screenshot(), QStringLiteral("waveR")); };
    const QImage selected = rightView();
    click(QStringLiteral("silenceButton"));
    QImage silenced;
    QTRY_VERIFY2_WITH_TIMEOUT(difference(silenced = rightView(), selected) > 0.002, "nothing was silenced", 10000);
    QTest::qWait(300);
    silenced = rightView();
    xsession::key(QStringLiteral("ctrl+z"));
    QTRY_VERIFY2_WITH_TIMEOUT(difference(rightView(), selected) == 0.0, "undo did not bring the passage back", 10000);
    xsession::key(QStringLiteral("ctrl+y"));
    QTRY_VERIFY2_WITH_TIMEOUT(difference(rightView(), silenced) == 0.0, "redo did not silence the passage again",
                              10000);

    // Two bookmarks at the play position, the second a little later.
    click(QStringLiteral("deselectButton"));
    click(QStringLiteral("bookmarkButton"));
    answerDialog(QStringLiteral("Add Bookmark"), QStringLiteral("Q1"));
    xsession::key(QStringLiteral("F1"));
    QVERIFY2(clockIs(true), "F1 did not play");
    QTest::qWait(1500);
    xsession::key(QStringLiteral("F1"));
    QVERIFY2(clockIs(false), "F1 did not pause");
    click(QStringLiteral("bookmarkButton"));
    answerDialog(QStringLiteral("Add Bookmark"), QStringLiteral("A1"));

    // Another program has the focus: play, bookmark and pause by system-wide key.
    {
        const xsession::OtherClient other;
        QVERIFY(other.hasFocus());
        xsession::key(QStringLiteral("F1"));
        QVERIFY2(clockIs(true), "F1 did not play from another program");
        QTest::qWait(1500);
        xsession::key(QStringLiteral("F4"));
        xsession::key(QStringLiteral("F1"));
        QVERIFY2(clockIs(false), "F1 did not pause from another program");
        QVERIFY(other.hasFocus());
    }

    // The case details.
    const QList<std::pair<QString, QString>> details = {
        {QStringLiteral("refEdit"), QStringLiteral("CASE-2026-118")},
        {QStringLiteral("locEdit"), QStringLiteral("Interview Room 2")},
        {QStringLiteral("opEdit"), QStringLiteral("Kestrel")},
        {QStringLiteral("oicEdit"), QStringLiteral("DS Marlow")},
        {QStringLiteral("transcriberEdit"), QStringLiteral("J Fenwick")},
        {QStringLiteral("translatorEdit"), QStringLiteral("none")},
    };
    for (const auto &[field, text] : details) {
        click(field);
        type(text);
    }
    screenshot(QStringLiteral("day-2-redacted.png"));

    // Hand-over; the report last, so its audit log holds the other exports.
    const std::tuple<QString, QString, QString> exports[] = {
        {QStringLiteral("Down Down Return"), QStringLiteral("Export Transcript"), csv},
        {QStringLiteral("Down Return"), QStringLiteral("Save Audio File"), wav},
        {QStringLiteral("Down Down Down Return"), QStringLiteral("Export Report"), pdf}};
    for (const auto &[menuKeys, title, path] : exports) {
        click(QStringLiteral("exportButton"));
        xsession::key(menuKeys);
        answerDialog(title, path);
        QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo(path).size() > 0, qPrintable(title), 20000);
    }

    QVERIFY(xsession::close(QStringLiteral("Orlenta LE (Beta)")));
    QVERIFY(program->waitForFinished(15000));
    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    QCOMPARE(program->exitCode(), 0);

    // The report, read back as text.
    const QString report = QString::fromLocal8Bit(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf,
                                                                                   QStringLiteral("-")}));
    for (const auto &[field, text] : details)
        QVERIFY2(report.contains(text), qPrintable(text));
    // Lines wider than the page wrap: paths are compared without white space.
    const QRegularExpression space(QStringLiteral("\\s"));
    const QString squashed = QString(report).remove(space);
    for (const QString &line : {QStringLiteral("Opened: ") + recording, QStringLiteral("Exported CSV: ") + csv,
                                QStringLiteral("Saved: ") + wav})
        QVERIFY2(squashed.contains(QString(line).remove(space)), qPrintable(line));
    // Bookmarks give the play position as the grid shows times.
    const QRegularExpression bookmarks(
        QStringLiteral("Bookmark Added: (Q1|A1|Bookmark) @(\\d{2,}):(\\d{2}):(\\d{2})\\.(\\d{3})"));
    QList<qlonglong> bookmarkMs;
    for (auto it = bookmarks.globalMatch(report); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        bookmarkMs.append(((m.captured(2).toLongLong() * 60 + m.captured(3).toLongLong()) * 60
                           + m.captured(4).toLongLong()) * 1000 + m.captured(5).toLongLong());
    }
    QCOMPARE(bookmarkMs.size(), 3);
    QVERIFY2(bookmarkMs.at(1) > bookmarkMs.at(0) && bookmarkMs.at(2) > bookmarkMs.at(1), "the bookmarks are not in time");
    const QRegularExpressionMatch silence =
        QRegularExpression(QStringLiteral("Silenced: (\\d+)-(\\d+)ms")).match(report);
    QVERIFY2(silence.hasMatch(), qPrintable(report));
    const qlonglong silenceStart = silence.captured(1).toLongLong();
    const qlonglong silenceEnd = silence.captured(2).toLongLong();
    for (const char *moved : {"Undone: ", "Redone: "})
        QVERIFY2(report.contains(QString::fromLatin1(moved) + silence.captured(0)), moved);
    const qlonglong totalMs = qlonglong(kMinutes) * 60 * 1000;
    QVERIFY(silenceStart > totalMs * 25 / 100 && silenceStart < totalMs * 35 / 100);
    QVERIFY(silenceEnd > totalMs * 35 / 100 && silenceEnd < totalMs * 45 / 100);

    // The redaction on the right channel (1) and three bookmarks on both (-1).
    const QStringList rows = readCsv(csv);
    QCOMPARE(rows.value(0), QStringLiteral("Start_Time|End_Time|Label|Note|Channel"));
    QCOMPARE(rows.size(), 5);
    QVERIFY2(rows.filter(QRegularExpression(QStringLiteral("^[0-9:.]+\\|[0-9:.]+\\|Redaction\\|Silence Applied\\|1$")))
                     .size() == 1,
             qPrintable(rows.join(QLatin1Char('\n'))));
    for (const char *label : {"Q1", "A1", "Bookmark"})
        QCOMPARE(rows.filter(QRegularExpression(QStringLiteral("^[0-9:.]+\\|[0-9:.]+\\|%1\\|\\|-1$").arg(label))).size(), 1);

    // The edited audio: same format and length, case details in its tags,
    // the start time kept, the right channel silent over the passage and only there.
    const QString probed = QString::fromLocal8Bit(
        run(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                        QStringLiteral("stream=channels,sample_rate,duration_ts:format_tags"),
                                        QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), wav}));
    for (const QString &line :
         {QStringLiteral("channels=2"), QStringLiteral("sample_rate=%1").arg(kRate),
          QStringLiteral("duration_ts=%1").arg(qlonglong(kRate) * kMinutes * 60), QStringLiteral("TAG:title=CASE-2026-118"),
          QStringLiteral("J Fenwick"), QStringLiteral("Interview Room 2"),
          QStringLiteral("TAG:time_reference=%1").arg(qlonglong(kRate) * 34200)})
        QVERIFY2(probed.contains(line), qPrintable(line + QLatin1Char('\n') + probed));
    const double startS = silenceStart / 1000.0;
    const double endS = silenceEnd / 1000.0;
    QCOMPARE(maxAmplitude(wav, 2, startS + 0.01, endS - 0.01), 0.0);
    QVERIFY(maxAmplitude(wav, 1, startS + 0.01, endS - 0.01) > 0.05);
    QVERIFY(maxAmplitude(wav, 2, startS - 1.0, startS - 0.01) > 0.05);
    QVERIFY(maxAmplitude(wav, 2, endS + 0.01, endS + 1.0) > 0.05);
}

QTEST_MAIN(TestTranscriberDay)
#include "tst_transcriberday_e2e.moc"
