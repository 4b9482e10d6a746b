#include "input/pedalreport.h"

#include "audio/bytecursor.h"

#include <algorithm>
#include <array>

namespace {

struct PedalButton
{
    int number;
    quint8 mask;
    const char *pressText;
    const char *releaseText;
};

// The order in which changes are reported, whatever the bit order.
constexpr std::array<PedalButton, 3> kButtons{{
    {kPedalCenter, 0x02, "Pedal: Center DOWN (Play)", "Pedal: Center UP (Stop)"},
    {kPedalLeft, 0x01, "Pedal: Left DOWN (Rewind)", "Pedal: Left UP"},
    {kPedalRight, 0x04, "Pedal: Right DOWN (Forward)", "Pedal: Right UP"},
}};

// HID short item prefix: bits 0-1 data size code, 2-3 type, 4-7 tag.
constexpr quint8 kSizeMask = 0x03;
constexpr quint8 kSizeCodeFourBytes = 3;
constexpr int kTypeShift = 2;
constexpr quint8 kTypeMask = 0x03;
constexpr int kTagShift = 4;
constexpr qint64 kShortItemHeader = 1;

// Long items: 0xFE, data size, long tag, data. Nothing defines any, so they
// are skipped.
constexpr quint8 kLongItemPrefix = 0xFE;
constexpr qint64 kLongItemHeader = 3;
constexpr qint64 kLongItemSizeOffset = 1;

enum ItemType : quint8 { Main = 0, Global = 1, Local = 2 };

constexpr quint8 kMainInput = 0x8;
constexpr quint8 kMainCollection = 0xA;
constexpr quint8 kMainEndCollection = 0xC;
constexpr quint32 kCollectionApplication = 0x01;
constexpr quint8 kGlobalUsagePage = 0x0;
constexpr quint8 kGlobalReportId = 0x8;
constexpr quint8 kGlobalPush = 0xA;
constexpr quint8 kGlobalPop = 0xB;
constexpr quint8 kLocalUsage = 0x0;

// Only the usage page and report id of the global state matter here; a
// handful of nested Pushes is all real descriptors use.
constexpr int kMaxPushDepth = 16;

constexpr QByteArrayView kHidNameKey = "HID_NAME=";
constexpr QByteArrayView kHidIdKey = "HID_ID=";

struct KnownPedal
{
    quint16 vendor;
    quint16 product;
    std::array<quint8, 3> masks; // Left, Center, Right
};

// Pedals whose reports are not a joystick's, by USB ids.
constexpr std::array<KnownPedal, 1> kKnownPedals{{
    // VEC/Infinity IN-USB-1/2/3: a Consumer "programmable buttons" collection.
    {0x05f3, 0x00ff, {0x01, 0x02, 0x04}},
}};

struct GlobalState
{
    quint32 usagePage = 0;
    std::optional<quint8> reportId;
};

struct PendingUsage
{
    quint32 value = 0;
    bool hasPage = false; // a four-byte usage carries its own page
};

} // namespace

PedalDecoding decodePedalReport(quint8 lastButtons, quint8 reportByte)
{
    PedalDecoding result;
    result.lastButtons = reportByte;
    if (reportByte == lastButtons)
        return result;
    for (const PedalButton &button : kButtons) {
        const bool now = reportByte & button.mask;
        const bool before = lastButtons & button.mask;
        if (now && !before)
            result.events.append({button.number, true, QString::fromLatin1(button.pressText)});
        else if (!now && before)
            result.events.append({button.number, false, QString::fromLatin1(button.releaseText)});
    }
    return result;
}

std::optional<HidDescriptorSummary> summariseHidDescriptor(QByteArrayView descriptor)
{
    const ByteCursor bytes(descriptor);
    HidDescriptorSummary summary;
    GlobalState global;
    QList<GlobalState> pushed;
    std::optional<PendingUsage> firstUsage; // a collection's usage is its first one
    qint64 depth = 0;
    bool inApplication = false; // inside the last collection of the summary

    qint64 at = 0;
    while (at < bytes.size()) {
        const quint8 prefix = *bytes.u8At(at);
        if (prefix == kLongItemPrefix) {
            const auto size = bytes.u8At(at + kLongItemSizeOffset);
            if (!size || !bytes.has(at, kLongItemHeader + *size))
                return std::nullopt;
            at += kLongItemHeader + *size;
            continue;
        }

        const quint8 sizeCode = prefix & kSizeMask;
        const qint64 size = sizeCode == kSizeCodeFourBytes ? 4 : sizeCode;
        if (!bytes.has(at + kShortItemHeader, size))
            return std::nullopt;
        quint32 data = 0;
        for (qint64 i = size - 1; i >= 0; --i)
            data = (data << 8) | *bytes.u8At(at + kShortItemHeader + i);
        const quint8 type = (prefix >> kTypeShift) & kTypeMask;
        const quint8 tag = prefix >> kTagShift;
        at += kShortItemHeader + size;

        if (type == Main) {
            if (tag == kMainCollection) {
                // Usages without a page of their own take the page in force
                // at the main item, as the Windows HID parser does.
                if (depth == 0) {
                    inApplication = (data & 0xFF) == kCollectionApplication;
                    if (inApplication) {
                        const PendingUsage usage = firstUsage.value_or(PendingUsage());
                        HidCollection collection;
                        collection.usage = usage.hasPage ? usage.value
                                                         : (global.usagePage << 16) | (usage.value & 0xFFFF);
                        summary.collections.append(collection);
                    }
                }
                ++depth;
            } else if (tag == kMainEndCollection) {
                if (depth == 0)
                    return std::nullopt;
                --depth;
            } else if (tag == kMainInput && depth > 0 && inApplication && !summary.collections.last().hasInput) {
                summary.collections.last().hasInput = true;
                summary.collections.last().inputReportId = global.reportId;
            }
            firstUsage.reset();
        } else if (type == Global) {
            if (tag == kGlobalUsagePage) {
                global.usagePage = data & 0xFFFF;
            } else if (tag == kGlobalReportId) {
                global.reportId = quint8(data);
                summary.numbered = true;
            } else if (tag == kGlobalPush) {
                if (pushed.size() >= kMaxPushDepth)
                    return std::nullopt;
                pushed.append(global);
            } else if (tag == kGlobalPop) {
                if (pushed.isEmpty())
                    return std::nullopt;
                global = pushed.takeLast();
            }
        } else if (type == Local && tag == kLocalUsage && !firstUsage) {
            firstUsage = PendingUsage{data, size == 4};
        }
    }
    if (depth != 0)
        return std::nullopt;
    return summary;
}

