// Foot pedals on Windows: Raw Input, through a native event filter.

#include "input/footpedalmanager.h"

#include "input/pedalreport.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <windows.h>

#include <cstddef>
#include <vector>

namespace {

constexpr USHORT kUsagePageGenericDesktop = 0x01;
constexpr USHORT kUsageJoystick = 0x04;
constexpr UINT kFirstReportByte = offsetof(RAWINPUT, data.hid.bRawData);
constexpr UINT kRawInputFailed = UINT(-1);

const QString kListeningText = QStringLiteral("System: Listening for HID Input...");
const QString kRegisterFailedText = QStringLiteral("Error: Failed to register Raw Input.");

} // namespace

class FootPedalManager::Backend : public QAbstractNativeEventFilter
{
public:
    explicit Backend(FootPedalManager &owner)
        : owner(owner)
    {
    }
    ~Backend() override;
    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;

    bool registerDevices();
    QStringList enumerateDevices() const;
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void handleRawInput(HRAWINPUT handle);

    FootPedalManager &owner;
    HWND messageWindow = nullptr; // receives the input
};

FootPedalManager::FootPedalManager(QObject *parent)
    : QObject(parent)
    , backend(std::make_unique<Backend>(*this))
{
}

// Raw Input needs no device tree: the roots are for the hidraw devices.
FootPedalManager::FootPedalManager(const QString &, const QString &, QObject *parent)
    : FootPedalManager(parent)
{
}

FootPedalManager::~FootPedalManager() = default;

bool FootPedalManager::registerDevices()
{
    return backend->registerDevices();
}

QStringList FootPedalManager::enumerateDevices() const
{
    return backend->enumerateDevices();
}

FootPedalManager::Backend::~Backend()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    if (messageWindow)
        DestroyWindow(messageWindow);
}

bool FootPedalManager::Backend::registerDevices()
{
    QCoreApplication::instance()->installNativeEventFilter(this);
    // A message-only window of our own is the target, so the manager needs no
    // widget; the thread's message loop still passes its input to the filter.
    if (!messageWindow) {
        messageWindow = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    }
    RAWINPUTDEVICE device{};
    device.usUsagePage = kUsagePageGenericDesktop;
    device.usUsage = kUsageJoystick;
    device.dwFlags = RIDEV_INPUTSINK | RIDEV_DEVNOTIFY;
    device.hwndTarget = messageWindow;
    if (messageWindow && RegisterRawInputDevices(&device, 1, sizeof(device))) {
        emit owner.rawInputLog(kListeningText);
        return true;
    }
    emit owner.rawInputLog(kRegisterFailedText);
    return false;
}

bool FootPedalManager::Backend::nativeEventFilter(const QByteArray &, void *message, qintptr *)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_INPUT)
        return false;
    handleRawInput(reinterpret_cast<HRAWINPUT>(msg->lParam));
    // The system frees the input's buffers in the default handling, which the
    // consumed message would otherwise never reach.
    DefWindowProcW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    return true;
}

void FootPedalManager::Backend::handleRawInput(HRAWINPUT handle)
{
    UINT size = 0;
    GetRawInputData(handle, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER));
    if (size == 0)
        return;
    std::vector<quint64> storage((size + sizeof(quint64) - 1) / sizeof(quint64)); // RAWINPUT alignment
    if (GetRawInputData(handle, RID_INPUT, storage.data(), &size, sizeof(RAWINPUTHEADER)) != size)
        return;
    const auto *input = reinterpret_cast<const RAWINPUT *>(storage.data());
    // A record too short to hold the first report byte is dropped like an
    // empty report rather than read past.
    if (size <= kFirstReportByte || input->header.dwType != RIM_TYPEHID || input->data.hid.dwSizeHid == 0)
        return;
    owner.handleReportByte(input->data.hid.bRawData[0]);
}

QStringList FootPedalManager::Backend::enumerateDevices() const
{
    QList<HidDeviceEntry> devices;
    UINT count = 0;
    if (GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)) != kRawInputFailed && count > 0) {
        std::vector<RAWINPUTDEVICELIST> list(count);
        const UINT filled = GetRawInputDeviceList(list.data(), &count, sizeof(RAWINPUTDEVICELIST));
        for (UINT i = 0; filled != kRawInputFailed && i < filled && i < list.size(); ++i) {
            if (list[i].dwType != RIM_TYPEHID)
                continue;
            UINT length = 0;
            GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICENAME, nullptr, &length);
            if (length == 0)
                continue;
            std::vector<wchar_t> name(length + 1, L'\0');
            if (GetRawInputDeviceInfoW(list[i].hDevice, RIDI_DEVICENAME, name.data(), &length) == kRawInputFailed)
                continue;
            // The device path carries the vendor and product ids already.
            devices.append(HidDeviceEntry{QString::fromWCharArray(name.data()), std::nullopt, PedalUse::None});
        }
    }
    return hidDeviceListing(devices);
}
