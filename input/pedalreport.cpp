#include "input/pedalreport.h"

#include "audio/bytecursor.h"

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

constexpr quint8 kMainCollection = 0xA;
constexpr quint8 kMainEndCollection = 0xC;
constexpr quint32 kCollectionApplication = 0x01;
constexpr quint8 kGlobalUsagePage = 0x0;
constexpr quint8 kGlobalPush = 0xA;
constexpr quint8 kGlobalPop = 0xB;
constexpr quint8 kLocalUsage = 0x0;

// Only the usage page of the global state matters here; a handful of nested
// Pushes is all real descriptors use.
constexpr int kMaxPushDepth = 16;

constexpr QByteArrayView kHidNameKey = "HID_NAME=";

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

std::optional<QList<quint32>> hidApplicationCollections(QByteArrayView descriptor)
{
    const ByteCursor bytes(descriptor);
    QList<quint32> collections;
    quint32 usagePage = 0;
    QList<quint32> pushedPages;
    std::optional<PendingUsage> firstUsage; // a collection's usage is its first one
    qint64 depth = 0;

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
                if (depth == 0 && (data & 0xFF) == kCollectionApplication) {
                    const PendingUsage usage = firstUsage.value_or(PendingUsage());
                    collections.append(usage.hasPage ? usage.value : (usagePage << 16) | (usage.value & 0xFFFF));
                }
                ++depth;
            } else if (tag == kMainEndCollection) {
                if (depth == 0)
                    return std::nullopt;
                --depth;
            }
            firstUsage.reset();
        } else if (type == Global) {
            if (tag == kGlobalUsagePage) {
                usagePage = data & 0xFFFF;
            } else if (tag == kGlobalPush) {
                if (pushedPages.size() >= kMaxPushDepth)
                    return std::nullopt;
                pushedPages.append(usagePage);
            } else if (tag == kGlobalPop) {
                if (pushedPages.isEmpty())
                    return std::nullopt;
                usagePage = pushedPages.takeLast();
            }
        } else if (type == Local && tag == kLocalUsage && !firstUsage) {
            firstUsage = PendingUsage{data, size == 4};
        }
    }
    if (depth != 0)
        return std::nullopt;
    return collections;
}

bool declaresJoystick(QByteArrayView descriptor)
{
    const auto collections = hidApplicationCollections(descriptor);
    return collections && collections->contains(kJoystickUsage);
}

QString hidNameFromUevent(QByteArrayView uevent)
{
    qsizetype start = 0;
    while (start < uevent.size()) {
        qsizetype end = uevent.indexOf('\n', start);
        if (end < 0)
            end = uevent.size();
        const QByteArrayView line = uevent.sliced(start, end - start);
        if (line.startsWith(kHidNameKey))
            return QString::fromUtf8(line.sliced(kHidNameKey.size())).trimmed();
        start = end + 1;
    }
    return QString();
}

QStringList hidDeviceListing(const QStringList &names)
{
    QStringList kept;
    for (const QString &name : names) {
        if (name.contains(QLatin1String("HID"), Qt::CaseInsensitive))
            kept.append(name);
    }
    if (kept.isEmpty())
        kept.append(QStringLiteral("No HID devices found."));
    return kept;
}
