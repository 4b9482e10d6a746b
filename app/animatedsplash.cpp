#include "app/animatedsplash.h"

#include <QPixmap>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QTimer>

namespace {

constexpr int kSplashHeight = 600;
constexpr int kFadeMs = 1500;
constexpr int kBarMargin = 50;
constexpr int kBarHeight = 20;

QString statusTextFor(int progress)
{
    if (progress <= 30)
        return QStringLiteral("Loading Modules...");
    if (progress <= 60)
        return QStringLiteral("Initializing Audio Engine...");
    if (progress <= 90)
        return QStringLiteral("Loading Plugins...");
    return QStringLiteral("Starting UI...");
}

} // namespace

AnimatedSplash::AnimatedSplash(const QString &pixmapPath, int durationMs, QWidget *parent)
    : QSplashScreen(QPixmap())
    , durationMs(durationMs)
{
    if (parent)
        setParent(parent, windowFlags()); // keep it a splash window, not a child widget

    QPixmap picture(pixmapPath);
    if (picture.isNull()) {
        picture = QPixmap(kSplashHeight, kSplashHeight);
        picture.fill(QColor(30, 30, 30));
    } else {
        picture = picture.scaledToHeight(kSplashHeight, Qt::SmoothTransformation);
    }
    setPixmap(picture);
    setWindowOpacity(0.0);

    progressBar = new QProgressBar(this);
    progressBar->setGeometry(kBarMargin, picture.height() - kBarMargin,
                             picture.width() - 2 * kBarMargin, kBarHeight);
    progressBar->setStyleSheet(QStringLiteral(
        "QProgressBar { border: 1px solid #555; border-radius: 5px; text-align: center; "
        "background: #222; color: white; }"
        "QProgressBar::chunk { background-color: #44AAFF; width: 10px; margin: 0.5px; }"));
    progressBar->setRange(0, 100);
    progressBar->setValue(0);

    updateTimer = new QTimer(this);
    connect(updateTimer, &QTimer::timeout, this, &AnimatedSplash::onUpdate);

    fadeAnimation = new QPropertyAnimation(this, "opacity", this);
}

void AnimatedSplash::startAnimation()
{
    show();
    fadeAnimation->stop();
    fadeAnimation->setDuration(kFadeMs);
    fadeAnimation->setStartValue(0.0);
    fadeAnimation->setEndValue(1.0);
    fadeAnimation->setEasingCurve(QEasingCurve::OutQuad);
    fadeAnimation->start(QAbstractAnimation::KeepWhenStopped);
    updateTimer->start(durationMs / 100);
}

void AnimatedSplash::onUpdate()
{
    if (progress >= 100) {
        updateTimer->stop();
        emit readyToSwitch();
        return;
    }
    ++progress;
    progressBar->setValue(progress);
    showMessage(statusTextFor(progress), Qt::AlignLeft | Qt::AlignBottom, Qt::white);
}

void AnimatedSplash::fadeOutAndFinish(QWidget *window)
{
    mainWindow = window;
    updateTimer->stop();
    progressBar->setValue(100);

    fadeAnimation->stop();
    fadeAnimation->setDuration(kFadeMs);
    fadeAnimation->setStartValue(1.0);
    fadeAnimation->setEndValue(0.0);
    fadeAnimation->setEasingCurve(QEasingCurve::InQuad);
    // Unique: a second hand-over must not run the finish twice.
    connect(fadeAnimation, &QPropertyAnimation::finished, this,
            &AnimatedSplash::onFadeOutFinished, Qt::UniqueConnection);
    fadeAnimation->start(QAbstractAnimation::KeepWhenStopped);
}

void AnimatedSplash::onFadeOutFinished()
{
    if (!mainWindow) {
        close();
        return;
    }
    mainWindow->show();
    finish(mainWindow);
}
