// The widget tree: header, channel strip and waveforms, transport, and the
// grid beside the information tabs, all in splitters.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"
#include "widgets/transcriptiongrid.h"
#include "widgets/waveformdisplay.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

namespace {

constexpr int kLogoHeight = 106;
constexpr int kColourButtonWidth = 25;
constexpr int kChannelStripMinWidth = 140;
constexpr int kLoadProgressWidth = 100;
constexpr int kTimeSourceLength = 12; // "Track Timing"

template<typename T>
T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *makeLogoLabel(const WindowPictures &pictures)
{
    auto *label = named(new QLabel, "logoLabel");
    QPixmap logo(pictures.logo);
    if (logo.isNull())
        logo = QPixmap(pictures.logoFallback);
    if (logo.isNull())
        label->setText(QStringLiteral("Orlenta LE"));
    else
        label->setPixmap(logo.scaledToHeight(kLogoHeight, Qt::SmoothTransformation));
    return label;
}

QWidget *pageWithButton(QWidget *view, QPushButton *button, bool defaultMargins)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    if (!defaultMargins)
        layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    layout->addWidget(button);
    return page;
}

} // namespace

void MainWindow::setupUi(const WindowPictures &pictures)
{
    auto *central = new QWidget(this);
    auto *centralLayout = new QVBoxLayout(central);
    setCentralWidget(central);

    mainSplitter = named(new QSplitter(Qt::Vertical), "mainSplitter");
    centralLayout->addWidget(mainSplitter);

    mainSplitter->addWidget(buildHeader(pictures));
    mainSplitter->addWidget(buildWaveArea());

    bottomSplitter = named(new QSplitter(Qt::Horizontal), "bottomSplitter");
    bottomSplitter->addWidget(grid);
    bottomSplitter->addWidget(buildInfoPane());
    bottomSplitter->setSizes({8000, 2000});
    mainSplitter->addWidget(bottomSplitter);
    mainSplitter->setSizes({1300, 3490, 5210});

    for (QSplitter *splitter : {mainSplitter, bottomSplitter, controlsSplitter, waveSplitter})
        connect(splitter, &QSplitter::splitterMoved, this, &MainWindow::updatePaneSizes);
}

