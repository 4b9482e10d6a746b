// The transcript commands of the window: bookmarks, CSV out and in, the PDF
// report and the cue points of a recording.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace fixtures;

class TestTranscriptCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void bookmarkDialogDependsOnTheChannel_data();
    void bookmarkDialogDependsOnTheChannel();
    void csvOutAndBackIn();
    void csvImportIsReported_data();
    void csvImportIsReported();
    void pdfReportIsRecorded_data();
    void pdfReportIsRecorded();
    void reportAuditCoversItsRecording();
    void cuePointsBecomeRows();
    void exportsSuggestANameBesideTheRecording_data();
    void exportsSuggestANameBesideTheRecording();
    void aFullDiskSaysSoAndKeepsTheOldFile_data();
    void aFullDiskSaysSoAndKeepsTheOldFile();

private:
    template<typename T>
    T *child(const char *name) const
    {
        return window->findChild<T *>(QString::fromLatin1(name));
    }
    AudioEngine *engine() const { return window->findChild<AudioEngine *>(); }
    TranscriptionGrid *grid() const { return window->findChild<TranscriptionGrid *>(); }
    QString audit() const { return child<QTextEdit>("auditLogView")->toPlainText(); }
    // Answers every dialog that opens: file dialogs with `path`, input
    // dialogs with `text`; notes each dialog as "title|label or text".
    void answer(const QString &path, const QString &text = QString());
    void exportEntry(int index) { child<QPushButton>("exportButton")->menu()->actions().at(index)->trigger(); }

    QTemporaryDir dir;
    QString recording;
    MainWindow *window = nullptr;
    QTimer *answering = nullptr;
    QStringList seen;
};

void TestTranscriptCommands::initTestCase()
{
    recording = dir.filePath(QStringLiteral("interview.wav"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=sample_rate=8000:duration=20"), {QStringLiteral("-ac"), QStringLiteral("2")},
                           recording));
}

void TestTranscriptCommands::init()
{
    window = new MainWindow(nullptr, false);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(engine()->loadFile(recording));
    seen.clear();
}

void TestTranscriptCommands::cleanup()
{
    delete window;
    answering = nullptr;
}

void TestTranscriptCommands::answer(const QString &path, const QString &text)
{
    delete answering;
    answering = new QTimer(window);
    connect(answering, &QTimer::timeout, this, [this, path, text]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            seen << dialog->windowTitle();
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            // Later, so that a "replace it?" question is answered here too.
            QTimer::singleShot(0, dialog, [dialog]() { static_cast<QDialog *>(dialog)->accept(); });
        } else if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            seen << input->windowTitle() + QLatin1Char('|') + input->labelText();
            input->setTextValue(text);
            input->accept();
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            // Rows typed here are let go when a test imports over them.
            if (QAbstractButton *discard = box->button(QMessageBox::Discard)) {
                discard->click();
                return;
            }
            // The file dialog's "replace it?" question.
            if (QAbstractButton *yes = box->button(QMessageBox::Yes)) {
                yes->click();
                return;
            }
            seen << box->windowTitle() + QLatin1Char('|') + box->text()
                    + (box->informativeText().isEmpty() ? QString() : QLatin1Char('|') + box->informativeText());
            box->accept();
        }
    });
    answering->start(20);
}

void TestTranscriptCommands::bookmarkDialogDependsOnTheChannel_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("note");
    QTest::newRow("left channel asks for a note") << 0 << "door slams" << "Add Bookmark (Ch1)|Note:" << "Ch1"
                                                  << "door slams";
    QTest::newRow("right channel with an empty note") << 1 << "" << "Add Bookmark (Ch2)|Note:" << "Ch2" << "";
    QTest::newRow("both channels ask for a label") << -1 << "Interviewer" << "Add Bookmark|Label:" << "Interviewer"
                                                   << "";
    QTest::newRow("an empty label adds nothing") << -1 << "" << "Add Bookmark|Label:" << "" << "";
}

