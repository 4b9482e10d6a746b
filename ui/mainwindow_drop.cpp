// Opening a recording by dropping its file on the window: one local audio
// file, then the same steps as Open after its file dialog.

#include "ui/mainwindow.h"

#include "audio/audioengine.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
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

// A text field would take the file's address as text: the case details
// would then carry "file:///..." into the report and the saved WAV.
void MainWindow::watchFieldDrops()
{
    const QList<QLineEdit *> fields = findChildren<QLineEdit *>();
    for (QLineEdit *field : fields)
        field->installEventFilter(this);
}

bool MainWindow::takeFieldDrop(QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto *drop = static_cast<QDropEvent *>(event);
    if (droppedRecording(drop).isEmpty())
        return false;
    if (type == QEvent::Drop)
        dropEvent(drop);
    else
        dragMoveEvent(static_cast<QDragMoveEvent *>(event));
    return true;
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
