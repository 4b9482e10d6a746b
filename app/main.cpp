#include "app/animatedsplash.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orlenta LE"));
    QApplication::setOrganizationName(QStringLiteral("Kestrin Systems"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    // Closing or clicking away the splash must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    auto *splash = new AnimatedSplash(QStringLiteral(":/Logocircle.png"), 3000, nullptr);
    QObject::connect(splash, &AnimatedSplash::readyToSwitch, splash, [splash]() {
        auto *window = new MainWindow(nullptr, false);
        window->setAttribute(Qt::WA_DeleteOnClose);
        QApplication::setQuitOnLastWindowClosed(true);
        splash->fadeOutAndFinish(window);
        QTimer::singleShot(0, window, &MainWindow::offerRecovery);
    });
    splash->startAnimation();
    return app.exec();
}
