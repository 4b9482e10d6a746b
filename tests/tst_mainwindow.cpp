#include "ui/mainwindow.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QApplication>
#include <QClipboard>
#include <QGraphicsBlurEffect>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString lastEventLine; // what the event log held while the box was open
};

QStringList lines(const QTextEdit *view)
{
    return view->toPlainText().split(QLatin1Char('\n'));
}

QString stripEventStamp(const QString &line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "));
    const auto match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QStringLiteral("<no stamp>") + line;
}

QString stripAuditStamp(const QString &line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d\\] "));
    const auto match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QStringLiteral("<no stamp>") + line;
}

bool hasColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

// Share of the picture's pixels that are clearly of the colour's hue.
double shareOfHue(const QImage &image, const QColor &colour)
{
    int matching = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            const int distance = qAbs(pixel.hsvHue() - colour.hsvHue());
            if (pixel.hsvSaturation() > 60 && qMin(distance, 360 - distance) <= 10)
                ++matching;
        }
    }
    return double(matching) / (image.width() * image.height());
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsMaximisedWithTitleAndAboutInFront();
    void writesBannerInOrder();
    void infoPagesInOrder();
    void controlsInTheirGroups();
    void fixedTexts();
    void acceptsNoDrops();
    void logoFallsBack_data();
    void logoFallsBack();

    void eventLogFollowsTheEndAuditLogStays();
    void emptyLinesKeepTheirStamp();
    void copiesLogsAndPanes();
    void messageSlots_data();
    void messageSlots();

    void paneReportAtStart();
    void paneReportRefreshes_data();
    void paneReportRefreshes();

    void accentReachesEverything_data();
    void accentReachesEverything();
    void gridButtonUncheckedLooksNormal();

    void lockBlursAllButAbout();
    void lockSwallowsEventsOfLockedPages();
    void startLockedNeedsNoClick();
    void hideInfoToggles();

private:
    template<typename T>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    void invokeAndCloseBox(const char *slot, const QString &argument, bool withArgument, SeenBox &seen);

    MainWindow *window = nullptr;
};

void TestMainWindow::init()
{
    window = new MainWindow(nullptr, false);
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
}

void TestMainWindow::startsMaximisedWithTitleAndAboutInFront()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Orlenta LE (Beta)"));
    QVERIFY(window->windowState() & Qt::WindowMaximized);
    QCOMPARE(child<QTabWidget>("infoTabs")->currentIndex(), 0);
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(child<QPushButton>("lockButton")->isVisible());
}

void TestMainWindow::writesBannerInOrder()
{
    // The banner closes the start-up lines (the offscreen platform has no
    // system-wide keys and says so first).
    const QStringList log = lines(child<QTextEdit>("eventLogView")).mid(lines(child<QTextEdit>("eventLogView")).size() - 5);
    QCOMPARE(log.size(), 5);
    const QString rule(42, QLatin1Char('='));
    QCOMPARE(stripEventStamp(log[0]), rule);
    QCOMPARE(stripEventStamp(log[1]), QStringLiteral("Orlenta LE Started (v5.60.1)"));
    QCOMPARE(stripEventStamp(log[2]),
             QStringLiteral("OS: %1 (%2)").arg(QSysInfo::prettyProductName(), QSysInfo::kernelVersion()));
    QCOMPARE(stripEventStamp(log[3]), QStringLiteral("Qt Version: %1").arg(QString::fromLatin1(qVersion())));
    QCOMPARE(stripEventStamp(log[4]), rule);
}

void TestMainWindow::infoPagesInOrder()
{
    auto *tabs = child<QTabWidget>("infoTabs");
    const QStringList expected = {"About", "Metadata", "Format", "Audit Log", "Keys/Help", "Pedals", "Debug", "Panes"};
    QStringList actual;
    for (int i = 0; i < tabs->count(); ++i)
        actual << tabs->tabText(i);
    QCOMPARE(actual, expected);
    QCOMPARE(tabs->widget(0), child<QTextBrowser>("aboutView"));
    QCOMPARE(tabs->widget(3), child<QTextEdit>("auditLogView"));
    QVERIFY(tabs->widget(6)->isAncestorOf(child<QTextEdit>("eventLogView")));
    QVERIFY(child<QTextEdit>("eventLogView")->isReadOnly());
    QVERIFY(!child<QTextEdit>("auditLogView")->isReadOnly());
}

