#pragma once

#include "input/pedalreport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// Turns three-button USB foot pedals (HID devices of the joystick class, or
// pedals known by their USB ids) into button events, whichever program has
// the focus. Reports of every pedal feed one button state shared by the
// whole program. How the system is asked for them is the backend's own:
// hidraw devices on Linux, Raw Input on Windows.
class FootPedalManager : public QObject
{
    Q_OBJECT

public:
    explicit FootPedalManager(QObject *parent = nullptr);
    // Looks for hidraw devices under these directories instead of /sys and /dev.
    FootPedalManager(const QString &sysfsRoot, const QString &devRoot, QObject *parent = nullptr);
    ~FootPedalManager() override;

    // Starts listening. False only when this system cannot deliver HID input
    // at all; no pedal being attached yet is not a failure.
    bool registerDevices();
    QStringList enumerateDevices() const;

signals:
    void pedalDown(int button);
    void pedalUp(int button);
    void rawInputLog(const QString &log);

private:
    class Backend;

    void handleReportByte(quint8 reportByte);

    std::unique_ptr<Backend> backend;
};
