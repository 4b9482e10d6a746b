// Look and window-level commands: dark theme, accent colour, the pane
// proportions report, the interface lock and the info pane toggle.

#include "ui/mainwindow.h"

#include "ui/panereport.h"
#include "widgets/waveformdisplay.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QGraphicsBlurEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QSplitter>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTextEdit>

namespace {

constexpr qreal kLockBlurRadius = 8.0;
const QColor kButtonText(Qt::white);
constexpr int kIconSides[] = {16, 24, 32, 48};

QString describeSplitter(const QSplitter *splitter, const QStringList &names)
{
    if (!splitter)
        return QStringLiteral("N/A");
    return describeSizes(splitter->sizes(), names);
}

QString windowStyleSheet(const QString &accent)
{
    return QStringLiteral(
               "QGroupBox { border: 1px solid #444; border-radius: 4px; margin-top: 22px; }"
               "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; "
               "padding: 0 5px; font-weight: bold; font-size: 11pt; color: %1; }"
               "QSplitter::handle { background-color: #3a3a3a; }"
               "QSplitter::handle:horizontal { width: 1px; }"
               "QSplitter::handle:vertical { height: 1px; }"
               "QSplitter::handle:pressed { background-color: %1; }"
               "QComboBox { background-color: #333; color: white; border: 1px solid #555; padding: 4px; }"
               "QComboBox QAbstractItemView { background-color: #333; color: white; "
               "selection-background-color: %1; }"
               "QHeaderView::section { background-color: #333; color: white; border: 1px solid #444; }"
               // Every on/off control says "on" in the accent colour.
               "QPushButton:checked#btnGrid, QPushButton:checked#loopButton, QPushButton:checked#infoButton, "
               "QCheckBox:checked#muteLCheck, QCheckBox:checked#muteRCheck "
               "{ background-color: %1; color: black; }")
        .arg(accent);
}

} // namespace

void MainWindow::applyDarkTheme()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font = QApplication::font();
    font.setPointSize(font.pointSize() + 1);
    QApplication::setFont(font);

    QPalette palette;
    palette.setColor(QPalette::Window, QColor(18, 18, 18));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(25, 25, 25));
    palette.setColor(QPalette::AlternateBase, QColor(35, 35, 35));
    palette.setColor(QPalette::ToolTipBase, Qt::black);
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(45, 45, 45));
    palette.setColor(QPalette::ButtonText, kButtonText);
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(127, 127, 127));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(127, 127, 127));
    // Qt's own placeholder grey is meant for light themes and vanishes here.
    palette.setColor(QPalette::PlaceholderText, QColor(160, 160, 160));
    QApplication::setPalette(palette);
}

QIcon MainWindow::transportIcon(QStyle::StandardPixmap which) const
{
    const QIcon source = style()->standardIcon(which);
    QIcon tinted;
    for (int side : kIconSides) {
        QPixmap pixmap = source.pixmap(side);
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), kButtonText);
        painter.end();
        tinted.addPixmap(pixmap);
    }
    return tinted;
}

void MainWindow::applyAccentColor(const QString &color)
{
    if (clockLabel)
        clockLabel->setStyleSheet(
            QStringLiteral("font-size: 26px; font-weight: bold; border: none; color: %1;").arg(color));
    for (WaveformDisplay *wave : {waveL, waveR}) {
        if (wave)
            wave->setWaveColor(QColor(color));
    }
    setStyleSheet(windowStyleSheet(color));
    // The theme's font and this style sheet decide how wide texts are.
    fitTextWidths();
}

void MainWindow::onSetColorGreen()
{
    applyAccentColor(QStringLiteral("#00FF00"));
}

void MainWindow::onSetColorRed()
{
    applyAccentColor(QStringLiteral("#FF4444"));
}

void MainWindow::onSetColorBlue()
{
    applyAccentColor(QStringLiteral("#4488FF"));
}

void MainWindow::updatePaneSizes()
{
    if (!mainSplitter || !bottomSplitter || !panesView || !headerSplitter)
        return;
    QString text = QStringLiteral("=== Layout Dimensions ===\n\n");
    text += QStringLiteral("Vertical Layout:\n")
        + describeSplitter(mainSplitter, {QStringLiteral("Header"), QStringLiteral("Waveforms"),
                                          QStringLiteral("Bottom Area")})
        + QStringLiteral("\n\n");
    text += QStringLiteral("Header (Horiz):\n")
        + describeSplitter(headerSplitter, {QStringLiteral("Logo"), QStringLiteral("Timing"),
                                            QStringLiteral("Case Details"), QStringLiteral("Misc"),
                                            QStringLiteral("Status")})
        + QStringLiteral("\n\n");
    text += QStringLiteral("Wave Area (Horiz):\n")
        + describeSplitter(waveSplitter, {QStringLiteral("Channel Strip"), QStringLiteral("Wave/Transport")})
        + QStringLiteral("\n\n");
    text += QStringLiteral("Transport (Horiz):\n")
        + describeSplitter(controlsSplitter, {QStringLiteral("DSP Tools"), QStringLiteral("Controls")})
        + QStringLiteral("\n\n");
    text += QStringLiteral("Bottom Area (Horiz):\n")
        + describeSplitter(bottomSplitter, {QStringLiteral("Transcription Grid"), QStringLiteral("Info Panel")});
    // Plain text, so a name can never be taken for markup.
    panesView->setPlainText(text);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    updatePaneSizes();
}

void MainWindow::lockInfoPages()
{
    if (!infoTabs || infoTabs->count() < 2)
        return;
    const auto blur = [this](QWidget *widget) {
        auto *effect = new QGraphicsBlurEffect(this);
        effect->setBlurRadius(kLockBlurRadius);
        widget->setGraphicsEffect(effect); // replaces and deletes an earlier one
    };
    for (int i = 1; i < infoTabs->count(); ++i) {
        QWidget *page = infoTabs->widget(i);
        blur(page);
        // On screen a scroll area's viewport is painted past its page's
        // effect, so logs and reports stayed legible; blur them too.
        QList<QAbstractScrollArea *> areas = page->findChildren<QAbstractScrollArea *>();
        if (auto *area = qobject_cast<QAbstractScrollArea *>(page))
            areas.append(area);
        for (QAbstractScrollArea *area : std::as_const(areas))
            blur(area->viewport());
        if (!lockedPages.contains(page)) {
            page->installEventFilter(this);
            lockedPages.insert(page);
        }
    }
}

void MainWindow::onRestrictedClicked()
{
    logEvent(QStringLiteral("Action: Lock Interface Clicked"));
    locked = true;
    lockInfoPages();
}

void MainWindow::applyLockState()
{
    if (!locked) {
        if (lockButton)
            lockButton->setVisible(true);
        return;
    }
    lockInfoPages();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (locked && watched->isWidgetType() && lockedPages.contains(static_cast<QWidget *>(watched)))
        return true;
    if (qobject_cast<QLineEdit *>(watched) && takeFieldDrop(event))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onToggleInfoPane()
{
    if (!infoPane || !infoButton)
        return;
    // isHidden, not isVisible: the toggle must work while the window itself is hidden.
    const bool visible = infoPane->isHidden();
    infoPane->setVisible(visible);
    infoButton->setText(visible ? QStringLiteral("Hide Info") : QStringLiteral("Show Info"));
    infoButton->setChecked(!visible);
    logAudit(visible ? QStringLiteral("Info Pane: Visible") : QStringLiteral("Info Pane: Hidden"));
}