void TestMainWindow::controlsInTheirGroups()
{
    const auto texts = [](const QWidget *parent, auto type) {
        QStringList out;
        using Button = std::remove_pointer_t<decltype(type)>;
        for (const Button *button : parent->findChildren<Button *>())
            out << (button->text().isEmpty() ? button->toolTip() : button->text());
        return out;
    };
    QGroupBox *misc = nullptr, *edits = nullptr, *transport = nullptr;
    for (QGroupBox *box : window->findChildren<QGroupBox *>()) {
        if (box->title() == QLatin1String("Misc"))
            misc = box;
        else if (box->title() == QLatin1String("Edit Tools"))
            edits = box;
        else if (box->title() == QLatin1String("Transport"))
            transport = box;
    }
    QVERIFY(misc && edits && transport);
    QCOMPARE(texts(misc, static_cast<QPushButton *>(nullptr)),
             (QStringList{"Spare", "Grid", "G", "R", "B", "Hide Info", "Lock UI"}));
    QCOMPARE(texts(edits, static_cast<QPushButton *>(nullptr)),
             (QStringList{"Crop", "Silence", "Norm", "1kHz", "Bookmark"}));
    QCOMPARE(texts(transport, static_cast<QToolButton *>(nullptr)),
             (QStringList{"Skip to Start", "Rewind 5s", "", "", "Forward 5s", "Skip to End"}));
    QVERIFY(child<QPushButton>("btnGrid")->isChecked());

    QStringList actions;
    for (const QAction *action : child<QPushButton>("exportButton")->menu()->actions())
        actions << action->text();
    QCOMPARE(actions, (QStringList{"Audio (WAV)...", "Transcript (CSV)...", "Report (PDF)..."}));

    QCOMPARE(child<QSplitter>("mainSplitter")->count(), 3);
    QCOMPARE(child<QSplitter>("headerSplitter")->count(), 5);
    QVERIFY(!child<QSplitter>("headerSplitter")->childrenCollapsible());
    QVERIFY(child<QWidget>("rightWaveContainer")->isAncestorOf(child<WaveformDisplay>("waveR")));
    QCOMPARE(child<WaveformDisplay>("waveL")->currentChannel(), 0);
    QCOMPARE(child<WaveformDisplay>("waveR")->currentChannel(), 1);
}

void TestMainWindow::fixedTexts()
{
    const QString guide = window->findChild<TranscriptionGrid *>()->overlayText();
    const QStringList guideLines = guide.split(QLatin1Char('\n'));
    QCOMPARE(guideLines.size(), 9);
    QCOMPARE(guideLines[0], QStringLiteral("Orlenta LE - Quick Start Guide"));
    QVERIFY(guideLines[1].isEmpty());
    QVERIFY(guideLines[8].startsWith(QStringLiteral("7. Audio Export: ")));
    QVERIFY(!guide.endsWith(QLatin1Char('\n')));

    const QString keys = child<QTextBrowser>("keysView")->toPlainText();
    for (const char *expected : {"Keys/Pedals", "Global Hotkeys (System-Wide)", "F1: Play / Pause",
                                 "F4: Insert Timestamp (Not Active)", "Center Button (2): Play / Pause",
                                 "Note: Pedals work even when the app is minimized."})
        QVERIFY2(keys.contains(QString::fromLatin1(expected)), expected);

    auto *about = child<QTextBrowser>("aboutView");
    QVERIFY(about->openExternalLinks());
    QVERIFY(about->toPlainText().contains(QStringLiteral("Version: 5.60.1")));
    QVERIFY(about->toHtml().contains(QStringLiteral("Check for Updates")));
}