QWidget *MainWindow::buildHeader(const WindowPictures &pictures)
{
    headerSplitter = named(new QSplitter(Qt::Horizontal), "headerSplitter");
    headerSplitter->setChildrenCollapsible(false);
    headerSplitter->addWidget(makeLogoLabel(pictures));

    // The clock, the length and the time source stand one above the other,
    // so the header stays narrow enough for small screens.
    auto *timing = new QGroupBox(QStringLiteral("Timing"));
    auto *timingLayout = new QVBoxLayout(timing);
    timingLayout->setContentsMargins(5, 5, 5, 5);
    timingLayout->setSpacing(0);
    clockLabel = named(new QLabel(QStringLiteral("00:00:00.000")), "clockLabel");
    clockLabel->setAlignment(Qt::AlignCenter);
    durationLabel = named(new QLabel(QStringLiteral("/ 00:00:00.000")), "durationLabel");
    durationLabel->setAlignment(Qt::AlignCenter);
    durationLabel->setStyleSheet(QStringLiteral("font-size: 14px; color: #CCC;"));
    timeSourceCombo = named(new QComboBox, "timeSourceCombo");
    // Filled only after a load: room for "Track Timing" from the start.
    timeSourceCombo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    timeSourceCombo->setMinimumContentsLength(kTimeSourceLength);
    connect(timeSourceCombo, &QComboBox::currentIndexChanged, this, &MainWindow::onTimeSourceChanged);
    timingLayout->addWidget(clockLabel);
    timingLayout->addWidget(durationLabel);
    timingLayout->addWidget(timeSourceCombo, 0, Qt::AlignHCenter);
    headerSplitter->addWidget(timing);

    auto *caseBox = new QGroupBox(QStringLiteral("Case Details"));
    auto *caseLayout = new QGridLayout(caseBox);
    caseLayout->setContentsMargins(5, 5, 5, 5);
    caseLayout->setSpacing(5);
    struct CaseField
    {
        const char *label;
        const char *placeholder;
        const char *name;
        QLineEdit **edit;
    };
    const CaseField fields[] = {
        {"Ref:", "Reference", "refEdit", &refEdit},
        {"Loc:", "Location", "locEdit", &locEdit},
        {"Op:", "Operation", "opEdit", &opEdit},
        {"OIC:", "OIC", "oicEdit", &oicEdit},
        {"Tscr:", "Transcriber", "transcriberEdit", &transcriberEdit},
        {"Transl:", "Translator", "translatorEdit", &translatorEdit},
    };
    for (int i = 0; i < 6; ++i) {
        const CaseField &field = fields[i];
        *field.edit = named(new QLineEdit, field.name);
        (*field.edit)->setPlaceholderText(QString::fromLatin1(field.placeholder));
        const int row = i / 2;
        const int column = (i % 2) * 2;
        caseLayout->addWidget(new QLabel(QString::fromLatin1(field.label)), row, column);
        caseLayout->addWidget(*field.edit, row, column + 1);
    }
    headerSplitter->addWidget(caseBox);

    // Two rows of buttons: one row is too wide for a 1280 pixel screen.
    auto *misc = new QGroupBox(QStringLiteral("Misc"));
    auto *miscLayout = new QGridLayout(misc);
    miscLayout->setContentsMargins(5, 5, 5, 5);
    spareButton = named(new QPushButton(QStringLiteral("Spare")), "spareButton");
    gridButton = named(new QPushButton(QStringLiteral("Grid")), "btnGrid");
    gridButton->setCheckable(true);
    gridButton->setChecked(true);
    greenButton = named(new QPushButton(QStringLiteral("G")), "greenButton");
    redButton = named(new QPushButton(QStringLiteral("R")), "redButton");
    blueButton = named(new QPushButton(QStringLiteral("B")), "blueButton");
    const std::pair<QPushButton *, const char *> colourButtons[] = {
        {greenButton, "background-color: #00AA00; color: white; font-weight: bold;"},
        {redButton, "background-color: #AA0000; color: white; font-weight: bold;"},
        {blueButton, "background-color: #0044AA; color: white; font-weight: bold;"},
    };
    for (const auto &[button, style] : colourButtons) {
        button->setFixedWidth(kColourButtonWidth);
        button->setStyleSheet(QString::fromLatin1(style));
    }
    infoButton = named(new QPushButton(QStringLiteral("Hide Info")), "infoButton");
    infoButton->setCheckable(true);
    lockButton = named(new QPushButton(QStringLiteral("Lock UI")), "lockButton");
    auto *colours = new QHBoxLayout;
    for (QPushButton *button : {greenButton, redButton, blueButton})
        colours->addWidget(button);
    miscLayout->addWidget(spareButton, 0, 0);
    miscLayout->addWidget(gridButton, 0, 1);
    miscLayout->addLayout(colours, 0, 2);
    miscLayout->addWidget(infoButton, 1, 0);
    miscLayout->addWidget(lockButton, 1, 1);
    connect(greenButton, &QPushButton::clicked, this, &MainWindow::onSetColorGreen);
    connect(redButton, &QPushButton::clicked, this, &MainWindow::onSetColorRed);
    connect(blueButton, &QPushButton::clicked, this, &MainWindow::onSetColorBlue);
    connect(infoButton, &QPushButton::clicked, this, &MainWindow::onToggleInfoPane);
    connect(lockButton, &QPushButton::clicked, this, &MainWindow::onRestrictedClicked);
    headerSplitter->addWidget(misc);

    auto *status = new QWidget;
    auto *statusLayout = new QVBoxLayout(status);
    statusLabel = named(new QLabel(QStringLiteral("Ready")), "statusLabel");
    statusLabel->setStyleSheet(QStringLiteral("font-size: 14px; color: #AAA;"));
    statusLabel->setWordWrap(true); // an error message may be long
    loadProgress = named(new QProgressBar, "loadProgress");
    loadProgress->setFixedWidth(kLoadProgressWidth);
    loadProgress->hide();
    statusLayout->addWidget(statusLabel);
    statusLayout->addWidget(loadProgress);
    headerSplitter->addWidget(status);

    headerSplitter->setSizes({990, 2520, 3610, 2590, 290});
    return headerSplitter;
}

