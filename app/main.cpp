#include "app/animatedsplash.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orlenta LE"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin Systems"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    // Closing or clicking away the splash must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // "orlenta-le FILE", as a file manager's "Open with" starts it.
    const QStringList arguments = QApplication::arguments();
    const QString file = arguments.size() > 1 ? QFileInfo(arguments.at(1)).absoluteFilePath() : QString();

    auto *splash = new AnimatedSplash(QStringLiteral(":/Logocircle.png"), 3000, nullptr);
    QObject::connect(splash, &AnimatedSplash::readyToSwitch, splash, [splash, file]() {
        auto *window = new MainWindow(nullptr, false);
        window->setAttribute(Qt::WA_DeleteOnClose);
        QApplication::setQuitOnLastWindowClosed(true);
        splash->fadeOutAndFinish(window);
        QTimer::singleShot(0, window, [window, file]() {
            window->offerRecovery();
            if (!file.isEmpty())
                window->openRecording(file);
        });
    });
    splash->startAnimation();
    return app.exec();
}
