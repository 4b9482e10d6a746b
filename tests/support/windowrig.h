#pragma once

#include "ui/mainwindow.h"

#include <QList>
#include <QMessageBox>
#include <QString>

class AudioEngine;
class QTimer;
class TranscriptionGrid;

// A main window for a test, with the few things every window test needs:
// named children, the engine, the two logs, and an answerer for the dialogs
// the window opens.
class WindowRig
{
public:
    // What a dialog showed when it was answered.
    struct Dialog
    {
        QString title;
        QString text;   // a box's text, an input dialog's label, the file a file dialog offered
        QString detail; // a box's informative text
        int icon = 0;   // a box's QMessageBox::Icon
        QString logged; // the event log's last line (unstamped) while it was open
    };

    explicit WindowRig(bool startLocked = false, const WindowPictures &pictures = WindowPictures());
    ~WindowRig();
    WindowRig(const WindowRig &) = delete;
    WindowRig &operator=(const WindowRig &) = delete;

    // The child of that object name; a missing one ends the test run.
    template<typename T>
    T *child(const char *name) const
    {
        T *found = window->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    AudioEngine *engine() const;
    TranscriptionGrid *grid() const;
    QString eventLog() const;
    QString auditLog() const;
    QString lastEvent() const; // without its time stamp
    QString lastAudit() const;

    // Loads a recording and waits until the views show it.
    bool load(const QString &path);

    // Triggers an entry of the Export menu: 0 audio, 1 transcript, 2 report.
    void exportEntry(int index) const;

    // From now on every dialog is answered: a file dialog gets `path` typed
    // in (an empty one is cancelled; a "replace it?" question that follows
    // is a message box too), an input dialog `text` (or Cancel with
    // `cancelInput`), a message box the button `boxAnswer` if it has one,
    // else its default button. Each is recorded in `dialogs`.
    void answerDialogs(const QString &path = QString(), const QString &text = QString());

    // Whether the machine has a sound output (PulseAudio may take a moment).
    static bool hasAudioOutput();

    // A log line without its "[hh:mm:ss.zzz] " or "[hh:mm] " stamp; marked
    // "<no stamp>" when it has none.
    static QString unstamped(const QString &line);

    MainWindow *window = nullptr;
    QList<Dialog> dialogs;
    QMessageBox::StandardButton boxAnswer = QMessageBox::NoButton;
    bool cancelInput = false;

private:
    QTimer *answering = nullptr;
};