QWidget *MainWindow::buildWaveArea()
{
    waveSplitter = named(new QSplitter(Qt::Horizontal), "waveSplitter");

    // The strip's least width is held by its groups, not the strip itself,
    // so it still grows for the selection's times in a larger font.
    auto *strip = new QWidget;
    auto *stripLayout = new QVBoxLayout(strip);
    const int stripRight = 5;
    stripLayout->setContentsMargins(0, 0, stripRight, 0);

    auto *channels = new QGroupBox(QStringLiteral("Channels"));
    channels->setMinimumWidth(kChannelStripMinWidth - stripRight);
    auto *channelsLayout = new QVBoxLayout(channels);
    channelsLayout->setContentsMargins(5, 5, 5, 5);
    const QIcon muteIcon = style()->standardIcon(QStyle::SP_MediaVolumeMuted);
    muteLCheck = named(new QCheckBox(QStringLiteral("Mute L")), "muteLCheck");
    muteLCheck->setIcon(muteIcon);
    linkCheck = named(new QCheckBox(QStringLiteral("Link L/R")), "linkCheck");
    linkCheck->setChecked(true);
    muteRCheck = named(new QCheckBox(QStringLiteral("Mute R")), "muteRCheck");
    muteRCheck->setIcon(muteIcon);
    channelsLayout->addWidget(muteLCheck);
    channelsLayout->addWidget(linkCheck);
    channelsLayout->addWidget(muteRCheck);
    stripLayout->addWidget(channels);

    auto *tools = new QGroupBox(QStringLiteral("Tools"));
    auto *toolsLayout = new QVBoxLayout(tools);
    toolsLayout->setContentsMargins(5, 5, 5, 5);
    auto *zoomRow = new QHBoxLayout;
    zoomInButton = named(new QPushButton(QStringLiteral("+")), "zoomInButton");
    zoomOutButton = named(new QPushButton(QStringLiteral("-")), "zoomOutButton");
    zoomRow->addWidget(zoomInButton);
    zoomRow->addWidget(zoomOutButton);
    toolsLayout->addLayout(zoomRow);
    zoomSelButton = named(new QPushButton(QStringLiteral("Zoom Sel")), "zoomSelButton");
    fitButton = named(new QPushButton(QStringLiteral("Full")), "fitButton");
    selectAllButton = named(new QPushButton(QStringLiteral("All")), "selectAllButton");
    deselectButton = named(new QPushButton(QStringLiteral("None")), "deselectButton");
    for (QPushButton *button : {zoomSelButton, fitButton, selectAllButton, deselectButton})
        toolsLayout->addWidget(button);
    selectionLabel = named(new QLabel, "selectionLabel");
    selectionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    toolsLayout->addWidget(selectionLabel);
    stripLayout->addWidget(tools);
    stripLayout->addStretch();
    waveSplitter->addWidget(strip);

    auto *area = new QWidget;
    auto *areaLayout = new QVBoxLayout(area);
    areaLayout->setContentsMargins(0, 0, 0, 0);
    waveL->setObjectName(QStringLiteral("waveL"));
    waveR->setObjectName(QStringLiteral("waveR"));
    areaLayout->addWidget(waveL);
    rightWaveContainer = named(new QWidget, "rightWaveContainer");
    auto *rightLayout = new QVBoxLayout(rightWaveContainer);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(waveR);
    areaLayout->addWidget(rightWaveContainer);
    scrollBar = named(new QScrollBar(Qt::Horizontal), "scrollBar");
    areaLayout->addWidget(scrollBar);
    areaLayout->addWidget(buildTransport());
    waveSplitter->addWidget(area);

    waveSplitter->setSizes({990, 9010});
    return waveSplitter;
}