void TestTranscriptCommands::bookmarkDialogDependsOnTheChannel()
{
    QFETCH(int, channel);
    QFETCH(QString, typed);
    QFETCH(QString, dialog);
    QFETCH(QString, label);
    QFETCH(QString, note);
    child<QWidget>("linkCheck")->setProperty("checked", channel == -1);
    QVERIFY(QMetaObject::invokeMethod(window, "onRegionSelected", Q_ARG(qlonglong, 10000), Q_ARG(qlonglong, 12000),
                                      Q_ARG(int, channel)));
    engine()->seek(5000);
    answer(QString(), typed);
    QTest::mouseClick(child<QPushButton>("bookmarkButton"), Qt::LeftButton);
    QCOMPARE(seen, QStringList{dialog});
    const QList<Marker> rows = grid()->getMarkers();
    if (label.isEmpty()) {
        QVERIFY(rows.isEmpty());
        QVERIFY(!audit().contains(QStringLiteral("Bookmark Added")));
        return;
    }
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].start, qlonglong(10000)); // the row spans the selection ...
    QCOMPARE(rows[0].end, qlonglong(12000));
    QCOMPARE(rows[0].label, label);
    QCOMPARE(rows[0].note, note);
    QCOMPARE(rows[0].channel, channel);
    // ... the audit line names the play position.
    QVERIFY(audit().endsWith(QStringLiteral("Bookmark Added: %1 @00:00:05.000").arg(label)));
}

void TestTranscriptCommands::csvOutAndBackIn()
{
    grid()->addMarker(65250, 69000, QStringLiteral("Smith, J."), QStringLiteral("He said \"no\",\nthen left"), 1);
    const QString csv = dir.filePath(QStringLiteral("transcript.csv"));
    answer(csv);
    exportEntry(1);
    QCOMPARE(seen, QStringList{"Export Transcript"});
    QVERIFY(audit().endsWith(QStringLiteral("Exported CSV: ") + csv));

    grid()->clearMarkers();
    seen.clear();
    QTest::mouseClick(child<QPushButton>("importCsvButton"), Qt::LeftButton);
    const QString summary = QStringLiteral("1 row read. 1 row starts after the end of the recording.");
    QCOMPARE(seen, (QStringList{"Import CSV Transcript", "Import|CSV Imported Successfully.|" + summary}));
    QVERIFY(audit().endsWith(QStringLiteral("Imported CSV: ") + csv + QStringLiteral(" - ") + summary));
    const QList<Marker> rows = grid()->getMarkers();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].note, QStringLiteral("He said \"no\",\nthen left"));
    QCOMPARE(rows[0].start, qlonglong(65250));
    QCOMPARE(rows[0].channel, 1);

    // A file that cannot be written: the box, and no audit line.
    seen.clear();
    answer(dir.filePath(QStringLiteral("missing/transcript.csv")));
    exportEntry(1);
    QCOMPARE(seen.last(), QStringLiteral("Export Error|Failed to write CSV file.|") + dir.filePath(QStringLiteral("missing/transcript.csv"))
                              + QStringLiteral(": No such file or directory"));
    QCOMPARE(audit().count(QStringLiteral("Exported CSV:")), 1);
}

void TestTranscriptCommands::csvImportIsReported_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // null: a file that cannot be read
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("rows");           // in the grid afterwards; it held one

    QTest::newRow("skipped records listed, the first five")
        << "mixed.csv"
        << QByteArray("00:00:01.000,00:00:02.000,a,b,0\nx,y,c,d\n00:00:03.000,later,e,f\n,00:00:04.000,g,h\n"
                      "only,two\n\n9,9,i,j\n00:00:30.000,00:00:31.000,k,l,1\n1:2:3,4,m,n\n")
        << "Import|CSV Imported Successfully.|2 rows read. Skipped 6 records: line 2 (unreadable start time), "
           "line 3 (unreadable end time), line 4 (no start time), line 5 (too few fields), line 7 (unreadable "
           "start time) and 1 more. 1 row starts after the end of the recording."
        << 2;
    QTest::newRow("no rows keeps the grid")
        << "bad.csv" << QByteArray("abc,def,g,h\r\n")
        << "Import Error|No transcript rows found in bad.csv.|0 rows read. Skipped 1 record: line 1 (unreadable "
           "start time)."
        << 1;
    QTest::newRow("file that cannot be read")
        << "unreadable.csv" << QByteArray()
        << "Import Error|Failed to parse CSV file.|unreadable.csv: Input/output error" << 1;
}

