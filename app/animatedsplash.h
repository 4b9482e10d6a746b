#pragma once

#include <QSplashScreen>

class QProgressBar;
class QPropertyAnimation;
class QTimer;

// Start-up splash: the picture fades in, a bar counts to 100 on a timer
// alone (nothing is loaded meanwhile), then readyToSwitch() hands over to
// the main window and the splash fades out over it.
class AnimatedSplash : public QSplashScreen
{
    Q_OBJECT
    Q_PROPERTY(qreal opacity READ windowOpacity WRITE setWindowOpacity)

public:
    AnimatedSplash(const QString &pixmapPath, int durationMs, QWidget *parent = nullptr);

    void startAnimation();
    void fadeOutAndFinish(QWidget *mainWindow);

signals:
    void readyToSwitch();

private slots:
    void onUpdate();
    void onFadeOutFinished();

private:
    QProgressBar *progressBar = nullptr;
    QTimer *updateTimer = nullptr;
    QPropertyAnimation *fadeAnimation = nullptr;
    QWidget *mainWindow = nullptr;
    int durationMs = 0;
    int progress = 0;
};