QWidget *MainWindow::buildTransport()
{
    controlsSplitter = named(new QSplitter(Qt::Horizontal), "controlsSplitter");

    auto *edits = new QGroupBox(QStringLiteral("Edit Tools"));
    auto *editsLayout = new QHBoxLayout(edits);
    editsLayout->setContentsMargins(5, 5, 5, 5);
    cropButton = named(new QPushButton(QStringLiteral("Crop")), "cropButton");
    silenceButton = named(new QPushButton(QStringLiteral("Silence")), "silenceButton");
    normButton = named(new QPushButton(QStringLiteral("Norm")), "normButton");
    toneButton = named(new QPushButton(QStringLiteral("1kHz")), "toneButton");
    bookmarkButton = named(new QPushButton(QStringLiteral("Bookmark")), "bookmarkButton");
    connect(bookmarkButton, &QPushButton::clicked, this, &MainWindow::onBookmarkClicked);
    for (QPushButton *button : {cropButton, silenceButton, normButton, toneButton, bookmarkButton})
        editsLayout->addWidget(button);
    controlsSplitter->addWidget(edits);

    auto *transport = new QGroupBox(QStringLiteral("Transport"));
    auto *transportLayout = new QHBoxLayout(transport);
    transportLayout->setContentsMargins(5, 5, 5, 5);

    auto *fileColumn = new QWidget;
    auto *fileLayout = new QVBoxLayout(fileColumn);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    fileLayout->setSpacing(2);
    openButton = named(new QPushButton(QStringLiteral("Open")), "openButton");
    connect(openButton, &QPushButton::clicked, this, &MainWindow::onOpenClicked);
    exportButton = named(new QPushButton(QStringLiteral("Export")), "exportButton");
    exportMenu = named(new QMenu(this), "exportMenu");
    connect(exportMenu->addAction(QStringLiteral("Audio (WAV)...")), &QAction::triggered, this,
            &MainWindow::onSaveClicked);
    connect(exportMenu->addAction(QStringLiteral("Transcript (CSV)...")), &QAction::triggered, this,
            &MainWindow::onExportTranscriptClicked);
    connect(exportMenu->addAction(QStringLiteral("Report (PDF)...")), &QAction::triggered, this,
            &MainWindow::onExportPdfClicked);
    exportButton->setMenu(exportMenu);
    auto *importButton = named(new QPushButton(QStringLiteral("Import CSV")), "importCsvButton");
    connect(importButton, &QPushButton::clicked, this, &MainWindow::onImportCsvClicked);
    fileLayout->addWidget(openButton);
    fileLayout->addWidget(exportButton);
    fileLayout->addWidget(importButton);
    transportLayout->addWidget(fileColumn);

    struct Tool
    {
        QToolButton **button;
        const char *name;
        QStyle::StandardPixmap icon;
        const char *toolTip;
    };
    const Tool tools[] = {
        {&skipStartButton, "skipStartButton", QStyle::SP_MediaSkipBackward, "Skip to Start"},
        {&rewindButton, "rewindButton", QStyle::SP_MediaSeekBackward, "Rewind 5s"},
        {&playButton, "playButton", QStyle::SP_MediaPlay, nullptr},
        {&stopButton, "stopButton", QStyle::SP_MediaStop, nullptr},
        {&forwardButton, "forwardButton", QStyle::SP_MediaSeekForward, "Forward 5s"},
        {&skipEndButton, "skipEndButton", QStyle::SP_MediaSkipForward, "Skip to End"},
    };
    for (const Tool &tool : tools) {
        *tool.button = named(new QToolButton, tool.name);
        (*tool.button)->setIcon(transportIcon(tool.icon));
        if (tool.toolTip)
            (*tool.button)->setToolTip(QString::fromLatin1(tool.toolTip));
        transportLayout->addWidget(*tool.button);
    }

    loopButton = named(new QPushButton(QStringLiteral("Loop")), "loopButton");
    loopButton->setCheckable(true);
    transportLayout->addWidget(loopButton);
    transportLayout->addStretch();
    // The speeds name themselves ("1.5x"); the label room goes to Backstep,
    // so the row fits a 1280-pixel screen.
    speedCombo = named(new QComboBox, "speedCombo");
    for (const double speed : {0.5, 1.0, 1.5, 2.0})
        speedCombo->addItem(QString::number(speed, 'f', 1) + QLatin1Char('x'), speed);
    speedCombo->setCurrentIndex(speedCombo->findData(1.0));
    speedCombo->setToolTip(QStringLiteral("Playback speed, pitch kept"));
    transportLayout->addWidget(speedCombo);
    transportLayout->addWidget(new QLabel(QStringLiteral("Backstep:")));
    backstepCombo = named(new QComboBox, "backstepCombo");
    backstepCombo->addItems({QStringLiteral("Off"), QStringLiteral("1 s"), QStringLiteral("2 s"), QStringLiteral("3 s"),
                             QStringLiteral("5 s")});
    backstepCombo->setToolTip(QStringLiteral("How far back playback picks up when it resumes after a pause"));
    transportLayout->addWidget(backstepCombo);
    deviceCombo = named(new QComboBox, "deviceCombo");
    transportLayout->addWidget(deviceCombo);
    controlsSplitter->addWidget(transport);

    controlsSplitter->setSizes({2580, 7420});
    return controlsSplitter;
}