void TestTranscriptCommands::csvImportIsReported()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, box);
    QFETCH(int, rows);
    const QString path = dir.filePath(name);
    QFile file(path);
    // It opens, but the first page of a process is never mapped.
    if (content.isNull())
        QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), path));
    else
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    grid()->addMarker(1, 2, QStringLiteral("kept"), QString(), 0);
    answer(path);
    QTest::mouseClick(child<QPushButton>("importCsvButton"), Qt::LeftButton);
    QCOMPARE(seen.last(), box);
    QCOMPARE(grid()->rowCount(), rows);
    const bool imported = box.startsWith(QStringLiteral("Import|"));
    QCOMPARE(audit().contains(QStringLiteral("Imported CSV")), imported);
    if (imported)
        QVERIFY(audit().endsWith(QStringLiteral("Imported CSV: %1 - %2").arg(path, box.section(u'|', 2))));
}

void TestTranscriptCommands::pdfReportIsRecorded_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("written");
    QTest::newRow("into a folder that exists") << "report.pdf" << true;
    QTest::newRow("into a missing folder") << "missing/report.pdf" << false;
}

void TestTranscriptCommands::pdfReportIsRecorded()
{
    QFETCH(QString, name);
    QFETCH(bool, written);
    child<QLineEdit>("refEdit")->setText(QStringLiteral("a < b"));
    grid()->addMarker(3723004, 3724000, QStringLiteral("Officer"), QStringLiteral("Caution given"), -1);
    const QString pdf = dir.filePath(name);
    answer(pdf);
    exportEntry(2);
    QCOMPARE(QFile::exists(pdf), written);
    QCOMPARE(audit().endsWith(QStringLiteral("Exported PDF: ") + pdf), written);
    if (!written) {
        QVERIFY2(seen.last().startsWith(QStringLiteral("Export Error|Failed to write PDF report.")),
                 qPrintable(seen.last()));
        return;
    }
    const QString text = QString::fromUtf8(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf,
                                                                              QStringLiteral("-")}));
    // Shown as typed, not taken for markup (the layout drops the spaces).
    QVERIFY2(text.simplified().remove(QLatin1Char(' ')).contains(QStringLiteral("a<b")), qPrintable(text.left(400)));
    QVERIFY2(text.contains(QStringLiteral("01:02:03.004")), qPrintable(text.right(600)));
    QVERIFY(text.contains(QStringLiteral("Caution given")));
}

void TestTranscriptCommands::reportAuditCoversItsRecording()
{
    const QString second = dir.filePath(QStringLiteral("second.wav"));
    QVERIFY(QFile::exists(second) || QFile::copy(recording, second));
    auto *note = child<QLineEdit>("auditNoteEdit");
    // A long line is wrapped on the page: compared without white space.
    const auto squashed = [](QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s"))); };
    const auto report = [&](const QString &opened, const QString &noteText, const QString &pdf) {
        answer(opened);
        QTest::mouseClick(child<QPushButton>("openButton"), Qt::LeftButton);
        QTest::keyClicks(note, noteText);
        QTest::mouseClick(child<QPushButton>("addNoteButton"), Qt::LeftButton);
        answer(pdf);
        exportEntry(2);
        const QString text = QString::fromUtf8(run(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), pdf, QStringLiteral("-")}));
        return squashed(text.mid(text.indexOf(QStringLiteral("Audit Log"))));
    };
    const QString first = report(recording, QStringLiteral("speaker unclear"), dir.filePath(QStringLiteral("a.pdf")));
    QVERIFY2(first.contains(squashed(QStringLiteral("Opened: ") + recording + QStringLiteral("Transcriber's note: speaker unclear"))),
             qPrintable(first));

    const QString later = report(second, QStringLiteral("second tape"), dir.filePath(QStringLiteral("b.pdf")));
    QVERIFY2(later.startsWith(squashed(QStringLiteral("Audit Log Opened: ") + second + QStringLiteral("Transcriber's note: second tape"))),
             qPrintable(later));
    QVERIFY(!later.contains(QStringLiteral("speakerunclear")));
    // The pane keeps the whole session, notes marked as such.
    QVERIFY(audit().contains(QStringLiteral("Opened: ") + recording + QStringLiteral("\nNote: speaker unclear")));
    QVERIFY(audit().contains(QStringLiteral("Exported PDF: ") + dir.filePath(QStringLiteral("a.pdf"))));
}

