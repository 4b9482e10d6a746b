#include "input/footpedalmanager.h"

#include "input/pedalreport.h"

#include <QCoreApplication>

#ifdef Q_OS_WIN
#include <windows.h>

#include <cstddef>
#include <vector>
#else
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#endif

namespace {

// The button byte of the last report, one for the whole program: pedals and
// managers come and go, but a button held down stays down until a report
// says otherwise.
quint8 lastButtons = 0;

const QString kListeningText = QStringLiteral("System: Listening for HID Input...");
const QString kRegisterFailedText = QStringLiteral("Error: Failed to register Raw Input.");

} // namespace

void FootPedalManager::handleReportByte(quint8 reportByte)
{
    const PedalDecoding decoding = decodePedalReport(lastButtons, reportByte);
    lastButtons = decoding.lastButtons;
    for (const PedalEvent &event : decoding.events) {
        if (event.down)
            emit pedalDown(event.button);
        else
            emit pedalUp(event.button);
        emit rawInputLog(event.text);
    }
}

#ifdef Q_OS_WIN

namespace {

constexpr USHORT kUsagePageGenericDesktop = 0x01;
constexpr USHORT kUsageJoystick = 0x04;
constexpr UINT kFirstReportByte = offsetof(RAWINPUT, data.hid.bRawData);
constexpr UINT kRawInputFailed = UINT(-1);

} // namespace

FootPedalManager::FootPedalManager(QObject *parent)
    : QObject(parent)
{
}

FootPedalManager::~FootPedalManager()
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    if (messageWindow)
        DestroyWindow(static_cast<HWND>(messageWindow));
}

bool FootPedalManager::registerDevices()
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
    device.hwndTarget = static_cast<HWND>(messageWindow);
    if (messageWindow && RegisterRawInputDevices(&device, 1, sizeof(device))) {
        emit rawInputLog(kListeningText);
        return true;
    }
    emit rawInputLog(kRegisterFailedText);
    return false;
}

bool FootPedalManager::nativeEventFilter(const QByteArray &, void *message, qintptr *)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_INPUT)
        return false;
    handleRawInput(reinterpret_cast<void *>(msg->lParam));
    // The system frees the input's buffers in the default handling, which the
    // consumed message would otherwise never reach.
    DefWindowProcW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    return true;
}

void FootPedalManager::handleRawInput(void *inputHandle)
{
    const HRAWINPUT handle = static_cast<HRAWINPUT>(inputHandle);
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
    handleReportByte(input->data.hid.bRawData[0]);
}

QStringList FootPedalManager::enumerateDevices() const
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

#else

namespace {

constexpr const char *kRuleFile = "70-orlenta-pedals.rules";
constexpr uint32_t kDeviceDirectoryEvents = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM;
// hidraw hands out one report per read, cut to the buffer; only its first
// byte matters. A FIFO standing in for the device in tests may hold more.
constexpr qsizetype kReportBufferSize = 4096;
// Reports taken per wake-up, so a chattering device cannot hold the loop.
constexpr int kMaxReportsPerWake = 64;
constexpr qsizetype kInotifyBufferSize = 4096;
constexpr qsizetype kNodePrefixLength = 6; // "hidraw"
// A node appears before udev has given it its access rights; only a pedal
// still not openable this long after is reported.
constexpr int kUdevSettleMs = 1000;

bool isHidrawNode(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^hidraw[0-9]+$"));
    return pattern.match(name).hasMatch();
}

// hidrawN entries of a directory, by N.
QStringList hidrawNodes(const QString &directory)
{
    QStringList nodes = QDir(directory).entryList({QStringLiteral("hidraw*")},
                                                  QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    nodes.removeIf([](const QString &name) { return !isHidrawNode(name); });
    std::sort(nodes.begin(), nodes.end(), [](const QString &a, const QString &b) {
        return a.mid(kNodePrefixLength).toLongLong() < b.mid(kNodePrefixLength).toLongLong();
    });
    return nodes;
}

std::optional<QByteArray> readWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::optional<QByteArray> descriptorFromDevice(int fd)
{
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return std::nullopt;
    hidraw_report_descriptor descriptor{};
    descriptor.size = quint32(size);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char *>(descriptor.value), size);
}

} // namespace

