// Opening a recording by dropping its file on the window: one local audio
// file, then the same steps as Open after its file dialog.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

QString MainWindow::droppedRecording(const QDropEvent *event) const
{
    // Copy only: a drop offered as a move would have the file manager delete
    // the recording once it is dropped.
    if (!engine || engine->isLoading() || !(event->possibleActions() & Qt::CopyAction))
        return QString();
    const QMimeData *mime = event->mimeData();
    const QList<QUrl> urls = mime ? mime->urls() : QList<QUrl>();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return QString();
    const QString path = urls.first().toLocalFile();
    return isAudioFileName(path) ? path : QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void MainWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (droppedRecording(event).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString path = droppedRecording(event);
    if (path.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    logEvent(QStringLiteral("User Action: Dropped ") + path);
    // Opened after the drop has returned: the unsaved-work question and the
    // decode must not keep the program the file came from waiting in its drag.
    QMetaObject::invokeMethod(
        this, [this, path]() { openRecording(path); }, Qt::QueuedConnection);
}