void TestTranscriptCommands::cuePointsBecomeRows()
{
    // Two cue points at 1 s and 2.5 s (8 kHz), the first labelled.
    QByteArray points;
    for (const auto &[id, sample] : {std::pair<quint32, quint32>{1, 8000}, {2, 20000}})
        points += le32(id) + le32(0) + "data" + le32(0) + le32(0) + le32(sample);
    const QByteArray cue = chunk("cue ", le32(2) + points);
    const QByteArray adtl = chunk("LIST", "adtl" + chunk("labl", le32(1) + QByteArray("Knock\0", 6)));
    QByteArray pcm(8000 * 2 * 3, '\0');
    const QString path = dir.filePath(QStringLiteral("cued.wav"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(riff(fmtChunk(1, 1, 8000, 16) + cue + adtl + chunk("data", pcm)));
    file.close();

    QVERIFY(engine()->loadFile(path));
    const QList<Marker> rows = grid()->getMarkers();
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].start, qlonglong(1000));
    QCOMPARE(rows[0].label, QStringLiteral("Knock"));
    QCOMPARE(rows[1].start, qlonglong(2500));
    QCOMPARE(rows[1].channel, -1);
}

void TestTranscriptCommands::exportsSuggestANameBesideTheRecording_data()
{
    QTest::addColumn<int>("entry"); // of the Export menu
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QString>("written"); // for the name "mine", typed without an extension
    QTest::newRow("audio") << 0 << "interview-edited.wav" << "mine.wav";
    QTest::newRow("transcript") << 1 << "interview.csv" << "mine.csv";
    QTest::newRow("report") << 2 << "interview.pdf" << "mine.pdf";
}

void TestTranscriptCommands::exportsSuggestANameBesideTheRecording()
{
    QFETCH(int, entry);
    QFETCH(QString, suggested);
    QFETCH(QString, written);
    // Opened through the window, so that it knows the recording's name.
    answer(recording);
    QTest::mouseClick(child<QPushButton>("openButton"), Qt::LeftButton);
    QString offered;
    QTimer typing;
    connect(&typing, &QTimer::timeout, this, [&offered]() {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            offered = dialog->selectedFiles().value(0);
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("mine"));
            QTimer::singleShot(0, dialog, [dialog]() { static_cast<QDialog *>(dialog)->accept(); });
        }
    });
    delete answering;
    answering = nullptr;
    typing.start(20);
    exportEntry(entry);
    QCOMPARE(offered, dir.filePath(suggested));
    QVERIFY(QFileInfo(dir.filePath(written)).size() > 0);
}

void TestTranscriptCommands::aFullDiskSaysSoAndKeepsTheOldFile_data()
{
    QTest::addColumn<int>("entry"); // of the Export menu
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("audio") << 0 << "out.wav" << "Save Error" << "Could not save file.";
    QTest::newRow("transcript") << 1 << "out.csv" << "Export Error" << "Failed to write CSV file.";
    QTest::newRow("report") << 2 << "out.pdf" << "Export Error" << "Failed to write PDF report.";
}

void TestTranscriptCommands::aFullDiskSaysSoAndKeepsTheOldFile()
{
    QFETCH(int, entry);
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, text);
    const QString disk = dir.filePath(QStringLiteral("small-disk"));
    QVERIFY(QDir().mkpath(disk));
    if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=256k", "tmpfs", disk}) != 0)
        QSKIP("a small disk needs mount (run as root)");
    const auto unmount = qScopeGuard([disk]() { QProcess::execute(QStringLiteral("umount"), {disk}); });
    const QString target = disk + QLatin1Char('/') + name;
    QVERIFY(writeFile(target, "earlier"));
    QFile filler(disk + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    while (filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
    }
    filler.close();
    for (int i = 0; i < 40; ++i)
        grid()->addMarker(i * 100, i * 100 + 50, QStringLiteral("Speaker %1").arg(i), QString(40, QLatin1Char('n')), -1);

    answer(target);
    exportEntry(entry);
    QVERIFY2(seen.last() == title + QLatin1Char('|') + text + QLatin1Char('|') + target + QStringLiteral(": No space left on device"),
             qPrintable(seen.last()));
    QCOMPARE(readFile(target), QByteArray("earlier"));
}

QTEST_MAIN(TestTranscriptCommands)
#include "tst_transcriptcommands.moc"
