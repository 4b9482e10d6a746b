#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Foot pedal buttons as the rest of the program numbers them.
constexpr int kPedalLeft = 1;
constexpr int kPedalCenter = 2;
constexpr int kPedalRight = 3;

struct PedalEvent
{
    int button = 0;
    bool down = false;
    QString text; // the line for the pedal log

    bool operator==(const PedalEvent &other) const
    {
        return button == other.button && down == other.down && text == other.text;
    }
};

struct PedalDecoding
{
    QList<PedalEvent> events; // in the order they are to be emitted
    quint8 lastButtons = 0;   // the button byte to compare the next report with
};

// One input report's first byte against the button byte of the report before
// it. Buttons are compared Center, Left, Right; other bits are not buttons but
// are remembered all the same. The same byte again gives no events.
PedalDecoding decodePedalReport(quint8 lastButtons, quint8 reportByte);

// A HID usage with its page in the high 16 bits, as HID's 32-bit usages are.
constexpr quint32 kJoystickUsage = 0x00010004; // Generic Desktop / Joystick

// The usages of a HID report descriptor's top-level application collections,
// in descriptor order; nothing when the descriptor is malformed (an item cut
// short, unbalanced collections, Pop without Push, Push too deep).
std::optional<QList<quint32>> hidApplicationCollections(QByteArrayView descriptor);

// Whether the descriptor declares a joystick application collection: the
// device class foot pedals report as.
bool declaresJoystick(QByteArrayView descriptor);

// The HID_NAME entry of a HID device's uevent text; empty when there is none.
QString hidNameFromUevent(QByteArrayView uevent);

// The device list shown to the user: the names containing "HID" in any case,
// in the order given, or the single line "No HID devices found.".
QStringList hidDeviceListing(const QStringList &names);