FootPedalManager::FootPedalManager(QObject *parent)
    : FootPedalManager(QStringLiteral("/sys"), QStringLiteral("/dev"), parent)
{
}

FootPedalManager::FootPedalManager(const QString &sysfsRoot, const QString &devRoot, QObject *parent)
    : QObject(parent)
    , sysfsRoot(sysfsRoot)
    , devRoot(devRoot)
{
}

FootPedalManager::~FootPedalManager()
{
    for (const OpenPedal &pedal : std::as_const(pedals)) {
        delete pedal.notifier;
        ::close(pedal.fd);
    }
    delete deviceWatch;
    if (inotifyFd >= 0)
        ::close(inotifyFd);
}

bool FootPedalManager::registerDevices()
{
    if (!QFileInfo(sysfsRoot + QStringLiteral("/class")).isDir() || !QFileInfo(devRoot).isDir()) {
        emit rawInputLog(kRegisterFailedText);
        return false;
    }
    emit rawInputLog(kListeningText);
    watchDeviceDirectory();
    scanDeviceDirectory(true);
    return true;
}

bool FootPedalManager::nativeEventFilter(const QByteArray &, void *, qintptr *)
{
    return false;
}

QStringList FootPedalManager::enumerateDevices() const
{
    QList<HidDeviceEntry> devices;
    for (const QString &node : hidrawNodes(sysfsRoot + QStringLiteral("/class/hidraw"))) {
        HidDeviceEntry device{deviceName(node), hidId(node), PedalUse::None};
        if (pedals.contains(node)) {
            device.use = PedalUse::InUse;
        } else if (const auto descriptor = readWholeFile(deviceDir(node) + QStringLiteral("/report_descriptor"));
                   descriptor && pedalLayout(device.id, *descriptor)) {
            device.use = PedalUse::NoAccess;
        }
        devices.append(device);
    }
    return hidDeviceListing(devices);
}

QString FootPedalManager::nodePath(const QString &node) const
{
    return devRoot + QLatin1Char('/') + node;
}

QString FootPedalManager::deviceDir(const QString &node) const
{
    return sysfsRoot + QStringLiteral("/class/hidraw/") + node + QStringLiteral("/device");
}

QString FootPedalManager::hidName(const QString &node) const
{
    const auto uevent = readWholeFile(deviceDir(node) + QStringLiteral("/uevent"));
    return uevent ? hidNameFromUevent(*uevent) : QString();
}

std::optional<HidId> FootPedalManager::hidId(const QString &node) const
{
    const auto uevent = readWholeFile(deviceDir(node) + QStringLiteral("/uevent"));
    return uevent ? hidIdFromUevent(*uevent) : std::nullopt;
}

QString FootPedalManager::deviceName(const QString &node) const
{
    const QString name = hidName(node);
    return name.isEmpty() ? node : name;
}

void FootPedalManager::watchDeviceDirectory()
{
    if (deviceWatch)
        return;
    inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const QByteArray directory = QFile::encodeName(devRoot);
    if (inotifyFd < 0 || inotify_add_watch(inotifyFd, directory.constData(), kDeviceDirectoryEvents) < 0) {
        const QString reason = qt_error_string(errno);
        if (inotifyFd >= 0)
            ::close(inotifyFd);
        inotifyFd = -1;
        emit rawInputLog(QStringLiteral("System: Pedals plugged in from now on will not be seen (cannot watch %1: %2).")
                             .arg(devRoot, reason));
        return;
    }
    deviceWatch = new QSocketNotifier(inotifyFd, QSocketNotifier::Read, this);
    connect(deviceWatch, &QSocketNotifier::activated, this, &FootPedalManager::readDeviceChanges);
}

void FootPedalManager::scanDeviceDirectory(bool reportRefusals)
{
    const QStringList present = hidrawNodes(devRoot);
    for (const QString &node : pedals.keys()) {
        if (!present.contains(node))
            closePedal(node);
    }
    for (const QString &node : present)
        openIfPedal(node, reportRefusals);
}

