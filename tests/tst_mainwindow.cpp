// The window itself: start-up lines, the logs, the layout report's copy, the
// accent, locking and hiding the pane, readability, the status line.

#include "audio/audioengine.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"
#include "windowrig.h"

#include <QApplication>
#include <QClipboard>
#include <QGraphicsBlurEffect>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// Share of the picture's pixels clearly of the colour's hue (styles shade buttons).
double shareOfHue(const QImage &image, const QColor &colour)
{
    int matching = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const int distance = qAbs(pixel.hsvHue() - colour.hsvHue());
            matching += pixel.hsvSaturation() > 60 && qMin(distance, 360 - distance) <= 10;
        }
    }
    return double(matching) / (image.width() * image.height());
}

bool hasColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

bool lockedPagesBlurred(const QTabWidget *tabs)
{
    if (tabs->widget(0)->graphicsEffect())
        return false;
    for (int i = 1; i < tabs->count(); ++i)
        if (!qobject_cast<QGraphicsBlurEffect *>(tabs->widget(i)->graphicsEffect()))
            return false;
    return true;
}

// WCAG 2 contrast ratio of two opaque colours.
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

// The colour of an icon's most opaque pixel: what the eye reads as its shape.
QColor iconInk(const QIcon &icon)
{
    const QImage image = icon.pixmap(32).toImage();
    QColor ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y).alpha() > ink.alpha() || !ink.isValid())
                ink = image.pixelColor(x, y);
    ink.setAlpha(255);
    return ink;
}

// The pixels a line edit has for its text.
int textRoom(const QLineEdit *edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).marginsRemoved(edit->textMargins()).width() - 4;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { startFont = QApplication::font(); }
    // Each window raises the application's font a point, as the one window
    // of the program does; tests see the font of that one window.
    void init()
    {
        QApplication::setFont(startFont);
        rig = std::make_unique<WindowRig>();
    }
    void cleanup() { rig.reset(); }

    void startsMaximisedWithBannerLast();
    void logoFallsBack_data();
    void logoFallsBack();
    void eventLogFollowsTheEndAuditLogStays();
    void copiesLogsAndPanes();
    void accentReachesEverything_data();
    void accentReachesEverything();
    void lockBlursAndSwallowsAllButAbout();
    void hideInfoToggles();
    void readableOnTheDarkTheme_data();
    void readableOnTheDarkTheme();
    void fitsSmallScreens_data();
    void fitsSmallScreens();
    void statusSaysWhatHappens_data();
    void statusSaysWhatHappens();

private:
    QFont startFont;
    std::unique_ptr<WindowRig> rig;
};

void TestMainWindow::startsMaximisedWithBannerLast()
{
    QVERIFY(rig->window->windowState() & Qt::WindowMaximized);
    QCOMPARE(rig->child<QTabWidget>("infoTabs")->currentIndex(), 0);
    // The banner closes the start-up lines (the offscreen platform has no
    // system-wide keys and says so first).
    QStringList last = rig->eventLog().split(QLatin1Char('\n'));
    last = last.mid(last.size() - 5);
    for (QString &line : last)
        line = WindowRig::unstamped(line);
    const QString rule(42, QLatin1Char('='));
    QCOMPARE(last, (QStringList{rule, QStringLiteral("Orlenta LE Started (v5.60.1)"),
                                QStringLiteral("OS: %1 (%2)").arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion()),
                                QStringLiteral("Qt Version: %1").arg(QString::fromLatin1(qVersion())), rule}));

    // Starting locked needs no click, and logs none.
    WindowRig locked(true);
    QVERIFY(lockedPagesBlurred(locked.child<QTabWidget>("infoTabs")));
    QVERIFY(!locked.eventLog().contains(QStringLiteral("Lock Interface")));
}

void TestMainWindow::logoFallsBack_data()
{
    QTest::addColumn<bool>("firstExists");
    QTest::addColumn<bool>("secondExists");
    QTest::addColumn<QColor>("expected"); // invalid: the text is shown
    QTest::newRow("first picture") << true << true << QColor(Qt::red);
    QTest::newRow("second picture when the first is missing") << false << true << QColor(Qt::blue);
    QTest::newRow("text when both are missing") << false << false << QColor();
}

