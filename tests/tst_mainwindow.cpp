// The window itself: the logs, the audit log's copy, locking, the status
// line.

#include "audio/audioengine.h"
#include "windowrig.h"

#include <QApplication>
#include <QGraphicsBlurEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

bool lockedPagesBlurred(const QTabWidget *tabs)
{
    if (tabs->widget(0)->graphicsEffect())
        return false;
    for (int i = 1; i < tabs->count(); ++i)
        if (!qobject_cast<QGraphicsBlurEffect *>(tabs->widget(i)->graphicsEffect()))
            return false;
    return true;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { rig = std::make_unique<WindowRig>(); }
    void cleanup() { rig.reset(); }

    void logLinesKeepTheirOrder()
    {
        for (int i = 0; i < 200; ++i)
            rig->window->logEvent(QStringLiteral("line %1").arg(i));
        // Lines written in one burst stay in call order.
        const QStringList events = rig->eventLog().split(QLatin1Char('\n'));
        const qsizetype first = events.indexOf(QRegularExpression(QStringLiteral(".*\\] line 0$")));
        QVERIFY(first >= 0);
        for (int i = 1; i < 200; ++i)
            QCOMPARE(WindowRig::unstamped(events.value(first + i)), QStringLiteral("line %1").arg(i));
    }

    void lockBlursAndSwallowsAllButAbout()
    {
        auto *tabs = rig->child<QTabWidget>("infoTabs");
        auto *note = rig->child<QLineEdit>("auditNoteEdit");
        QList<QGraphicsEffect *> firstEffects;
        for (int click = 0; click < 2; ++click) {
            QTest::mouseClick(rig->child<QPushButton>("lockButton"), Qt::LeftButton);
            QVERIFY(lockedPagesBlurred(tabs));
            for (int i = 1; i < tabs->count(); ++i) {
                QVERIFY(!firstEffects.contains(tabs->widget(i)->graphicsEffect())); // a fresh effect each time
                firstEffects << tabs->widget(i)->graphicsEffect();
            }
        }
        QCOMPARE(rig->eventLog().count(QStringLiteral("] Action: Lock Interface Clicked")), 2);
        // Starting locked needs no click, and logs none.
        WindowRig locked(true);
        QVERIFY(lockedPagesBlurred(locked.child<QTabWidget>("infoTabs")));
        QVERIFY(!locked.eventLog().contains(QStringLiteral("Lock Interface")));

        // Nothing is typed into a locked page, but the program still writes to it.
        QTest::keyClicks(note, QStringLiteral("x"));
        QTest::keyClick(note, Qt::Key_Return);
        rig->window->logAudit(QStringLiteral("after lock"));
        QCOMPARE(rig->lastAudit(), QStringLiteral("after lock"));
        QVERIFY(!rig->auditLog().contains(QStringLiteral("Note: x")));
        // Paging down scrolls the About page but not a locked one.
        for (const auto &[page, scrolls] : {std::pair{"aboutView", true}, {"keysView", false}}) {
            auto *view = rig->child<QTextBrowser>(page);
            view->setPlainText(QStringLiteral("text\n").repeated(300));
            tabs->setCurrentWidget(view);
            QCoreApplication::processEvents();
            QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
            QApplication::sendEvent(view, &pageDown);
            QCOMPARE(view->verticalScrollBar()->value() > 0, scrolls);
        }
    }

    void statusSaysWhatHappens_data()
    {
        QTest::addColumn<std::function<void(AudioEngine *)>>("happen");
        QTest::addColumn<QString>("status");
        using Happen = std::function<void(AudioEngine *)>;
        QTest::newRow("load done") << Happen([](AudioEngine *e) {
            emit e->loadingStateChanged(true);
            emit e->loadProgressChanged(42);
            emit e->loadingStateChanged(false);
        }) << "Ready";
        QTest::newRow("load failed, logged before its box opens") << Happen([](AudioEngine *e) {
            emit e->loadingStateChanged(true);
            emit e->errorMessage(QStringLiteral("Could not open file."));
            emit e->loadingStateChanged(false);
        }) << "Could not open file.";
        QTest::newRow("output lost while playing") << Happen([](AudioEngine *e) {
            emit e->outputLost();
            emit e->playbackStopped();
        }) << "Audio output lost — press Play to reconnect";
    }

    void statusSaysWhatHappens()
    {
        QFETCH(std::function<void(AudioEngine *)>, happen);
        QFETCH(QString, status);
        rig->answerDialogs(); // an error also comes in a box
        happen(rig->engine());
        QCOMPARE(rig->child<QLabel>("statusLabel")->text(), status);
        if (status.startsWith(QLatin1String("Could not"))) {
            QTRY_COMPARE(rig->dialogs.size(), 1);
            QCOMPARE(rig->dialogs[0].text, status);
            QCOMPARE(rig->dialogs[0].logged, QStringLiteral("ERROR: ") + status);
        }
    }

private:
    std::unique_ptr<WindowRig> rig;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
