#pragma once

#include "input/pedalreport.h"

#include <QAbstractNativeEventFilter>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

class QSocketNotifier;

// Turns three-button USB foot pedals (HID devices of the joystick class) into
// button events, whichever program has the focus. Reports of every pedal feed
// one button state shared by the whole program.
//
// Windows: Raw Input through the native event filter. Linux: the /dev/hidrawN
// devices whose report descriptor declares a joystick collection, or that are
// pedals known by their USB ids, opened read-only, with pedals plugged in or
// out later picked up through inotify on the device directory; the native
// event filter is not used there.
class FootPedalManager : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit FootPedalManager(QObject *parent = nullptr);
#ifndef Q_OS_WIN
    // Looks for devices under these directories instead of /sys and /dev.
    FootPedalManager(const QString &sysfsRoot, const QString &devRoot, QObject *parent = nullptr);
#endif
    ~FootPedalManager() override;

    // Starts listening. False only when this system cannot deliver HID input
    // at all; no pedal being attached yet is not a failure.
    bool registerDevices();
    QStringList enumerateDevices() const;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void pedalDown(int button);
    void pedalUp(int button);
    void rawInputLog(const QString &log);

private:
    void handleReportByte(quint8 reportByte);

#ifdef Q_OS_WIN
    void handleRawInput(void *inputHandle);

    void *messageWindow = nullptr; // HWND receiving the input
#else
    struct OpenPedal
    {
        int fd = -1;
        QSocketNotifier *notifier = nullptr;
        QString name;
        PedalLayout layout;
    };

    QString nodePath(const QString &node) const;
    QString deviceDir(const QString &node) const;
    QString hidName(const QString &node) const;
    std::optional<HidId> hidId(const QString &node) const;
    QString deviceName(const QString &node) const; // the HID name, else the node's
    void watchDeviceDirectory();
    void scanDeviceDirectory(bool reportRefusals);
    void readDeviceChanges();
    void openIfPedal(const QString &node, bool reportRefusal);
    void readReports(const QString &node);
    void closePedal(const QString &node);

    QString sysfsRoot;
    QString devRoot;
    int inotifyFd = -1;
    QSocketNotifier *deviceWatch = nullptr;
    QMap<QString, OpenPedal> pedals; // by node name, "hidraw3"
    QSet<QString> refusedNodes;      // pedals already reported as not openable
    QSet<QString> settlingNodes;     // new pedals not openable yet, to try again shortly
#endif
};
