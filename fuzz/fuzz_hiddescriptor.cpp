// Arbitrary bytes through the HID report descriptor filter: it must never
// read outside the bytes, and a joystick collection put in front of any
// descriptor must be found without changing what is found after it.
#include "input/pedalreport.h"
#include "fuzz/fuzzsupport.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Usage Page (Generic Desktop), Usage (Joystick), Collection (Application),
// End Collection.
const QByteArray kJoystickCollection = QByteArray::fromHex("05010904A101C0");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto found = hidApplicationCollections(bytes);
    const auto prefixed = hidApplicationCollections(kJoystickCollection + bytes);

    require(found.has_value() == prefixed.has_value());
    require(declaresJoystick(kJoystickCollection + bytes) == prefixed.has_value());
    if (!found)
        return 0;
    // Every collection takes at least two bytes of the descriptor.
    require(found->size() <= qsizetype(size) / 2);
    require(prefixed->size() == found->size() + 1 && prefixed->first() == kJoystickUsage);
    require(declaresJoystick(bytes) == found->contains(kJoystickUsage));
    return 0;
}