void FootPedalManager::readDeviceChanges()
{
    alignas(inotify_event) char buffer[kInotifyBufferSize];
    for (;;) {
        const ssize_t length = ::read(inotifyFd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                scanDeviceDirectory(false);
                continue;
            }
            if (event->len == 0)
                continue;
            const QString node = QFile::decodeName(event->name);
            if (!isHidrawNode(node))
                continue;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM)) {
                refusedNodes.remove(node);
                settlingNodes.remove(node);
                if (pedals.contains(node))
                    closePedal(node);
            } else {
                // A new node, or one whose access rights udev has just set.
                openIfPedal(node, false);
            }
        }
    }
}

void FootPedalManager::openIfPedal(const QString &node, bool reportRefusal)
{
    if (pedals.contains(node))
        return;
    // sysfs hands out the descriptor without access to the device, so a
    // pedal that cannot be opened is still recognised and reported.
    const std::optional<HidId> id = hidId(node);
    std::optional<QByteArray> descriptor = readWholeFile(deviceDir(node) + QStringLiteral("/report_descriptor"));
    if (descriptor && !pedalLayout(id, *descriptor))
        return;
    const bool knownPedal = descriptor || pedalLayout(id, QByteArrayView());

    const QString path = nodePath(node);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const QString reason = qt_error_string(errno);
        if (!knownPedal || refusedNodes.contains(node))
            return;
        if (reportRefusal) {
            refusedNodes.insert(node);
            emit rawInputLog(QStringLiteral("Error: Cannot open pedal %1 (%2): %3. The udev rule %4 gives access; "
                                            "install it in /etc/udev/rules.d and plug the pedal in again.")
                                 .arg(deviceName(node), path, reason, QLatin1String(kRuleFile)));
        } else if (!settlingNodes.contains(node)) {
            settlingNodes.insert(node);
            QTimer::singleShot(kUdevSettleMs, this, [this, node] {
                if (settlingNodes.remove(node))
                    openIfPedal(node, true);
            });
        }
        return;
    }
    if (!descriptor)
        descriptor = descriptorFromDevice(fd);
    const std::optional<PedalLayout> layout = pedalLayout(id, descriptor.value_or(QByteArray()));
    if (!layout) {
        ::close(fd);
        return;
    }

    refusedNodes.remove(node);
    settlingNodes.remove(node);
    OpenPedal pedal;
    pedal.fd = fd;
    pedal.name = deviceName(node);
    pedal.layout = *layout;
    pedal.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(pedal.notifier, &QSocketNotifier::activated, this, [this, node] { readReports(node); });
    pedals.insert(node, pedal);
    emit rawInputLog(QStringLiteral("System: Pedal connected: %1 (%2)").arg(pedal.name, path));
}

void FootPedalManager::readReports(const QString &node)
{
    const auto found = pedals.constFind(node);
    if (found == pedals.constEnd())
        return;
    const int fd = found->fd;
    const PedalLayout layout = found->layout;
    char report[kReportBufferSize];
    for (int i = 0; i < kMaxReportsPerWake; ++i) {
        const ssize_t length = ::read(fd, report, sizeof report);
        if (length > 0) {
            if (const auto buttons = pedalButtons(layout, QByteArrayView(report, length)))
                handleReportByte(*buttons);
            continue;
        }
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0 && errno == EAGAIN)
            return;
        // End of file, or an error: the device is gone.
        closePedal(node);
        return;
    }
}

void FootPedalManager::closePedal(const QString &node)
{
    const OpenPedal pedal = pedals.take(node);
    // Called from the notifier's own signal, so it goes later; it must not
    // watch the descriptor once that is closed.
    pedal.notifier->setEnabled(false);
    pedal.notifier->deleteLater();
    ::close(pedal.fd);
    emit rawInputLog(QStringLiteral("System: Pedal removed: %1 (%2)").arg(pedal.name, nodePath(node)));
}

#endif