void TestMainWindow::logoFallsBack()
{
    QFETCH(bool, firstExists);
    QFETCH(bool, secondExists);
    QFETCH(QColor, expected);
    QTemporaryDir dir;
    WindowPictures pictures;
    pictures.logo = dir.filePath(QStringLiteral("first.png"));
    pictures.logoFallback = dir.filePath(QStringLiteral("second.jpg"));
    QImage picture(640, 360, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QVERIFY(!firstExists || picture.save(pictures.logo, "PNG"));
    picture.fill(Qt::blue);
    QVERIFY(!secondExists || picture.save(pictures.logoFallback, "PNG")); // PNG bytes under a .jpg name
    rig.reset();
    rig = std::make_unique<WindowRig>(false, pictures);
    auto *logo = rig->child<QLabel>("logoLabel");
    if (expected.isValid()) {
        QCOMPARE(logo->pixmap().height(), 106);
        QCOMPARE(logo->pixmap().toImage().pixelColor(10, 10), expected);
    } else {
        QVERIFY(logo->pixmap().isNull());
        QCOMPARE(logo->text(), QStringLiteral("Orlenta LE"));
    }
}

void TestMainWindow::eventLogFollowsTheEndAuditLogStays()
{
    auto *tabs = rig->child<QTabWidget>("infoTabs");
    for (int i = 0; i < 200; ++i) {
        rig->window->logEvent(QStringLiteral("line %1").arg(i));
        rig->window->logAudit(QStringLiteral("line %1").arg(i));
    }
    // Scroll bars only have a range on the page in front.
    const struct
    {
        const char *view;
        int page;
        bool followsEnd;
    } logs[] = {{"eventLogView", 6, true}, {"auditLogView", 3, false}};
    for (const auto &log : logs) {
        tabs->setCurrentIndex(log.page);
        QCoreApplication::processEvents();
        QScrollBar *bar = rig->child<QTextEdit>(log.view)->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        rig->window->logEvent(QStringLiteral("newest"));
        rig->window->logAudit(QStringLiteral("newest"));
        QCOMPARE(bar->value(), log.followsEnd ? bar->maximum() : 0);
    }
    QCOMPARE(rig->lastEvent(), QStringLiteral("newest"));
    QCOMPARE(rig->lastAudit(), QStringLiteral("newest"));
    // Lines written in one burst stay in call order.
    const QStringList events = rig->eventLog().split(QLatin1Char('\n'));
    const qsizetype first = events.indexOf(QRegularExpression(QStringLiteral(".*\\] line 0$")));
    QCOMPARE(WindowRig::unstamped(events.value(first + 199)), QStringLiteral("line 199"));
}

void TestMainWindow::copiesLogsAndPanes()
{
    QClipboard *clipboard = QApplication::clipboard();
    rig->window->logAudit(QStringLiteral("stamped"));
    rig->window->appendAudit(QStringLiteral("File: interview.wav"));
    QTest::keyClicks(rig->child<QLineEdit>("auditNoteEdit"), QStringLiteral("typed by hand"));
    QTest::mouseClick(rig->child<QPushButton>("addNoteButton"), Qt::LeftButton);
    QVERIFY(QMetaObject::invokeMethod(rig->window, "onCopyAuditClicked"));
    QVERIFY(clipboard->text().endsWith(QStringLiteral("stamped\nFile: interview.wav\nNote: typed by hand")));

    QTest::mouseClick(rig->child<QPushButton>("copyDebugButton"), Qt::LeftButton);
    QCOMPARE(clipboard->text(), rig->eventLog());
    QTest::mouseClick(rig->child<QPushButton>("copyPanesButton"), Qt::LeftButton);
    QCOMPARE(clipboard->text(), rig->child<QTextEdit>("panesView")->toPlainText());
    QVERIFY(clipboard->text().startsWith(QStringLiteral("=== Layout Dimensions ===\n\nVertical Layout:\n")));

    QVERIFY(QMetaObject::invokeMethod(rig->window, "onClearDebugLog"));
    QVERIFY(rig->eventLog().isEmpty());
}

void TestMainWindow::accentReachesEverything_data()
{
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QColor>("accent");
    QTest::newRow("R") << QStringList{"redButton"} << QColor(QStringLiteral("#FF4444"));
    QTest::newRow("B") << QStringList{"blueButton"} << QColor(QStringLiteral("#4488FF"));
    QTest::newRow("G after R restores green") << QStringList{"redButton", "greenButton"}
                                              << QColor(QStringLiteral("#00FF00"));
}

void TestMainWindow::accentReachesEverything()
{
    QFETCH(QStringList, buttons);
    QFETCH(QColor, accent);
    for (const QString &button : buttons)
        QTest::mouseClick(rig->window->findChild<QPushButton *>(button), Qt::LeftButton);

    QCOMPARE(rig->child<WaveformDisplay>("waveL")->currentWaveColor(), accent);
    QCOMPARE(rig->child<WaveformDisplay>("waveR")->currentWaveColor(), accent);
    // What the user sees: the clock digits, and each on/off control while on only.
    QVERIFY(hasColour(rig->child<QLabel>("clockLabel")->grab().toImage(), accent));
    for (const char *name : {"btnGrid", "loopButton", "infoButton", "muteLCheck", "muteRCheck"}) {
        auto *button = rig->window->findChild<QAbstractButton *>(QString::fromLatin1(name));
        for (const bool on : {true, false}) {
            button->setChecked(on);
            const double share = shareOfHue(button->grab().toImage(), accent);
            QVERIFY2(on ? share > 0.5 : share < 0.05, name);
        }
    }
}

void TestMainWindow::lockBlursAndSwallowsAllButAbout()
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

void TestMainWindow::hideInfoToggles()
{
    auto *button = rig->child<QPushButton>("infoButton");
    auto *pane = rig->child<QWidget>("infoPane");
    for (bool visible : {false, true, false}) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(pane->isVisible(), visible);
        QCOMPARE(rig->lastAudit(), visible ? QStringLiteral("Info Pane: Visible") : QStringLiteral("Info Pane: Hidden"));
    }
    QCOMPARE(rig->auditLog().count(QLatin1Char('\n')), 2); // one line a click
    // With the pane hidden the grid has the bottom area to itself.
    QTRY_COMPARE(rig->window->findChild<TranscriptionGrid *>()->width(), rig->child<QSplitter>("bottomSplitter")->width());
}

