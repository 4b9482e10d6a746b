// Work that is in no file yet is never let go without a question: Open,
// Import CSV and closing the window, each answered Export CSV, Discard or
// Cancel.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

using namespace fixtures;

class TestUnsavedWork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void askedBeforeWorkIsLetGo_data();
    void askedBeforeWorkIsLetGo();

private:
    QTemporaryDir dir;
    QString first;
    QString second;
    QString transcript;
};

void TestUnsavedWork::initTestCase()
{
    first = dir.filePath(QStringLiteral("first.wav"));
    second = dir.filePath(QStringLiteral("second.wav"));
    transcript = dir.filePath(QStringLiteral("in.csv"));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=440:sample_rate=8000:duration=2"), {}, first));
    QVERIFY(ffmpegGenerate(QStringLiteral("sine=frequency=330:sample_rate=8000:duration=1"), {}, second));
    QFile csv(transcript);
    QVERIFY(csv.open(QIODevice::WriteOnly));
    csv.write("Start_Time,End_Time,Label,Note,Channel\r\n00:00:00.500,00:00:00.900,\"Imported\",\"\",-1\r\n");
}

void TestUnsavedWork::askedBeforeWorkIsLetGo_data()
{
    QTest::addColumn<QStringList>("work");   // rows, details, audio, exported
    QTest::addColumn<QString>("command");    // open, import, close
    QTest::addColumn<QString>("choice");     // the button pressed, if asked
    QTest::addColumn<QStringList>("listed"); // what the question lists; empty: no question
    QTest::addColumn<bool>("goesOn");

    const QString rows2 = QStringLiteral("2 transcript rows not exported");
    QTest::newRow("typed rows, open, cancel") << QStringList{"rows"} << "open" << "Cancel" << QStringList{rows2} << false;
    QTest::newRow("typed rows, open, discard") << QStringList{"rows"} << "open" << "Discard" << QStringList{rows2} << true;
    QTest::newRow("typed rows, open, export first")
        << QStringList{"rows"} << "open" << "Export CSV…" << QStringList{rows2} << true;
    QTest::newRow("edited audio, open, cancel")
        << QStringList{"audio"} << "open" << "Cancel" << QStringList{"audio edits not saved"} << false;
    QTest::newRow("typed details, close, cancel")
        << QStringList{"details"} << "close" << "Cancel" << QStringList{"case details not saved"} << false;
    QTest::newRow("typed details, close, discard")
        << QStringList{"details"} << "close" << "Discard" << QStringList{"case details not saved"} << true;
    QTest::newRow("everything, close, cancel")
        << QStringList{"rows", "details", "audio"} << "close" << "Cancel"
        << QStringList{rows2, "case details not saved", "audio edits not saved"} << false;
    QTest::newRow("typed rows, import, cancel") << QStringList{"rows"} << "import" << "Cancel" << QStringList{rows2}
                                                << false;
    QTest::newRow("edited audio, import: rows are all it replaces")
        << QStringList{"audio"} << "import" << QString() << QStringList() << true;
    QTest::newRow("nothing typed, open") << QStringList() << "open" << QString() << QStringList() << true;
    QTest::newRow("rows exported, close") << QStringList{"rows", "details", "exported"} << "close" << QString()
                                          << QStringList() << true;
}

void TestUnsavedWork::askedBeforeWorkIsLetGo()
{
    QFETCH(QStringList, work);
    QFETCH(QString, command);
    QFETCH(QString, choice);
    QFETCH(QStringList, listed);
    QFETCH(bool, goesOn);

    QPointer<MainWindow> window = new MainWindow(nullptr, false);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *engine = window->findChild<AudioEngine *>();
    auto *grid = window->findChild<TranscriptionGrid *>();
    const auto button = [&window](const char *name) {
        return window->findChild<QPushButton *>(QString::fromLatin1(name));
    };
    QVERIFY(engine->loadFile(first));

    // Dialogs are answered in turn: file dialogs from `paths`, the question
    // with `choice`, any other box with OK.
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
                asked = box->informativeText().remove(QStringLiteral("• ")).split(QLatin1Char('\n'));
                for (QAbstractButton *b : box->buttons())
                    pressed = b->text() == choice ? b : pressed;
            }
            pressed->click();
        }
    });
    answerer.start(20);

    const QString exported = dir.filePath(QStringLiteral("out-%1.csv").arg(QTest::currentDataTag()));
    if (work.contains(QLatin1String("rows"))) {
        grid->addMarker(100, 300, QStringLiteral("Speaker A"), QStringLiteral("hello"), -1);
        grid->addMarker(400, 600, QStringLiteral("Speaker B"), QString(), -1);
    }
    if (work.contains(QLatin1String("details")))
        QTest::keyClicks(window->findChild<QLineEdit *>(QStringLiteral("refEdit")), QStringLiteral("REF 7"));
    if (work.contains(QLatin1String("audio"))) {
        QTest::mouseClick(button("selectAllButton"), Qt::LeftButton);
        QTest::mouseClick(button("normButton"), Qt::LeftButton);
    }
    if (work.contains(QLatin1String("exported"))) {
        paths << exported;
        button("exportButton")->menu()->actions().at(1)->trigger();
    }
    const QList<Marker> rowsBefore = grid->getMarkers();

    if (choice == QStringLiteral("Export CSV…"))
        paths << exported;
    bool closed = false;
    if (command == QLatin1String("open")) {
        paths.prepend(second);
        QTest::mouseClick(button("openButton"), Qt::LeftButton);
    } else if (command == QLatin1String("import")) {
        paths.prepend(transcript);
        QTest::mouseClick(button("importCsvButton"), Qt::LeftButton);
    } else {
        closed = window->close();
    }

    QCOMPARE(asked, listed.isEmpty() ? QStringList() : listed);
    if (!listed.isEmpty()) {
        const QString log = window ? window->findChild<QTextEdit *>(QStringLiteral("eventLogView"))->toPlainText()
                                   : QString();
        QVERIFY(!window || log.contains(QStringLiteral(": ") + QString(choice).remove(QChar(u'…')) + QStringLiteral(" (")));
    }
    if (choice == QStringLiteral("Export CSV…"))
        QVERIFY(QFile(exported).size() > 100);
    if (command == QLatin1String("open"))
        QCOMPARE(engine->filePath(), goesOn ? second : first);
    else if (command == QLatin1String("import"))
        QCOMPARE(grid->getMarkers().size() == 1 && grid->getMarkers().first().label == QLatin1String("Imported"),
                 goesOn);
    else
        QCOMPARE(closed, goesOn);
    if (!goesOn)
        QCOMPARE(grid->getMarkers(), rowsBefore);
    if (closed)
        QTRY_VERIFY(window.isNull()); // deleted on close, as in the program
    else
        delete window;
}

QTEST_MAIN(TestUnsavedWork)
#include "tst_unsavedwork.moc"
