#include "windowrig.h"

#include "audio/audioengine.h"
#include "widgets/transcriptiongrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

namespace {

// Preferences a test window writes (the backstep, the dialogs' folders) stay
// in this run, so they neither reach the user's own nor steer the next run.
void keepPreferencesInTheRun()
{
    static QTemporaryDir folder;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
}
Q_COREAPP_STARTUP_FUNCTION(keepPreferencesInTheRun)

} // namespace

WindowRig::WindowRig(bool startLocked, const WindowPictures &pictures)
    : window(new MainWindow(nullptr, startLocked, pictures))
{
    if (!QTest::qWaitForWindowExposed(window))
        qWarning("the main window was not exposed");
}

WindowRig::~WindowRig()
{
    delete window;
}

AudioEngine *WindowRig::engine() const
{
    return window->findChild<AudioEngine *>();
}

TranscriptionGrid *WindowRig::grid() const
{
    return window->findChild<TranscriptionGrid *>();
}

QString WindowRig::eventLog() const
{
    return child<QTextEdit>("eventLogView")->toPlainText();
}

QString WindowRig::auditLog() const
{
    return child<QTextEdit>("auditLogView")->toPlainText();
}

QString WindowRig::lastEvent() const
{
    return unstamped(eventLog().section(QLatin1Char('\n'), -1));
}

QString WindowRig::lastAudit() const
{
    return unstamped(auditLog().section(QLatin1Char('\n'), -1));
}

bool WindowRig::load(const QString &path)
{
    if (!engine()->loadFile(path))
        return false;
    return QTest::qWaitFor([this] { return eventLog().contains(QLatin1String("View: Fitting ")); }, 10000);
}

void WindowRig::exportEntry(int index) const
{
    child<QPushButton>("exportButton")->menu()->actions().at(index)->trigger();
}

void WindowRig::answerDialogs(const QString &path, const QString &text)
{
    delete answering;
    answering = new QTimer(window);
    QObject::connect(answering, &QTimer::timeout, window, [this, path, text]() {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        Dialog seen{modal->windowTitle(), QString(), QString(), 0, lastEvent()};
        if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            seen.text = files->selectedFiles().value(0);
            // Typed into the name field, as a user would.
            files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            // Later, so that this timer is free to answer a "replace it?"
            // question the accept may open.
            if (path.isEmpty())
                files->reject();
            else
                QTimer::singleShot(0, files, [files]() { static_cast<QDialog *>(files)->accept(); });
        } else if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            seen.text = input->labelText();
            input->setTextValue(text);
            if (cancelInput)
                input->reject();
            else
                input->accept();
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen.text = box->text();
            seen.detail = box->informativeText();
            seen.icon = int(box->icon());
            QAbstractButton *button = box->button(boxAnswer);
            if (!button)
                button = box->defaultButton();
            if (!button)
                button = box->buttons().value(0);
            button->click();
        } else {
            return;
        }
        dialogs << seen;
    });
    answering->start(20);
}

bool WindowRig::hasAudioOutput()
{
    return QTest::qWaitFor([] { return !QMediaDevices::audioOutputs().isEmpty(); }, 5000);
}

QString WindowRig::unstamped(const QString &line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d\\d:\\d\\d(:\\d\\d\\.\\d{3})?\\] "));
    const auto match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : QStringLiteral("<no stamp>") + line;
}