void TestMainWindow::acceptsNoDrops()
{
    QVERIFY(!window->acceptDrops());
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
    if (firstExists) {
        picture.fill(Qt::red);
        QVERIFY(picture.save(pictures.logo, "PNG"));
    }
    if (secondExists) {
        picture.fill(Qt::blue);
        QVERIFY(picture.save(pictures.logoFallback, "PNG")); // PNG bytes under a .jpg name
    }
    MainWindow other(nullptr, false, pictures);
    auto *logo = other.findChild<QLabel *>(QStringLiteral("logoLabel"));
    if (expected.isValid()) {
        const QPixmap shown = logo->pixmap();
        QCOMPARE(shown.height(), 106);
        QCOMPARE(shown.toImage().pixelColor(10, 10), expected);
    } else {
        QVERIFY(logo->pixmap().isNull());
        QCOMPARE(logo->text(), QStringLiteral("Orlenta LE"));
    }
}

void TestMainWindow::eventLogFollowsTheEndAuditLogStays()
{
    auto *tabs = child<QTabWidget>("infoTabs");
    auto *events = child<QTextEdit>("eventLogView");
    auto *audit = child<QTextEdit>("auditLogView");
    for (int i = 0; i < 200; ++i) {
        window->logEvent(QStringLiteral("line %1").arg(i));
        window->logAudit(QStringLiteral("line %1").arg(i));
    }
    // Scroll bars only have a range on the page in front.
    const struct
    {
        QTextEdit *view;
        int page;
        bool followsEnd;
    } logs[] = {{events, 6, true}, {audit, 3, false}};
    for (const auto &log : logs) {
        tabs->setCurrentIndex(log.page);
        QCoreApplication::processEvents();
        QScrollBar *bar = log.view->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(0);
        window->logEvent(QStringLiteral("newest"));
        window->logAudit(QStringLiteral("newest"));
        QCOMPARE(bar->value(), log.followsEnd ? bar->maximum() : 0);
    }
    QCOMPARE(stripEventStamp(lines(events).last()), QStringLiteral("newest"));
    QCOMPARE(stripAuditStamp(lines(audit).last()), QStringLiteral("newest"));
    // Lines written in one burst stay in call order.
    QCOMPARE(stripEventStamp(lines(events).at(lines(events).indexOf(QRegularExpression(QStringLiteral(".*\\] line 0$"))) + 199)),
             QStringLiteral("line 199"));
}

void TestMainWindow::emptyLinesKeepTheirStamp()
{
    window->logEvent(QString());
    window->logAudit(QString());
    QVERIFY(QRegularExpression(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] $"))
                .match(lines(child<QTextEdit>("eventLogView")).last())
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^\\[\\d\\d:\\d\\d\\] $"))
                .match(lines(child<QTextEdit>("auditLogView")).last())
                .hasMatch());
}

void TestMainWindow::copiesLogsAndPanes()
{
    QClipboard *clipboard = QApplication::clipboard();
    auto *audit = child<QTextEdit>("auditLogView");
    window->logAudit(QStringLiteral("stamped"));
    audit->append(QStringLiteral("File: interview.wav"));
    audit->moveCursor(QTextCursor::End);
    QTest::keyClicks(audit, QStringLiteral(" typed by hand"));
    QVERIFY(QMetaObject::invokeMethod(window, "onCopyAuditClicked"));
    QVERIFY(clipboard->text().endsWith(QStringLiteral("stamped\nFile: interview.wav typed by hand")));

    QTest::mouseClick(child<QPushButton>("copyDebugButton"), Qt::LeftButton);
    QCOMPARE(clipboard->text(), child<QTextEdit>("eventLogView")->toPlainText());

    QTest::mouseClick(child<QPushButton>("copyPanesButton"), Qt::LeftButton);
    QVERIFY(clipboard->text().startsWith(QStringLiteral("=== Layout Dimensions ===\n\nVertical Layout:\n")));

    QVERIFY(QMetaObject::invokeMethod(window, "onClearDebugLog"));
    QVERIFY(child<QTextEdit>("eventLogView")->toPlainText().isEmpty());
}

