#pragma once

#include "ui/auditedhistory.h"
#include "ui/auditrecord.h"
#include "ui/recoveryjournal.h"
#include "widgets/marker.h"

#include <QMainWindow>
#include <QStyle>
#include <QSet>
#include <QString>

class AudioEngine;
class JournalKeeper;
class FootPedalManager;
class GlobalHotkeys;
class RemoteControl;
class QListWidget;
struct CaseDetails;
struct UnsavedWork;
class QCheckBox;
class QComboBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QSplitter;
class QTabWidget;
class QTextBrowser;
class QTextEdit;
class QToolButton;
class TranscriptionGrid;
class WaveformDisplay;

// Where the window finds its pictures; tests point these elsewhere to see
// the fallbacks work.
struct WindowPictures
{
    QString logo = QStringLiteral(":/Logo_le.png");
    QString logoFallback = QStringLiteral(":/Logo_le.jpg");
    QString icon = QStringLiteral(":/app_icon.ico");
};

// The program's only window: builds every pane and control, keeps the event
// and audit logs, and its slots are the controller between the parts.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(QWidget *parent, bool startLocked, const WindowPictures &pictures = WindowPictures());
    ~MainWindow() override;

    void applyAccentColor(const QString &color);
    // Offers back the work of a program that ended without saving it (a
    // crash, a kill, a power cut), one journal at a time.
    void offerRecovery();
    // After Open's file dialog, for a dropped file and for the file named on
    // the command line: the unsaved-work question, then the load.
    void openRecording(const QString &path);
    // Control from other programs; the application sets these up once,
    // for its one window.
    void connectRemote(RemoteControl *remote);
    // On Wayland, or where the X11 grab failed: F1 to F4 through the
    // desktop portal, or a line saying the remote is the way left.
    void startShortcutPortal();

    // "[HH:mm:ss.zzz] text" to the event log, kept scrolled to the end.
    void logEvent(const QString &text);
    // "[HH:mm] text" to the audit log; the user's scroll position stays.
    void logAudit(const QString &text);
    // A line of the program's own to the audit log, as it stands. Every
    // line the program writes there comes through here.
    void appendAudit(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void onFitToWidth();
    void onZoomIn();
    void onZoomOut();
    void onZoomSelection();
    void onZoomToggle();
    void updateClocks(qlonglong position);
    void updatePlayIcon();
    void onToggleInfoPane();
    void onToggleGridLines(bool checked);
    void onWaveformScrub(qlonglong ms);
    void onScrollBarMoved(int value);
    void onViewChangedL(double zoom, int offset);
    void onViewChangedR(double zoom, int offset);
    void onRegionSelected(qlonglong start, qlonglong end, int channel);
    void onZoomRequested(double factor);
    void onGridJump(qlonglong ms);
    void onGridPlayRegion(qlonglong start, qlonglong end);
    void onGridRegionRequested(qlonglong start, qlonglong end);
    void onSelectAllClicked();
    void onDeselectClicked();
    void onPlayPauseClicked();
    void onStopClicked();
    void onRewindClicked();
    void onForwardClicked();
    void onSkipStartClicked();
    void onSkipEndClicked();
    void onLoopToggled(bool checked);
    void onMuteToggled();
    void onSpeedChanged(int index);
    void onBackstepChanged(int index);
    void onDeviceChanged(int index);
    void onWaveformReady(QList<double> l, QList<double> r);
    void onPlaybackStopped();
    void onLoadingStateChanged(bool isLoading);
    void onRecordingReplaced(const QString &path);
    void handleGlobalKey(int keyId);
    // F4: a bookmark at the heard position with no dialog, for a transcriber
    // typing in another program; the row is selected for naming later.
    void onQuickBookmark();
    void onGoToTime();
    // Go to an elapsed time given from outside, without the dialog.
    void goToPosition(qlonglong ms);
    void onPedalDown(int button);
    void onPedalUp(int button);
    void onPedalLog(QString msg);
    void onRefreshPedals();
    void onErrorMessage(const QString &msg, const QString &reason = QString());
    void onRestrictedClicked();
    void onClearDebugLog();
    void updatePaneSizes();
    void onCopyPanesClicked();
    void onOpenClicked();
    void onSaveClicked();
    void onTrimAudio();
    void onSilenceAudio();
    void onNormalizeClicked();
    void onTrimPeaksClicked();
    void onTone1kClicked();
    void onUndo();
    void onRedo();
    void onBookmarkClicked();
    void onExportTranscriptClicked();
    void onImportCsvClicked();
    void onExportPdfClicked();
    void onMarkersReady(QList<Marker> markers);
    void onCopyDebugClicked();
    void onTimeSourceChanged(int index);
    void onMetadataReady(QMap<QString, QString> meta);
    void onFormatDataReady(QString info);
    void onCopyFormatsClicked();
    void onCopyMetaClicked();
    void onCopyAuditClicked();
    void onAddAuditNote();
    void onSpectrogramClicked();
    void onHelpClicked();
    void onCheckUpdatesClicked();
    void onSetColorGreen();
    void onSetColorRed();
    void onSetColorBlue();

private:
    void setupUi(const WindowPictures &pictures);
    // File dialogs; `dialog` names the dialog whose last folder is kept.
    QString askOpenPath(const QString &dialog, const QString &caption, const QString &filter);
    // `ending` is what an export adds to the recording's base name
    // (".csv", "-edited.wav"); its extension goes on a name typed without one.
    QString askSavePath(const QString &dialog, const QString &caption, const QString &filter, const QString &ending);
    // The few preferences kept between runs (INI under $XDG_CONFIG_HOME).
    static QVariant preference(const QString &key, const QVariant &fallback = QVariant());
    static void setPreference(const QString &key, const QVariant &value);
    // "Orlenta LE (Beta)", and " - " with the recording's file name when one is open.
    void showTitle(const QString &recording);
    void connectEngine();
    void connectTransport();
    // The time-source choices: Real Time when the start time is known, and
    // "Set Start Time…" unless the recording itself carries one.
    void listTimeSources(const QStringList &sources, int chosen);
    // Asks for the time of day a recording without one started.
    void askStartTime();
    // A typed start time, from the dialog or from a recovery journal.
    void useStartTime(qlonglong timeOfDayMs);
    void fillDeviceList();
    bool transportReady() const;
    void onLoadProgress(int percent);
    void applyView(double zoom, int offset);
    void connectNavigation();
    void connectEditing();
    void connectTranscript();
    void setupGoToTime();
    void setupHotkeys();
    // Enter on a waveform view or the grid adds a bookmark.
    void setupBookmarkKeys();
    // Unsaved work: what is not yet in an exported or saved file, and the
    // question asked before any of it would be let go.
    void connectUnsavedTracking();
    UnsavedWork unsavedWork(bool transcriptOnly) const;
    // True when the command that would let the work go may go on.
    bool confirmUnsavedWork(const QString &command, bool transcriptOnly);
    void markTranscriptSaved();
    void noteWorkChanged();
    void noteAudioEdited(const JournalEdit &edit);
    // Crash recovery: the journal of this window's work, and bringing back a
    // journal left behind.
    void setupJournal();
    RecoveryJournal journalSnapshot() const;
    void recover(const RecoveryJournal &journal);
    bool exportTranscript();
    static bool isAudioFileName(const QString &path);
    // The file a drop would open; empty when the drop is not one to take.
    QString droppedRecording(const QDropEvent *event) const;
    // A recording dragged over a text field is the window's drop, not text.
    void watchFieldDrops();
    bool takeFieldDrop(QEvent *event);
    void setupPedals();
    CaseDetails caseDetails() const;
    bool editReady() const;
    // After an edit: its audit line, its undo step and, for a redaction,
    // its transcript row (when redactionNote is not empty).
    void recordEdit(const JournalEdit &edit, const QString &redactionNote);
    void takeRedactionRow(AuditedStep &step);
    void restoreRedactionRow(AuditedStep &step);
    int rowOf(quint64 rowId) const;
    void showAuditEntry(const AuditEntry &entry);
    // A note the transcriber typed, unsaved until a PDF report carries it.
    void appendNote(const QString &text);
    void showEditMenu(QWidget *view, const QPoint &at);
    void updateScrollBar();
    void followPlayHead(qlonglong position);
    // The ruler, the recording's length and the selection's times, in the
    // clock's time source.
    void updateTimeReadouts();
    void showStatus(const QString &text);
    // Case boxes and the selection's times at least as wide as their
    // texts, in the font in use.
    void fitTextWidths();
    bool playHeadInView(qlonglong position) const;
    void notePlayHeadInView();
    void showGridMenu(const QPoint &at);
    QWidget *buildHeader(const WindowPictures &pictures);
    QWidget *buildWaveArea();
    QWidget *buildTransport();
    QWidget *buildInfoPane();
    void applyDarkTheme();
    // The style's transport icon in the dark theme's button text colour:
    // the style draws them dark, for light themes.
    QIcon transportIcon(QStyle::StandardPixmap which) const;
    void applyLockState();
    void lockInfoPages();
    void loadKeysHelp();
    static QString quickStartGuide();
    static void copyViewText(const QTextEdit *view);
    void loadAboutPage();
    void writeBanner();

    AudioEngine *engine = nullptr;
    TranscriptionGrid *grid = nullptr;
    FootPedalManager *pedalManager = nullptr;
    GlobalHotkeys *hotkeys = nullptr;
    WaveformDisplay *waveL = nullptr;
    WaveformDisplay *waveR = nullptr;

    bool locked = false;
    QSet<QWidget *> lockedPages;
    QString currentFile;
    QString openingPath; // the file a running Open is loading
    bool transcriptChanged = false; // since the last CSV export or import
    bool caseDetailsChanged = false; // since the last WAV save or PDF export: the CSV holds no case details
    bool audioChanged = false;       // since the last WAV save
    QStringList unreportedNotes;     // audit notes typed since this recording's last PDF report
    JournalKeeper *journal = nullptr;
    QList<JournalEdit> journalEdits; // every edit since the recording was opened, undo and redo too
    // The audit log itself; the pane only shows it.
    QList<AuditEntry> auditRecord;
    AuditedHistory auditedHistory;
    quint64 lastRowId = 0; // of the redaction rows added

    // The view both channel views share, and the selection.
    double viewZoom = 0.1;
    double detailZoom = 1.0; // remembered by the overview/detail toggle
    int viewOffset = 0;
    bool playHeadWasVisible = true;
    qlonglong selStart = 0;
    qlonglong selEnd = 0;
    int selChannel = -1;

    QSplitter *mainSplitter = nullptr;
    QSplitter *headerSplitter = nullptr;
    QSplitter *waveSplitter = nullptr;
    QSplitter *controlsSplitter = nullptr;
    QSplitter *bottomSplitter = nullptr;

    QLabel *clockLabel = nullptr;
    QLabel *durationLabel = nullptr;
    QComboBox *timeSourceCombo = nullptr;
    int timeSourceShown = 0;          // the last choice that is a time source, to go back to
    qlonglong typedStartTimeMs = -1; // the start time the user typed; -1 when none
    QLabel *statusLabel = nullptr;
    QProgressBar *loadProgress = nullptr;
    QLineEdit *refEdit = nullptr;
    QLineEdit *locEdit = nullptr;
    QLineEdit *opEdit = nullptr;
    QLineEdit *oicEdit = nullptr;
    QLineEdit *transcriberEdit = nullptr;
    QLineEdit *translatorEdit = nullptr;

    QPushButton *spareButton = nullptr;
    QPushButton *gridButton = nullptr;
    QPushButton *greenButton = nullptr;
    QPushButton *redButton = nullptr;
    QPushButton *blueButton = nullptr;
    QPushButton *infoButton = nullptr;
    QPushButton *lockButton = nullptr;

    QCheckBox *muteLCheck = nullptr;
    QCheckBox *linkCheck = nullptr;
    QCheckBox *muteRCheck = nullptr;
    QPushButton *zoomInButton = nullptr;
    QPushButton *zoomOutButton = nullptr;
    QPushButton *zoomSelButton = nullptr;
    QPushButton *fitButton = nullptr;
    QPushButton *selectAllButton = nullptr;
    QPushButton *deselectButton = nullptr;
    QLabel *selectionLabel = nullptr;

    QWidget *rightWaveContainer = nullptr;
    QScrollBar *scrollBar = nullptr;

    QPushButton *openButton = nullptr;
    QPushButton *exportButton = nullptr;
    QMenu *exportMenu = nullptr;
    QToolButton *skipStartButton = nullptr;
    QToolButton *rewindButton = nullptr;
    QToolButton *playButton = nullptr;
    QToolButton *stopButton = nullptr;
    QToolButton *forwardButton = nullptr;
    QToolButton *skipEndButton = nullptr;
    QPushButton *loopButton = nullptr;
    QComboBox *speedCombo = nullptr;
    QComboBox *backstepCombo = nullptr;
    QComboBox *deviceCombo = nullptr;

    QPushButton *cropButton = nullptr;
    QPushButton *silenceButton = nullptr;
    QPushButton *normButton = nullptr;
    QPushButton *toneButton = nullptr;
    QPushButton *bookmarkButton = nullptr;

    QWidget *infoPane = nullptr;
    QTabWidget *infoTabs = nullptr;
    QTextBrowser *aboutView = nullptr;
    QTextEdit *metadataView = nullptr;
    QTextEdit *formatView = nullptr;
    QTextEdit *auditLogView = nullptr;
    QLineEdit *auditNoteEdit = nullptr;
    QPushButton *addNoteButton = nullptr;
    QTextBrowser *keysView = nullptr;
    QTextEdit *pedalsView = nullptr;
    QListWidget *pedalDeviceList = nullptr;
    QTextEdit *eventLogView = nullptr;
    QTextEdit *panesView = nullptr;
};
