// Work that is in no file yet is not lost: Open, Import CSV and closing ask
// first; work journalled by a window whose process is killed comes back in
// the next window, audio edits replayed; a journal naming a missing or
// changed recording still gives back the transcript; a corrupt journal is
// set aside and reported once.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/journalkeeper.h"
#include "ui/recoveryjournal.h"
#include "widgets/transcriptiongrid.h"
#include "windowrig.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <memory>

using namespace fixtures;

namespace {

QByteArray sha1(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

// Does some work in a real window, waits until its journal holds all of it,
// prints the state it reached and waits to be killed.
int crashWorker(int argc, char **argv)
{
    QApplication app(argc, argv);
    WindowRig rig;
    AudioEngine *engine = rig.engine();
    rig.window->activateWindow();
    if (!QTest::qWaitForWindowActive(rig.window) || !rig.load(QString::fromLocal8Bit(argv[2])))
        return 2;
    QMetaObject::invokeMethod(rig.window, "onRegionSelected", Q_ARG(qlonglong, 1000), Q_ARG(qlonglong, 2000), Q_ARG(int, -1));
    QTest::mouseClick(rig.child<QPushButton>("silenceButton"), Qt::LeftButton);
    QTest::keyClick(rig.window, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(rig.window, Qt::Key_Y, Qt::ControlModifier);
    QTest::mouseClick(rig.child<QPushButton>("selectAllButton"), Qt::LeftButton);
    QTest::mouseClick(rig.child<QPushButton>("normButton"), Qt::LeftButton);
    QTest::keyClick(rig.window, Qt::Key_Z, Qt::ControlModifier);
    rig.grid()->addMarker(250, 900, QStringLiteral("Speaker A"), QStringLiteral("\"Quoted\", and\nwrapped"), 0);
    QTest::keyClicks(rig.child<QLineEdit>("refEdit"), QStringLiteral("  REF 9 "));
    QTest::keyClicks(rig.child<QLineEdit>("translatorEdit"), QStringLiteral("M. Ozturk"));
    QTest::keyClicks(rig.child<QLineEdit>("auditNoteEdit"), QStringLiteral("Witness pauses"));
    QTest::keyClick(rig.child<QLineEdit>("auditNoteEdit"), Qt::Key_Return);

    const QString path = journalDirectory() + QStringLiteral("/journal-%1.json").arg(QCoreApplication::applicationPid());
    const bool written = QTest::qWaitFor(
        [&]() {
            QFile file(path);
            const JournalDecode read = decodeJournal(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
            return read.ok && read.journal.edits.size() == 5
                && read.journal.details.translator == QStringLiteral("M. Ozturk")
                && read.journal.auditNotes == QStringList{QStringLiteral("Witness pauses")};
        },
        10000);
    if (!written)
        return 3;
    std::printf("journaled %s %d %d\n", sha1(engine->samples()).constData(), engine->canUndo(), engine->canRedo());
    std::fflush(stdout);
    return app.exec();
}

} // namespace

class TestRecovery : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        rig.reset();
        QVERIFY(QDir(dir.path()).removeRecursively());
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("state"))));
        qputenv("XDG_STATE_HOME", dir.filePath(QStringLiteral("state")).toUtf8());
    }

    void askedBeforeWorkIsLetGo_data()
    {
        QTest::addColumn<QStringList>("work");   // rows, details, audio, note, exported, reported
        QTest::addColumn<QString>("command");    // open, import, close
        QTest::addColumn<QString>("choice");     // the button pressed, if asked; Cancel when asked again
        QTest::addColumn<QStringList>("listed"); // what the question lists; empty: no question
        QTest::addColumn<bool>("goesOn");

        const QString rows2 = QStringLiteral("2 transcript rows not exported");
        QTest::newRow("typed rows, open, cancel") << QStringList{"rows"} << "open" << "Cancel" << QStringList{rows2} << false;
        QTest::newRow("typed rows, open, discard") << QStringList{"rows"} << "open" << "Discard" << QStringList{rows2} << true;
        QTest::newRow("typed rows, open, export first")
            << QStringList{"rows"} << "open" << "Export CSV…" << QStringList{rows2} << true;
        QTest::newRow("everything, close, cancel")
            << QStringList{"rows", "details", "audio"} << "close" << "Cancel"
            << QStringList{rows2, "case details not saved", "audio edits not saved"} << false;
        QTest::newRow("rows and details, close, export first: asked again about the details")
            << QStringList{"rows", "details"} << "close" << "Export CSV…" << QStringList{"case details not saved"}
            << false;
        QTest::newRow("typed rows, import, cancel") << QStringList{"rows"} << "import" << "Cancel" << QStringList{rows2}
                                                    << false;
        QTest::newRow("edited audio, import: rows are all it replaces")
            << QStringList{"audio"} << "import" << QString() << QStringList() << true;
        QTest::newRow("nothing typed, open") << QStringList() << "open" << QString() << QStringList() << true;
        QTest::newRow("rows and details, CSV exported, close: the details are not in it")
            << QStringList{"rows", "details", "exported"} << "close" << "Discard"
            << QStringList{"case details not saved"} << true;
        const QString note = QStringLiteral("1 audit note not in a PDF report");
        QTest::newRow("audit note, open: the next report begins at the new recording")
            << QStringList{"note"} << "open" << "Cancel" << QStringList{note} << false;
        QTest::newRow("audit note, import: not in a transcript")
            << QStringList{"note"} << "import" << QString() << QStringList() << true;
        QTest::newRow("audit note, PDF exported, close")
            << QStringList{"note", "reported"} << "close" << QString() << QStringList() << true;
    }

    void askedBeforeWorkIsLetGo()
    {
        QFETCH(QStringList, work);
        QFETCH(QString, command);
        QFETCH(QString, choice);
        QFETCH(bool, goesOn);
        const QString first = dir.filePath(QStringLiteral("first.wav"));
        const QString second = dir.filePath(QStringLiteral("second.wav"));
        const QString transcript = dir.filePath(QStringLiteral("in.csv"));
        const QString exported = dir.filePath(QStringLiteral("out.csv"));
        QVERIFY(writeFile(first, riff(fmtChunk(1, 1, 8000, 16) + chunk("data", QByteArray(32000, '\1')))));
        QVERIFY(QFile::copy(first, second));
        QVERIFY(writeFile(transcript, "Start_Time,End_Time,Label,Note,Channel\r\n00:00:00.500,00:00:00.900,Imported,,-1\r\n"));

        // Deleted on close, as in the program.
        rig = std::make_unique<WindowRig>();
        QPointer<MainWindow> window = rig->window;
        window->setAttribute(Qt::WA_DeleteOnClose);
        AudioEngine *engine = rig->engine();
        TranscriptionGrid *grid = rig->grid();
        const auto click = [this](const char *name) { QTest::mouseClick(rig->child<QPushButton>(name), Qt::LeftButton); };
        QVERIFY(engine->loadFile(first));

        // File dialogs are answered in turn from `paths`, the question with
        // `choice`, any other box with OK.
        QStringList paths;
        QStringList asked;
        QTimer answerer;
        connect(&answerer, &QTimer::timeout, this, [&]() {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(paths.takeFirst());
                static_cast<QDialog *>(dialog)->accept();
            } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                QAbstractButton *pressed = box->button(QMessageBox::Ok);
                if (box->objectName() == QLatin1String("unsavedWorkBox")) {
                    const QString press = asked.isEmpty() ? choice : QStringLiteral("Cancel");
                    asked = box->informativeText().remove(QStringLiteral("• ")).split(QLatin1Char('\n'));
                    for (QAbstractButton *b : box->buttons())
                        pressed = b->text() == press ? b : pressed;
                }
                pressed->click();
            }
        });
        answerer.start(20);

        if (work.contains(QLatin1String("rows"))) {
            grid->addMarker(100, 300, QStringLiteral("Speaker A"), QStringLiteral("hello"), -1);
            grid->addMarker(400, 600, QStringLiteral("Speaker B"), QString(), -1);
        }
        if (work.contains(QLatin1String("details")))
            QTest::keyClicks(rig->child<QLineEdit>("refEdit"), QStringLiteral("REF 7"));
        if (work.contains(QLatin1String("audio"))) {
            click("selectAllButton");
            click("normButton");
        }
        if (work.contains(QLatin1String("note"))) {
            auto *noteEdit = rig->child<QLineEdit>("auditNoteEdit");
            QTest::keyClicks(noteEdit, QStringLiteral("Door slams"));
            QTest::keyClick(noteEdit, Qt::Key_Return);
        }
        if (work.contains(QLatin1String("exported"))) {
            paths << exported;
            rig->exportEntry(1);
        }
        if (work.contains(QLatin1String("reported"))) {
            paths << dir.filePath(QStringLiteral("report.pdf"));
            rig->exportEntry(2);
        }
        const QList<Marker> rowsBefore = grid->getMarkers();
        if (command != QLatin1String("close"))
            paths << (command == QLatin1String("import") ? transcript : second);
        if (choice == QStringLiteral("Export CSV…"))
            paths << exported;
        bool closed = false;
        if (command == QLatin1String("open"))
            click("openButton");
        else if (command == QLatin1String("import"))
            click("importCsvButton");
        else
            closed = window->close();

        QTEST(asked, "listed");
        if (!asked.isEmpty() && window) // the answer is logged
            QVERIFY(rig->eventLog().contains(": " + QString(choice).remove(u'…') + " ("));
        if (choice == QStringLiteral("Export CSV…"))
            QVERIFY(QFile(exported).size() > 100);
        if (command == QLatin1String("open"))
            QCOMPARE(engine->filePath(), goesOn ? second : first);
        else if (command == QLatin1String("import"))
            QCOMPARE(grid->getMarkers().size() == 1 && grid->getMarkers().first().label == QLatin1String("Imported"), goesOn);
        else
            QCOMPARE(closed, goesOn);
        if (!goesOn)
            QCOMPARE(grid->getMarkers(), rowsBefore);
        if (closed) {
            QTRY_VERIFY(window.isNull());
            rig->window = nullptr;
        }
    }

    void workOfAKilledProgramComesBack()
    {
        const QString recording = dir.filePath(QStringLiteral("statement.wav"));
        QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=22050:duration=4"),
                               {QStringLiteral("-ac"), QStringLiteral("2")}, recording));
        QProcess worker;
        worker.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--crash-worker"), recording});
        QVERIFY(worker.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(worker.canReadLine() || worker.state() == QProcess::NotRunning, 30000);
        const QList<QByteArray> reached = worker.readLine().trimmed().split(' ');
        QCOMPARE(reached.value(0), QByteArray("journaled"));
        ::kill(pid_t(worker.processId()), SIGKILL);
        QVERIFY(worker.waitForFinished());

        const QStringList shown = offer();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown.first().startsWith(QStringLiteral("Recover unsaved work on statement.wav from ")), qPrintable(shown.first()));
        QVERIFY(shown.first().endsWith(QStringLiteral("(2 rows, 5 edits, 1 audit note)")));

        AudioEngine *engine = rig->engine();
        QCOMPARE(sha1(engine->samples()), reached.value(1));
        QCOMPARE(QByteArray::number(engine->canUndo()) + ' ' + QByteArray::number(engine->canRedo()),
                 reached.value(2) + ' ' + reached.value(3));
        const QList<Marker> rows = rig->grid()->getMarkers();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0).label, QStringLiteral("Redaction"));
        QCOMPARE(rows.at(1).note, QStringLiteral("\"Quoted\", and\nwrapped"));
        QCOMPARE(rig->child<QLineEdit>("refEdit")->text(), QStringLiteral("  REF 9 "));
        QCOMPARE(rig->child<QLineEdit>("translatorEdit")->text(), QStringLiteral("M. Ozturk"));
        QVERIFY(rig->auditLog().contains(QStringLiteral("Recovered: ") + recording));
        QVERIFY(rig->auditLog().contains(QStringLiteral("Witness pauses")));
        // The old journal is gone; the recovered work is journalled anew.
        const QStringList left = QDir(journalDirectory()).entryList({QStringLiteral("journal-*.json")});
        QCOMPARE(left, QStringList{QStringLiteral("journal-%1.json").arg(QCoreApplication::applicationPid())});
    }

    void journalsThatCannotBeReplayed_data()
    {
        QTest::addColumn<QString>("recording"); // "missing", "changed", or "corrupt" for a journal that is no JSON
        QTest::addColumn<QString>("message");
        QTest::newRow("recording missing") << "missing" << "audio edits could not be replayed";
        QTest::newRow("recording changed since") << "changed" << "audio edits could not be replayed";
        QTest::newRow("journal corrupt") << "corrupt" << "could not be read and was set aside";
    }

    void journalsThatCannotBeReplayed()
    {
        QFETCH(QString, recording);
        QFETCH(QString, message);
        RecoveryJournal journal;
        journal.recordingPath = dir.filePath(QStringLiteral("take.wav"));
        journal.recordingSize = 10; // another file than the one there now, if any
        journal.recordingModified = QDateTime::currentDateTimeUtc();
        if (recording == QLatin1String("changed"))
            QVERIFY(writeFile(journal.recordingPath, riff(fmtChunk(1, 1, 8000, 16) + chunk("data", QByteArray(800, '\1')))));
        journal.edits = {{JournalEdit::Op::Silence, 0, 50, -1, 0.0}};
        journal.rows = {{100, 200, QStringLiteral("Speaker A"), QStringLiteral("first"), -1},
                        {300, 400, QStringLiteral("Speaker B"), QString(), 1}};
        journal.details.reference = QStringLiteral("REF 1");
        journal.written = QDateTime::currentDateTimeUtc();
        const QString path = QDir(journalDirectory()).filePath(QStringLiteral("journal-4999999.json"));
        QVERIFY(QDir().mkpath(journalDirectory()));
        QVERIFY(writeFile(path, recording == QLatin1String("corrupt") ? QByteArray("{\"format\": ") : encodeJournal(journal)));

        const QStringList shown = offer();
        QVERIFY2(shown.size() == (recording == QLatin1String("corrupt") ? 1 : 2), qPrintable(shown.join(QLatin1Char('|'))));
        QVERIFY2(shown.last().contains(message), qPrintable(shown.join('|')));
        QVERIFY(!QFile::exists(path));
        QVERIFY(rig->engine()->samples().isEmpty());
        if (recording == QLatin1String("corrupt")) {
            QVERIFY(QFile::exists(path + QStringLiteral(".corrupt")));
            QCOMPARE(offer(), QStringList()); // said once
            return;
        }
        QCOMPARE(rig->grid()->getMarkers(), journal.rows);
        QCOMPARE(rig->child<QLineEdit>("refEdit")->text(), QStringLiteral("REF 1"));
    }

private:
    // Opens a window and lets it offer the journals it finds, each question
    // answered Recover; returns the texts of the boxes shown.

    QStringList offer()
    {
        rig.reset();
        rig = std::make_unique<WindowRig>();
        rig->answerDialogs();
        rig->window->offerRecovery();
        QStringList shown;
        for (const WindowRig::Dialog &box : rig->dialogs)
            shown << box.text;
        return shown;
    }

    QTemporaryDir dir;
    std::unique_ptr<WindowRig> rig;
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--crash-worker") == 0)
        return crashWorker(argc, argv);
    QApplication app(argc, argv);
    TestRecovery test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_keepingwork.moc"
