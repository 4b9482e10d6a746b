// Editing in the window, against a real engine: redactions and level repair
// with undo and redo, bookmarks, the audit log, and what leaves or enters the
// program (WAV with the case details, CSV, the PDF report, cue points).

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "filesizelimit.h"
#include "ui/transcriptreport.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"
#include "windowrig.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtEndian>
#include <QtTest>

#include <memory>
#include <optional>

using namespace fixtures;

namespace {

QString squashed(QString text)
{
    return text.remove(QRegularExpression(QStringLiteral("\\s")));
}

QString pdfText(const QString &path)
{
    return QString::fromUtf8(run(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, QStringLiteral("-")}));
}

} // namespace

class TestWindowEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        recording = dir.filePath(QStringLiteral("interview.wav"));
        QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=200:sample_rate=8000:duration=6"), {"-ac", "2"}, recording));
    }

    void init()
    {
        rig = std::make_unique<WindowRig>();
        rig->boxAnswer = QMessageBox::Yes; // replace a file that is there
        rig->answerDialogs(recording); // opened through the window, so that it knows the name
        click("openButton");
        QTRY_COMPARE(rig->engine()->filePath(), recording);
        rig->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(rig->window));
    }

    void cleanup() { rig.reset(); }

    void redactionsChangeOnlyTheirRegion_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("channel"); // -2: nothing selected
        QTest::addColumn<QString>("note"); // of the grid row; empty: none
        QTest::addColumn<QString>("audit");
        QTest::newRow("silence, left only") << "silenceButton" << 0 << "Silence Applied" << "Silenced: 1000-1500ms";
        QTest::newRow("tone, both channels") << "toneButton" << -1 << "Tone 1kHz Applied" << "Applied 1kHz Tone: 1000-1500ms";
        QTest::newRow("normalise adds no row") << "normButton" << -1 << "" << "Normalized: 1000-1500ms";
        QTest::newRow("nothing without a selection") << "silenceButton" << -2 << "" << "";
    }

    void redactionsChangeOnlyTheirRegion()
    {
        QFETCH(QString, button);
        QFETCH(int, channel);
        QFETCH(QString, note);
        const QByteArray before = samples();
        const QString auditBefore = rig->auditLog();
        if (channel > -2)
            select(1000, 1500, channel);
        click(button.toLatin1().constData());
        if (note.isEmpty())
            QVERIFY(rows().isEmpty());
        else
            QCOMPARE(rows(), (QList<Marker>{{1000, 1500, "Redaction", note, channel}}));
        QFETCH(QString, audit);
        QCOMPARE(rig->auditLog(), audit.isEmpty() ? auditBefore : auditBefore + '\n' + audit);
        const QByteArray &after = samples();
        QCOMPARE(after != before, channel > -2);
        // Outside the region (8000 to 12000 frames of 4 bytes) nothing moved, nor in the other channel.
        QCOMPARE(after.left(8000 * 4), before.left(8000 * 4));
        QCOMPARE(after.mid(12000 * 4), before.mid(12000 * 4));
        const auto right = [](const QByteArray &store) { return qFromLittleEndian<qint16>(store.constData() + 10000 * 4 + 2); };
        if (channel == 0)
            QCOMPARE(right(after), right(before));
    }

    void undoAndRedoAreRecorded_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("addsRow");
        QTest::addColumn<QString>("typedNote"); // typed into the redaction row before the undo
        QTest::newRow("normalise, no row") << "normButton" << "Normalized: 1000-1500ms" << false << "";
        QTest::newRow("silence, its row edited since") << "silenceButton" << "Silenced: 1000-1500ms" << true
                                                       << "name of a witness";
    }

    void undoAndRedoAreRecorded()
    {
        QFETCH(QString, button);
        QFETCH(QString, line);
        QFETCH(bool, addsRow);
        QFETCH(QString, typedNote);
        const QByteArray loaded = samples();
        rig->grid()->addMarker(500, 500, QStringLiteral("Earlier"), QString(), -1);
        select(1000, 1500, -1);
        click(button.toLatin1().constData());
        const QByteArray edited = samples();
        if (!typedNote.isEmpty())
            rig->grid()->item(1, 3)->setText(typedNote);
        rig->grid()->addMarker(9000, 9000, QStringLiteral("Later"), QString(), -1);
        const QList<Marker> withEdit = rows();
        QList<Marker> withoutEdit = withEdit;
        if (addsRow)
            withoutEdit.removeAt(1);

        key(Qt::ControlModifier | Qt::Key_Z);
        QCOMPARE(samples(), loaded);
        QCOMPARE(lastAudit(), "Undone: " + line);
        QCOMPARE(rows(), withoutEdit);
        key(Qt::ControlModifier | Qt::Key_Y);
        QCOMPARE(samples(), edited);
        QCOMPARE(lastAudit(), "Redone: " + line);
        QCOMPARE(rows(), withEdit);

        // Undoing and redoing the load's own step changes and records nothing; Ctrl+Shift+Z redoes too.
        key(Qt::ControlModifier | Qt::Key_Z);
        const QString audit = rig->auditLog();
        key(Qt::ControlModifier | Qt::Key_Z);
        key(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Z);
        QCOMPARE(rig->auditLog(), audit);
        QCOMPARE(rows(), withoutEdit);
        key(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Z);
        QCOMPARE(lastAudit(), "Redone: " + line);
        QCOMPARE(rows(), withEdit);
    }

    void undoStepsAreKeptInStep()
    {
        // Eleven redactions: the history holds the last ten, and their rows with them.
        for (int i = 0; i < 11; ++i) {
            select(i * 100, i * 100 + 50, -1);
            click("silenceButton");
        }
        for (int i = 0; i < 11; ++i)
            QVERIFY(QMetaObject::invokeMethod(rig->window, "onUndo"));
        QCOMPARE(rig->auditLog().count(QStringLiteral("Undone: ")), 10);
        QCOMPARE(lastAudit(), QStringLiteral("Undone: Silenced: 100-150ms"));
        QCOMPARE(rows().size(), 1);
        QCOMPARE(rows()[0].start, 0LL);
    }

    void undoWhilePlayingKeepsThePlace()
    {
        QVERIFY2(WindowRig::hasAudioOutput(), "no audio output: is PulseAudio running?");
        select(0, 6000, -1);
        click("silenceButton");
        rig->engine()->play();
        QTRY_VERIFY_WITH_TIMEOUT(rig->engine()->position() > 1500, 8000);
        QVERIFY(QMetaObject::invokeMethod(rig->window, "onUndo"));
        const qlonglong after = rig->engine()->position();
        QVERIFY(rig->engine()->isPlaying());
        QVERIFY2(after > 1400, qPrintable(QString::number(after)));
        QTRY_VERIFY(rig->engine()->position() > after + 200);
        rig->engine()->stop();
    }

    void keysBelongToTheFieldBeingTyped()
    {
        select(1000, 1500, -1);
        click("silenceButton");
        const QByteArray silenced = samples();
        auto *reference = rig->child<QLineEdit>("refEdit");
        reference->setFocus();
        QTest::keyClicks(reference, QStringLiteral("CASE-1"));
        QTest::keyClick(reference, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(samples(), silenced);
        QVERIFY(reference->text() != QStringLiteral("CASE-1")); // the field's own undo
    }

    void auditLinesCannotBeTypedOver_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("typing over a selection") << QKeySequence(Qt::Key_X);
        QTest::newRow("cut") << QKeySequence(QKeySequence::Cut);
    }

    void auditLinesCannotBeTypedOver()
    {
        QFETCH(QKeySequence, keys);
        rig->window->logAudit(QStringLiteral("Silenced: 1000-1500ms"));
        const QString before = rig->auditLog();
        QApplication::clipboard()->setText(QStringLiteral("pasted"));
        auto *view = rig->child<QTextEdit>("auditLogView");
        view->setFocus();
        view->selectAll();
        QTest::keySequence(view, keys);
        view->paste();
        QCOMPARE(rig->auditLog(), before);
    }

    void bookmarkDialogDependsOnTheChannel_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("label"); // of the row; empty: no row
        QTest::addColumn<QString>("note");
        QTest::newRow("left channel asks for a note") << 0 << "door slams" << "Ch1" << "door slams";
        QTest::newRow("both channels ask for a label") << -1 << "Interviewer" << "Interviewer" << "";
        QTest::newRow("an empty label adds nothing") << -1 << "" << "" << "";
    }

    void bookmarkDialogDependsOnTheChannel()
    {
        QFETCH(int, channel);
        QFETCH(QString, typed);
        QFETCH(QString, label);
        QFETCH(QString, note);
        select(3000, 4000, channel);
        rig->engine()->seek(2000);
        rig->dialogs.clear();
        rig->answerDialogs(QString(), typed);
        click("bookmarkButton");
        QCOMPARE(rig->dialogs.size(), 1);
        // The row spans the selection; the audit line names the play position.
        QCOMPARE(rows(), label.isEmpty() ? QList<Marker>() : (QList<Marker>{{3000, 4000, label, note, channel}}));
        QCOMPARE(rig->auditLog().endsWith(QStringLiteral("Bookmark Added: %1 @00:00:02.000").arg(label)), !label.isEmpty());
    }

    void csvImportIsReported_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: a file that cannot be read
        QTest::addColumn<QString>("box");        // title|text|detail, the file's name for %1
        QTest::addColumn<int>("rows");           // in the grid afterwards; it held one

        QTest::newRow("skipped records listed, the first five")
            << QByteArray("00:00:01.000,00:00:02.000,a,b,0\nx,y,c,d\n00:00:03.000,later,e,f\n,00:00:04.000,g,h\n"
                          "only,two\n\n9,9,i,j\n00:00:30.000,00:00:31.000,k,l,1\n1:2:3,4,m,n\n")
            << "Import|CSV Imported Successfully.|2 rows read. Skipped 6 records: line 2 (unreadable start time), "
               "line 3 (unreadable end time), line 4 (no start time), line 5 (too few fields), line 7 (unreadable "
               "start time) and 1 more. 1 row starts after the end of the recording."
            << 2;
        QTest::newRow("no rows keeps the grid")
            << QByteArray("abc,def,g,h\r\n")
            << "Import Error|No transcript rows found in %1.|0 rows read. Skipped 1 record: line 1 (unreadable start time)."
            << 1;
        QTest::newRow("file that cannot be read") << QByteArray() << "Import Error|Failed to parse CSV file.|%1: Input/output error" << 1;
    }

    void csvImportIsReported()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, box);
        const QString path = dir.filePath(QStringLiteral("in-%1.csv").arg(QTest::currentDataTag()).replace(' ', '-'));
        QFile::remove(path);
        // It opens, but the first page of a process is never mapped.
        QVERIFY(content.isNull() ? QFile::link(QStringLiteral("/proc/self/mem"), path) : writeFile(path, content));
        rig->grid()->addMarker(1, 2, QStringLiteral("kept"), QString(), 0);
        rig->boxAnswer = QMessageBox::Discard; // the rows typed here
        rig->answerDialogs(path);
        click("importCsvButton");
        const WindowRig::Dialog shown = rig->dialogs.last();
        const QString name = QFileInfo(path).fileName();
        QCOMPARE(QStringList({shown.title, shown.text, shown.detail}).join('|'), box.replace(QStringLiteral("%1"), name));
        QTEST(int(rows().size()), "rows");
        const bool imported = shown.title == QLatin1String("Import");
        QCOMPARE(rig->auditLog().contains(QStringLiteral("Imported CSV: %1 - %2").arg(path, shown.detail)), imported);
    }

    void reportShowsWhatWasTyped()
    {
        rig->child<QLineEdit>("refEdit")->setText(QStringLiteral("a < b"));
        rig->child<QLineEdit>("locEdit")->setText(QStringLiteral("Room 4 & 5"));
        rig->grid()->addMarker(3723004, 3800000, QStringLiteral("<b>DC</b>"), QStringLiteral("Where were you?\nSay it."), 1);
        rig->grid()->addMarker(360000000, 360000000, QStringLiteral("Detective"), QStringLiteral("At home, \"home\"."), -1);
        for (int i = 0; i < 80; ++i) // enough for a second page
            rig->grid()->addMarker(i * 1000LL, i * 1000LL, QStringLiteral("Speaker"), QStringLiteral("Sentence %1").arg(i), -1);
        const auto note = [this](const QString &text) {
            QTest::keyClicks(rig->child<QLineEdit>("auditNoteEdit"), text);
            click("addNoteButton");
        };
        note(QStringLiteral("speaker unclear"));
        const QString longLine = QStringLiteral("/a-folder-name-of-some-length").repeated(5) + QStringLiteral("/interview.wav");
        rig->window->logAudit(longLine);
        const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
        rig->answerDialogs(pdf);
        rig->exportEntry(2);

        // Shown as typed, not taken for markup; rows in the grid's order, without end times; then the audit log.
        const QString text = squashed(pdfText(pdf)); // lines break where the layout likes
        const QStringList inOrder{"Reference a < b", "Location Room 4 & 5", "Filename: " + recording,
                                  "01:02:03.004 <b>DC</b> Where were you?", "Say it.",
                                  "100:00:00.000 Detective At home, \"home\".", "Sentence 79", "Audit Log",
                                  "Opened: " + recording, "Transcriber's note: speaker unclear"};
        qsizetype at = 0;
        for (const QString &expected : inOrder) {
            at = text.indexOf(squashed(expected), at);
            QVERIFY2(at >= 0, qPrintable(QStringLiteral("\"%1\" missing or out of order in:\n%2").arg(expected, text)));
        }
        QVERIFY(!text.contains(QStringLiteral("01:03:20.000")));
        QVERIFY(text.contains(squashed(longLine))); // wrapped, not cut
        const QString info = QString::fromUtf8(run(QStringLiteral("pdfinfo"), {pdf}));
        QVERIFY(QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt() > 1); // rows go on to new pages

        // The next recording's report has its own audit lines only; the pane keeps the whole session.
        const QString second = dir.filePath(QStringLiteral("second.wav"));
        QVERIFY(QFile::copy(recording, second));
        rig->boxAnswer = QMessageBox::Discard; // the rows typed above
        rig->answerDialogs(second);
        click("openButton");
        note(QStringLiteral("second tape"));
        rig->answerDialogs(dir.filePath(QStringLiteral("b.pdf")));
        rig->exportEntry(2);
        const QString later = pdfText(dir.filePath(QStringLiteral("b.pdf")));
        QVERIFY2(squashed(later.mid(later.indexOf(QStringLiteral("Audit Log"))))
                     .startsWith(squashed("Audit Log Opened: " + second + "Transcriber's note: second tape")), qPrintable(later));
        QVERIFY(rig->auditLog().contains(QStringLiteral("Opened: ") + recording + QStringLiteral("\nNote: speaker unclear")));
    }

    void savedDetailsComeBack()
    {
        const QByteArray loaded = samples();
        const std::pair<const char *, QString> details[] = {
            {"refEdit", QStringLiteral("  OP-2024/117 ")}, {"locEdit", QStringLiteral("Leeds")},
            {"opEdit", QStringLiteral("Harbour")},          {"oicEdit", QStringLiteral("DS Clarke")},
            {"transcriberEdit", QStringLiteral("J. Ng")},   {"translatorEdit", QStringLiteral("M. Öztürk")}};
        for (const auto &[name, text] : details)
            rig->child<QLineEdit>(name)->setText(text);
        const QString saved = dir.filePath(QStringLiteral("tagged.wav"));
        rig->answerDialogs(saved);
        rig->exportEntry(0);

        for (const auto &[name, text] : details)
            rig->child<QLineEdit>(name)->clear();
        QVERIFY(rig->engine()->loadFile(saved));
        QCOMPARE(samples(), loaded);
        // A recording without tags then leaves what is there.
        QVERIFY(rig->engine()->loadFile(recording));
        for (const auto &[name, text] : details)
            QCOMPARE(rig->child<QLineEdit>(name)->text(), text);
    }

    void cuePointsBecomeRows()
    {
        // Two cue points at 1 s and 2.5 s (8 kHz), the first labelled.
        QByteArray points;
        for (const auto &[id, sample] : {std::pair<quint32, quint32>{1, 8000}, {2, 20000}})
            points += le32(id) + le32(0) + "data" + le32(0) + le32(0) + le32(sample);
        const QByteArray adtl = chunk("LIST", "adtl" + chunk("labl", le32(1) + QByteArray("Knock\0", 6)));
        const QString path = dir.filePath(QStringLiteral("cued.wav"));
        QVERIFY(writeFile(path, riff(fmtChunk(1, 1, 8000, 16) + chunk("cue ", le32(2) + points) + adtl
                                     + chunk("data", QByteArray(8000 * 2 * 3, '\0')))));
        QVERIFY(rig->engine()->loadFile(path));
        QCOMPARE(rows(), (QList<Marker>{{1000, 1000, "Knock", "", -1}, {2500, 2500, "", "", -1}}));
    }

    void exportsSuggestANameBesideTheRecording_data()
    {
        QTest::addColumn<int>("entry"); // of the Export menu
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("written"); // for the name "mine", typed without an extension
        QTest::addColumn<QString>("audit");
        QTest::newRow("audio") << 0 << "interview-edited.wav" << "mine.wav" << "Saved: ";
        QTest::newRow("transcript") << 1 << "interview.csv" << "mine.csv" << "Exported CSV: ";
        QTest::newRow("report") << 2 << "interview.pdf" << "mine.pdf" << "Exported PDF: ";
    }

    void exportsSuggestANameBesideTheRecording()
    {
        QFETCH(int, entry);
        QFETCH(QString, suggested);
        QFETCH(QString, written);
        rig->answerDialogs(QStringLiteral("mine"));
        rig->exportEntry(entry);
        QCOMPARE(rig->dialogs.last().text, dir.filePath(suggested));
        QVERIFY(QFileInfo(dir.filePath(written)).size() > 0);
        QFETCH(QString, audit);
        QCOMPARE(lastAudit(), audit + dir.filePath(written));
    }

    void aFailedExportSaysSoAndKeepsTheOldFile_data()
    {
        QTest::addColumn<int>("entry"); // of the Export menu
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("diskFull"); // else the folder is missing
        QTest::addColumn<QString>("box");
        for (const bool full : {false, true}) {
            const char *why = full ? "on a full disk" : "into a missing folder";
            const QString folder = full ? QString() : QStringLiteral("missing/");
            QTest::addRow("audio %s", why) << 0 << folder + "out.wav" << full << "Save Error|Could not save file.";
            QTest::addRow("transcript %s", why) << 1 << folder + "out.csv" << full << "Export Error|Failed to write CSV file.";
            QTest::addRow("report %s", why) << 2 << folder + "out.pdf" << full << "Export Error|Failed to write PDF report.";
        }
    }

    void aFailedExportSaysSoAndKeepsTheOldFile()
    {
        QFETCH(int, entry);
        QFETCH(QString, name);
        QFETCH(bool, diskFull);
        QTemporaryDir folder;
        const QString target = folder.filePath(name);
        if (diskFull)
            QVERIFY(writeFile(target, "earlier"));
        for (int i = 0; i < 40; ++i)
            rig->grid()->addMarker(i * 100, i * 100 + 50, QStringLiteral("Speaker %1").arg(i), QString(40, 'n'), -1);
        const QString audit = rig->auditLog();
        rig->answerDialogs(target);
        {
            std::optional<FileSizeLimit> limit;
            if (diskFull)
                limit.emplace(1024);
            rig->exportEntry(entry);
        }
        const WindowRig::Dialog shown = rig->dialogs.last();
        QTEST(shown.title + '|' + shown.text, "box");
        QVERIFY2(shown.detail.startsWith(target + ": ") && shown.detail.size() > target.size() + 2, qPrintable(shown.detail));
        QCOMPARE(rig->auditLog(), audit);
        const QStringList left = QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(left, diskFull ? QStringList{name} : QStringList());
        if (diskFull)
            QCOMPARE(readFile(target), QByteArray("earlier"));
    }

private:
    void select(qlonglong start, qlonglong end, int channel)
    {
        rig->child<QWidget>("linkCheck")->setProperty("checked", channel == -1);
        QVERIFY(QMetaObject::invokeMethod(rig->window, "onRegionSelected", Q_ARG(qlonglong, start),
                                          Q_ARG(qlonglong, end), Q_ARG(int, channel)));
    }
    void click(const char *button) { QTest::mouseClick(rig->child<QPushButton>(button), Qt::LeftButton); }
    void key(QKeyCombination keys) { QTest::keyClick(rig->window, keys.key(), keys.keyboardModifiers()); }
    const QByteArray &samples() const { return rig->engine()->samples(); }
    QList<Marker> rows() const { return rig->grid()->getMarkers(); }
    QString lastAudit() const { return rig->auditLog().section(QLatin1Char('\n'), -1); }

    QTemporaryDir dir;
    QString recording;
    std::unique_ptr<WindowRig> rig;
};

QTEST_MAIN(TestWindowEditing)
#include "tst_windowediting.moc"