void TestMainWindow::readableOnTheDarkTheme_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("icon");
    for (const char *name : {"skipStartButton", "rewindButton", "playButton", "stopButton", "forwardButton",
                             "skipEndButton"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
    for (const char *name : {"refEdit", "locEdit", "opEdit", "oicEdit", "transcriberEdit", "translatorEdit"})
        QTest::newRow(name) << QString::fromLatin1(name) << false;
}

void TestMainWindow::readableOnTheDarkTheme()
{
    QFETCH(QString, name);
    QFETCH(bool, icon);
    auto *widget = rig->window->findChild<QWidget *>(name);
    QVERIFY(widget);
    const QPalette palette = widget->palette();
    const double ratio = icon ? contrast(iconInk(static_cast<QToolButton *>(widget)->icon()), palette.color(QPalette::Button))
                              : contrast(palette.color(QPalette::PlaceholderText), palette.color(QPalette::Base));
    QVERIFY2(ratio >= 4.5, qPrintable(QString::number(ratio)));
}

void TestMainWindow::fitsSmallScreens_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::newRow("1280 x 720") << QSize(1280, 720);
    QTest::newRow("1366 x 768") << QSize(1366, 768);
}

void TestMainWindow::fitsSmallScreens()
{
    QFETCH(QSize, screen);
    MainWindow *window = rig->window;
    window->showNormal();
    window->resize(screen);
    QTRY_COMPARE(window->size(), screen);
    QCoreApplication::processEvents();
    for (auto *edit : window->findChildren<QLineEdit *>()) {
        if (edit->placeholderText().isEmpty())
            continue;
        QVERIFY2(textRoom(edit) >= edit->fontMetrics().horizontalAdvance(edit->placeholderText()),
                 qPrintable(edit->objectName()));
    }
    const QRect inside = window->rect();
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (!qobject_cast<QToolButton *>(control) && !qobject_cast<QAbstractButton *>(control)
            && !qobject_cast<QComboBox *>(control))
            continue;
        if (!control->isVisibleTo(window) || control->objectName().startsWith(QLatin1String("qt_")))
            continue;
        const QRect at(control->mapTo(window, QPoint(0, 0)), control->size());
        QVERIFY2(inside.contains(at), qPrintable(control->objectName() + QLatin1Char(' ') + control->metaObject()->className()));
    }
}

void TestMainWindow::statusSaysWhatHappens_data()
{
    QTest::addColumn<std::function<void(AudioEngine *)>>("happen");
    QTest::addColumn<QString>("status");
    using Happen = std::function<void(AudioEngine *)>;
    QTest::newRow("load starts") << Happen([](AudioEngine *e) { emit e->loadingStateChanged(true); }) << "Loading";
    QTest::newRow("load under way") << Happen([](AudioEngine *e) {
        emit e->loadingStateChanged(true);
        emit e->loadProgressChanged(42);
    }) << "Loading 42 %";
    QTest::newRow("load done") << Happen([](AudioEngine *e) {
        emit e->loadProgressChanged(100);
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

void TestMainWindow::statusSaysWhatHappens()
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

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
