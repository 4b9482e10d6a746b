// The file dialogs: each starts in the folder it was last used in (kept
// between runs), an export suggests a name beside the recording, and a name
// typed without an extension gets the export's own.

#include "ui/mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>

namespace {

QSettings preferences()
{
    // An INI file under $XDG_CONFIG_HOME: a few preferences, nothing else.
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("orlenta-le"),
                     QStringLiteral("orlenta-le"));
}

QString folderKey(const QString &dialog)
{
    return QStringLiteral("folders/") + dialog;
}

void rememberFolder(const QString &dialog, const QString &chosen)
{
    if (!chosen.isEmpty())
        preferences().setValue(folderKey(dialog), QFileInfo(chosen).absolutePath());
}

} // namespace

QVariant MainWindow::preference(const QString &key, const QVariant &fallback)
{
    return preferences().value(key, fallback);
}

void MainWindow::setPreference(const QString &key, const QVariant &value)
{
    preferences().setValue(key, value);
}

QString MainWindow::askOpenPath(const QString &dialog, const QString &caption, const QString &filter)
{
    const QString start = preferences().value(folderKey(dialog)).toString();
    const QString path = QFileDialog::getOpenFileName(this, caption, start, filter);
    rememberFolder(dialog, path);
    return path;
}

QString MainWindow::askSavePath(const QString &dialog, const QString &caption, const QString &filter,
                                const QString &ending)
{
    // Beside the recording, named after it; without one, where this dialog
    // was last used.
    QString start = preferences().value(folderKey(dialog)).toString();
    if (!currentFile.isEmpty()) {
        const QFileInfo recording(currentFile);
        start = recording.dir().filePath(recording.completeBaseName() + ending);
    }
    QString path = QFileDialog::getSaveFileName(this, caption, start, filter);
    if (path.isEmpty())
        return path;
    const QString extension = QFileInfo(ending).suffix();
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + extension;
    rememberFolder(dialog, path);
    return path;
}