std::optional<QList<quint32>> hidApplicationCollections(QByteArrayView descriptor)
{
    const auto summary = summariseHidDescriptor(descriptor);
    if (!summary)
        return std::nullopt;
    QList<quint32> usages;
    for (const HidCollection &collection : summary->collections)
        usages.append(collection.usage);
    return usages;
}

bool declaresJoystick(QByteArrayView descriptor)
{
    const auto collections = hidApplicationCollections(descriptor);
    return collections && collections->contains(kJoystickUsage);
}

std::optional<PedalLayout> pedalLayout(std::optional<HidId> id, QByteArrayView descriptor)
{
    const auto summary = summariseHidDescriptor(descriptor);
    // Numbered reports carry the id of the collection read, and no other
    // report of the device is taken for button presses.
    const auto reportIdOf = [&summary](const HidCollection &collection) -> std::optional<quint8> {
        if (!summary->numbered)
            return std::nullopt;
        return collection.inputReportId.value_or(0);
    };

    const auto known = std::find_if(kKnownPedals.begin(), kKnownPedals.end(), [&id](const KnownPedal &pedal) {
        return id && id->vendor == pedal.vendor && id->product == pedal.product;
    });
    if (known != kKnownPedals.end()) {
        PedalLayout layout;
        layout.masks = known->masks;
        // Without a readable descriptor, the reports are taken as unnumbered.
        if (summary) {
            const auto withInput = std::find_if(summary->collections.begin(), summary->collections.end(),
                                                [](const HidCollection &collection) { return collection.hasInput; });
            if (withInput != summary->collections.end())
                layout.reportId = reportIdOf(*withInput);
        }
        return layout;
    }

    if (!summary)
        return std::nullopt;
    for (const HidCollection &collection : summary->collections) {
        if (collection.usage == kJoystickUsage) {
            PedalLayout layout;
            layout.reportId = reportIdOf(collection);
            return layout;
        }
    }
    return std::nullopt;
}

std::optional<quint8> pedalButtons(const PedalLayout &layout, QByteArrayView report)
{
    qsizetype at = 0;
    if (layout.reportId) {
        if (report.isEmpty() || quint8(report.front()) != *layout.reportId)
            return std::nullopt;
        at = 1;
    }
    if (report.size() <= at)
        return std::nullopt;
    const quint8 raw = quint8(report[at]);
    quint8 buttons = 0;
    for (const PedalButton &button : kButtons) {
        if (raw & layout.masks[std::size_t(button.number - kPedalLeft)])
            buttons |= button.mask;
    }
    return buttons;
}

namespace {

std::optional<QByteArrayView> ueventValue(QByteArrayView uevent, QByteArrayView key)
{
    qsizetype start = 0;
    while (start < uevent.size()) {
        qsizetype end = uevent.indexOf('\n', start);
        if (end < 0)
            end = uevent.size();
        const QByteArrayView line = uevent.sliced(start, end - start);
        if (line.startsWith(key))
            return line.sliced(key.size());
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<quint16> hexField(QByteArrayView field)
{
    bool ok = false;
    const qulonglong value = field.trimmed().toULongLong(&ok, 16);
    if (!ok || value > 0xFFFF)
        return std::nullopt;
    return quint16(value);
}

} // namespace

QString hidNameFromUevent(QByteArrayView uevent)
{
    const auto value = ueventValue(uevent, kHidNameKey);
    return value ? QString::fromUtf8(*value).trimmed() : QString();
}

std::optional<HidId> hidIdFromUevent(QByteArrayView uevent)
{
    const auto value = ueventValue(uevent, kHidIdKey);
    if (!value)
        return std::nullopt;
    const QList<QByteArray> fields = value->toByteArray().split(':');
    if (fields.size() != 3)
        return std::nullopt;
    const auto vendor = hexField(fields[1]);
    const auto product = hexField(fields[2]);
    if (!vendor || !product)
        return std::nullopt;
    return HidId{*vendor, *product};
}

QStringList hidDeviceListing(const QList<HidDeviceEntry> &devices)
{
    if (devices.isEmpty())
        return {QStringLiteral("No HID devices found.")};
    QStringList lines;
    for (const HidDeviceEntry &device : devices) {
        QString line = device.name;
        if (device.id) {
            line += QStringLiteral(" (%1:%2)")
                        .arg(device.id->vendor, 4, 16, QLatin1Char('0'))
                        .arg(device.id->product, 4, 16, QLatin1Char('0'));
        }
        if (device.use == PedalUse::InUse)
            line += QStringLiteral(": used as a pedal");
        else if (device.use == PedalUse::NoAccess)
            line += QStringLiteral(": a pedal, but the program may not read it");
        lines.append(line);
    }
    return lines;
}