void TestMainWindow::invokeAndCloseBox(const char *slot, const QString &argument, bool withArgument, SeenBox &seen)
{
    bool closed = false;
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [&]() {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.lastEventLine = lines(child<QTextEdit>("eventLogView")).last();
        poll->stop();
        box->button(QMessageBox::Ok)->click();
        closed = true;
    });
    poll->start(10);
    if (withArgument)
        QMetaObject::invokeMethod(window, slot, Qt::QueuedConnection, Q_ARG(QString, argument));
    else
        QMetaObject::invokeMethod(window, slot, Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(closed, 5000);
    delete poll;
}

void TestMainWindow::messageSlots_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("withArgument");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("logged"); // empty: nothing new in the event log

    QTest::newRow("error is logged before its box opens")
        << "onErrorMessage" << "Could not open file." << true << "Error" << "Could not open file."
        << int(QMessageBox::Critical) << "ERROR: Could not open file.";
    QTest::newRow("empty error still logs and asks")
        << "onErrorMessage" << "" << true << "Error" << "" << int(QMessageBox::Critical) << "ERROR: ";
    QTest::newRow("help") << "onHelpClicked" << "" << false << "Help" << "Manual not found."
                          << int(QMessageBox::Information) << "";
    QTest::newRow("updates") << "onCheckUpdatesClicked" << "" << false << "Updates" << "No updates available."
                             << int(QMessageBox::Information) << "";
}

void TestMainWindow::messageSlots()
{
    QFETCH(QString, slot);
    QFETCH(QString, argument);
    QFETCH(bool, withArgument);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(QString, logged);
    const QString before = lines(child<QTextEdit>("eventLogView")).last();

    SeenBox seen;
    invokeAndCloseBox(slot.toLatin1().constData(), argument, withArgument, seen);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(seen.title, title);
    QCOMPARE(seen.text, text);
    QCOMPARE(int(seen.icon), icon);
    if (logged.isEmpty())
        QCOMPARE(seen.lastEventLine, before);
    else
        QCOMPARE(stripEventStamp(seen.lastEventLine), logged);
}

void TestMainWindow::paneReportAtStart()
{
    const QString text = child<QTextEdit>("panesView")->toPlainText();
    const QStringList sections = text.split(QStringLiteral("\n\n"));
    QCOMPARE(sections.size(), 6);
    QCOMPARE(sections[0], QStringLiteral("=== Layout Dimensions ==="));
    QVERIFY(sections[1].startsWith(QStringLiteral("Vertical Layout:\nHeader: ")));
    QVERIFY(sections[2].startsWith(QStringLiteral("Header (Horiz):\nLogo: ")));
    QVERIFY(sections[3].startsWith(QStringLiteral("Wave Area (Horiz):\nChannel Strip: ")));
    QVERIFY(sections[4].startsWith(QStringLiteral("Transport (Horiz):\nDSP Tools: ")));
    QVERIFY(sections[5].startsWith(QStringLiteral("Bottom Area (Horiz):\nTranscription Grid: ")));
    QVERIFY(sections[5].contains(QStringLiteral(" | Info Panel: ")));
}

void TestMainWindow::paneReportRefreshes_data()
{
    QTest::addColumn<QString>("splitter");
    QTest::addColumn<bool>("refreshes");
    QTest::newRow("moving the bottom divider") << "bottomSplitter" << true;
    QTest::newRow("moving the main divider") << "mainSplitter" << true;
    QTest::newRow("moving the transport divider") << "controlsSplitter" << true;
    QTest::newRow("moving the wave area divider") << "waveSplitter" << true;
    QTest::newRow("moving a header divider does not") << "headerSplitter" << false;
}