QWidget *MainWindow::buildInfoPane()
{
    infoPane = named(new QWidget, "infoPane");
    auto *layout = new QVBoxLayout(infoPane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    infoTabs = named(new QTabWidget, "infoTabs");
    layout->addWidget(infoTabs);

    aboutView = named(new QTextBrowser, "aboutView");
    aboutView->setOpenExternalLinks(true);
    loadAboutPage();
    infoTabs->addTab(aboutView, QStringLiteral("About"));

    metadataView = named(new QTextEdit, "metadataView");
    auto *copyMeta = named(new QPushButton(QStringLiteral("Copy Metadata")), "copyMetadataButton");
    connect(copyMeta, &QPushButton::clicked, this, &MainWindow::onCopyMetaClicked);
    infoTabs->addTab(pageWithButton(metadataView, copyMeta, false), QStringLiteral("Metadata"));

    formatView = named(new QTextEdit, "formatView");
    auto *update = named(new QPushButton(QStringLiteral("Update")), "updateFormatButton");
    connect(update, &QPushButton::clicked, engine, &AudioEngine::refreshFormatInfo);
    auto *copyFormat = named(new QPushButton(QStringLiteral("Copy Format")), "copyFormatButton");
    connect(copyFormat, &QPushButton::clicked, this, &MainWindow::onCopyFormatsClicked);
    auto *formatPage = pageWithButton(formatView, update, false);
    formatPage->layout()->addWidget(copyFormat);
    infoTabs->addTab(formatPage, QStringLiteral("Format"));

    // The program's lines are a record: they can be read, selected and
    // copied, never typed over. The transcriber's own lines go in as notes.
    auditLogView = named(new QTextEdit, "auditLogView");
    auditLogView->setReadOnly(true);
    auditLogView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auditNoteEdit = named(new QLineEdit, "auditNoteEdit");
    auditNoteEdit->setPlaceholderText(QStringLiteral("Note for the audit log"));
    addNoteButton = named(new QPushButton(QStringLiteral("Add Note")), "addNoteButton");
    connect(auditNoteEdit, &QLineEdit::returnPressed, this, &MainWindow::onAddAuditNote);
    connect(addNoteButton, &QPushButton::clicked, this, &MainWindow::onAddAuditNote);
    auto *auditPage = named(new QWidget, "auditPage");
    auto *auditLayout = new QVBoxLayout(auditPage);
    auditLayout->setContentsMargins(0, 0, 0, 0);
    auditLayout->addWidget(auditLogView);
    auto *noteRow = new QHBoxLayout;
    noteRow->addWidget(auditNoteEdit);
    noteRow->addWidget(addNoteButton);
    auditLayout->addLayout(noteRow);
    infoTabs->addTab(auditPage, QStringLiteral("Audit Log"));

    keysView = named(new QTextBrowser, "keysView");
    infoTabs->addTab(keysView, QStringLiteral("Keys/Help"));

    pedalsView = named(new QTextEdit, "pedalsView");
    pedalsView->setReadOnly(true);
    pedalDeviceList = named(new QListWidget, "pedalDeviceList");
    auto *refreshPedals = named(new QPushButton(QStringLiteral("Refresh")), "refreshPedalsButton");
    connect(refreshPedals, &QPushButton::clicked, this, &MainWindow::onRefreshPedals);
    auto *pedalsPage = pageWithButton(pedalsView, refreshPedals, false);
    static_cast<QVBoxLayout *>(pedalsPage->layout())->insertWidget(1, pedalDeviceList);
    infoTabs->addTab(pedalsPage, QStringLiteral("Pedals"));

    eventLogView = named(new QTextEdit, "eventLogView");
    eventLogView->setReadOnly(true);
    auto *copyDebug = named(new QPushButton(QStringLiteral("Copy to Clipboard")), "copyDebugButton");
    connect(copyDebug, &QPushButton::clicked, this, &MainWindow::onCopyDebugClicked);
    infoTabs->addTab(pageWithButton(eventLogView, copyDebug, true), QStringLiteral("Debug"));

    panesView = named(new QTextEdit, "panesView");
    panesView->setReadOnly(true);
    auto *copyPanes = named(new QPushButton(QStringLiteral("Copy Panes")), "copyPanesButton");
    connect(copyPanes, &QPushButton::clicked, this, &MainWindow::onCopyPanesClicked);
    infoTabs->addTab(pageWithButton(panesView, copyPanes, false), QStringLiteral("Panes"));

    infoTabs->setCurrentIndex(0);
    return infoPane;
}

void MainWindow::fitTextWidths()
{
    // Room for the longest selection line, so the strip does not jump when
    // a selection appears.
    if (selectionLabel)
        selectionLabel->setMinimumWidth(selectionLabel->fontMetrics().horizontalAdvance(
            QStringLiteral("Length 00:00:00.000")));
    for (QLineEdit *edit : {refEdit, locEdit, opEdit, oicEdit, transcriberEdit, translatorEdit}) {
        if (!edit)
            continue;
        // What the style and the box itself take around the text: its frame,
        // its text margins and QLineEdit's fixed two pixels a side.
        constexpr int kProbeWidth = 1000;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.rect = QRect(0, 0, kProbeWidth, edit->height());
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QRect text = edit->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                               .marginsRemoved(edit->textMargins());
        const int around = kProbeWidth - text.width() + 2 * 2;
        edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(edit->placeholderText()) + around);
    }
}
