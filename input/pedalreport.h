#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
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

struct HidCollection
{
    quint32 usage = 0;
    bool hasInput = false;
    std::optional<quint8> inputReportId; // the Report ID in force at its first Input item
};

struct HidDescriptorSummary
{
    QList<HidCollection> collections; // top-level application collections, in descriptor order
    bool numbered = false;            // reports start with their Report ID byte
};

// What matters of a HID report descriptor to find a pedal in it; nothing when
// the descriptor is malformed (an item cut short, unbalanced collections, Pop
// without Push, Push too deep).
std::optional<HidDescriptorSummary> summariseHidDescriptor(QByteArrayView descriptor);

// The usages of a HID report descriptor's top-level application collections,
// in descriptor order; nothing when the descriptor is malformed.
std::optional<QList<quint32>> hidApplicationCollections(QByteArrayView descriptor);

// Whether the descriptor declares a joystick application collection: the
// device class foot pedals report as.
bool declaresJoystick(QByteArrayView descriptor);

struct HidId
{
    quint16 vendor = 0;
    quint16 product = 0;
};

// Where a pedal's buttons are in its input reports.
struct PedalLayout
{
    std::optional<quint8> reportId;          // set when reports start with an id: only these are the pedal's
    std::array<quint8, 3> masks{0x01, 0x02, 0x04}; // Left, Center, Right in the button byte
};

// How to read the device as a pedal: a model known by its USB ids whatever
// its descriptor declares, else any device with a joystick collection;
// nothing when it is no pedal.
std::optional<PedalLayout> pedalLayout(std::optional<HidId> id, QByteArrayView descriptor);

// One input report as a button byte (Left 0x01, Center 0x02, Right 0x04);
// nothing when the report is too short or another report of the device.
std::optional<quint8> pedalButtons(const PedalLayout &layout, QByteArrayView report);

// The HID_NAME entry of a HID device's uevent text; empty when there is none.
QString hidNameFromUevent(QByteArrayView uevent);

// The vendor and product of a HID_ID entry ("0003:000005F3:000000FF").
std::optional<HidId> hidIdFromUevent(QByteArrayView uevent);

enum class PedalUse { None, InUse, NoAccess };

struct HidDeviceEntry
{
    QString name;
    std::optional<HidId> id;
    PedalUse use = PedalUse::None;
};

// The device list shown to the user: every device with its vendor:product and
// what the program makes of it, or the single line "No HID devices found.".
QStringList hidDeviceListing(const QList<HidDeviceEntry> &devices);