void TestMainWindow::paneReportRefreshes()
{
    QFETCH(QString, splitter);
    QFETCH(bool, refreshes);
    auto *view = child<QTextEdit>("panesView");
    view->setPlainText(QStringLiteral("stale"));

    // Drag the first handle by 40 pixels, as the user would.
    auto *moved = window->findChild<QSplitter *>(splitter);
    QSplitterHandle *handle = moved->handle(1);
    const QPoint centre = handle->rect().center();
    const QPoint step = moved->orientation() == Qt::Horizontal ? QPoint(40, 0) : QPoint(0, 40);
    const QList<int> before = moved->sizes();
    QTest::mousePress(handle, Qt::LeftButton, {}, centre);
    QTest::mouseMove(handle, centre + step);
    if (moved->sizes() == before) // the pane was at its limit; the other way then
        QTest::mouseMove(handle, centre - step);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, centre - step);
    QVERIFY(moved->sizes() != before);
    QCOMPARE(view->toPlainText() != QLatin1String("stale"), refreshes);

    // A resize of the window refreshes it whatever moved.
    view->setPlainText(QStringLiteral("stale"));
    QResizeEvent resize(window->size(), window->size());
    QApplication::sendEvent(window, &resize);
    QVERIFY(view->toPlainText().startsWith(QStringLiteral("=== Layout Dimensions ===")));
}

void TestMainWindow::accentReachesEverything_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QColor>("accent");
    QTest::newRow("R") << "redButton" << QColor(QStringLiteral("#FF4444"));
    QTest::newRow("B") << "blueButton" << QColor(QStringLiteral("#4488FF"));
    QTest::newRow("G after R restores green") << "greenButton" << QColor(QStringLiteral("#00FF00"));
}

void TestMainWindow::accentReachesEverything()
{
    QFETCH(QString, button);
    QFETCH(QColor, accent);
    if (button == QLatin1String("greenButton"))
        QTest::mouseClick(child<QPushButton>("redButton"), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QPushButton *>(button), Qt::LeftButton);
    const QString name = accent.name(QColor::HexRgb).toUpper();

    QVERIFY(child<QLabel>("clockLabel")->styleSheet().contains(QStringLiteral("color: ") + name));
    QCOMPARE(child<WaveformDisplay>("waveL")->currentWaveColor(), accent);
    QCOMPARE(child<WaveformDisplay>("waveR")->currentWaveColor(), accent);
    QVERIFY(window->styleSheet().contains(QStringLiteral("selection-background-color: ") + name));
    QVERIFY(window->styleSheet().contains(QStringLiteral("QSplitter::handle:pressed { background-color: ") + name));

    // What the user sees: the clock digits, a group title and the checked Grid button.
    QVERIFY(hasColour(child<QLabel>("clockLabel")->grab().toImage(), accent));
    QGroupBox *timing = nullptr;
    for (QGroupBox *box : window->findChildren<QGroupBox *>())
        if (box->title() == QLatin1String("Timing"))
            timing = box;
    QVERIFY(hasColour(timing->grab(QRect(0, 0, timing->width(), 24)).toImage(), accent));
    auto *gridButton = child<QPushButton>("btnGrid");
    const QImage grid = gridButton->grab().toImage();
    // The style shades the button, so compare hues rather than exact pixels.
    QVERIFY(shareOfHue(grid, accent) > 0.5);
    QVERIFY(hasColour(grid, Qt::black));
}

void TestMainWindow::gridButtonUncheckedLooksNormal()
{
    auto *gridButton = child<QPushButton>("btnGrid");
    gridButton->setChecked(false);
    QCOMPARE(shareOfHue(gridButton->grab().toImage(), QColor(QStringLiteral("#00FF00"))), 0.0);
}

void TestMainWindow::lockBlursAllButAbout()
{
    auto *tabs = child<QTabWidget>("infoTabs");
    auto *lockButton = child<QPushButton>("lockButton");
    QList<QGraphicsEffect *> firstEffects;
    for (int click = 0; click < 2; ++click) {
        QTest::mouseClick(lockButton, Qt::LeftButton);
        QCOMPARE(tabs->widget(0)->graphicsEffect(), nullptr);
        for (int i = 1; i < tabs->count(); ++i) {
            auto *blur = qobject_cast<QGraphicsBlurEffect *>(tabs->widget(i)->graphicsEffect());
            QVERIFY2(blur, qPrintable(tabs->tabText(i)));
            QCOMPARE(blur->blurRadius(), 8.0);
            if (click == 0)
                firstEffects << blur;
            else
                QVERIFY(!firstEffects.contains(blur)); // a fresh effect each time
        }
    }
    const QStringList log = lines(child<QTextEdit>("eventLogView"));
    QCOMPARE(log.filter(QStringLiteral("] Action: Lock Interface Clicked")).size(), 2);
}

void TestMainWindow::lockSwallowsEventsOfLockedPages()
{
    auto *tabs = child<QTabWidget>("infoTabs");
    auto *audit = child<QTextEdit>("auditLogView");
    const auto typeInto = [](QWidget *page) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(page, &press);
    };
    typeInto(audit);
    QCOMPARE(audit->toPlainText(), QStringLiteral("x"));

    QTest::mouseClick(child<QPushButton>("lockButton"), Qt::LeftButton);
    typeInto(audit);
    QCOMPARE(audit->toPlainText(), QStringLiteral("x"));
    // The program still writes to a locked log.
    window->logAudit(QStringLiteral("after lock"));
    QVERIFY(audit->toPlainText().endsWith(QStringLiteral("after lock")));

    // Paging down scrolls the About page but not a locked one.
    const struct
    {
        const char *page;
        bool scrolls;
    } pages[] = {{"aboutView", true}, {"keysView", false}};
    for (const auto &page : pages) {
        auto *view = child<QTextBrowser>(page.page);
        view->setPlainText(QStringLiteral("text\n").repeated(300));
        tabs->setCurrentWidget(view);
        QCoreApplication::processEvents();
        QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(view, &pageDown);
        QCOMPARE(view->verticalScrollBar()->value() > 0, page.scrolls);
    }
}

void TestMainWindow::startLockedNeedsNoClick()
{
    MainWindow lockedWindow(nullptr, true);
    auto *tabs = lockedWindow.findChild<QTabWidget *>(QStringLiteral("infoTabs"));
    for (int i = 1; i < tabs->count(); ++i)
        QVERIFY(qobject_cast<QGraphicsBlurEffect *>(tabs->widget(i)->graphicsEffect()));
    QCOMPARE(tabs->widget(0)->graphicsEffect(), nullptr);
    const QString log = lockedWindow.findChild<QTextEdit *>(QStringLiteral("eventLogView"))->toPlainText();
    QVERIFY(!log.contains(QStringLiteral("Lock Interface")));
}

void TestMainWindow::hideInfoToggles()
{
    auto *button = child<QPushButton>("infoButton");
    auto *pane = child<QWidget>("infoPane");
    auto *audit = child<QTextEdit>("auditLogView");
    const struct
    {
        bool visible;
        const char *text;
        const char *line;
    } steps[] = {{false, "Show Info", "Info Pane: Hidden"}, {true, "Hide Info", "Info Pane: Visible"},
                 {false, "Show Info", "Info Pane: Hidden"}};
    int written = 0;
    for (const auto &step : steps) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(pane->isVisible(), step.visible);
        QCOMPARE(button->text(), QString::fromLatin1(step.text));
        QCOMPARE(button->isChecked(), !step.visible);
        const QStringList auditLines = lines(audit);
        QCOMPARE(auditLines.size(), ++written);
        QCOMPARE(stripAuditStamp(auditLines.last()), QString::fromLatin1(step.line));
    }
    // With the pane hidden the grid has the bottom area to itself.
    auto *bottom = child<QSplitter>("bottomSplitter");
    QTRY_COMPARE(window->findChild<TranscriptionGrid *>()->width(), bottom->width());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
