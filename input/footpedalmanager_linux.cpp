// Foot pedals on Linux: the hidraw devices.

#include "input/footpedalmanager.h"

#include "audio/filebytes.h"
#include "input/pedalreport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
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

namespace {

const QString kListeningText = QStringLiteral("System: Listening for HID Input...");
const QString kRegisterFailedText = QStringLiteral("Error: Failed to register Raw Input.");

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

// A sysfs file of the node, if it can be read.
std::optional<QByteArray> readSysfsFile(const QString &path)
{
    FileBytes file = readWholeFile(path);
    if (!file.ok)
        return std::nullopt;
    return std::move(file.bytes);
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

// Reads pedals from the /dev/hidrawN devices whose report descriptor declares
// a joystick collection, or that are pedals known by their USB ids, opened
// read-only; pedals plugged in or out later are picked up through inotify on
// the device directory.
class FootPedalManager::Backend
{
public:
    Backend(FootPedalManager &owner, const QString &sysfsRoot, const QString &devRoot);
    ~Backend();
    Backend(const Backend &) = delete;
    Backend &operator=(const Backend &) = delete;

    bool registerDevices();
    QStringList enumerateDevices() const;

private:
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

    FootPedalManager &owner;
    QString sysfsRoot;
    QString devRoot;
    int inotifyFd = -1;
    QSocketNotifier *deviceWatch = nullptr;
    QMap<QString, OpenPedal> pedals; // by node name, "hidraw3"
    QSet<QString> refusedNodes;      // pedals already reported as not openable
    QSet<QString> settlingNodes;     // new pedals not openable yet, to try again shortly
};

FootPedalManager::FootPedalManager(QObject *parent)
    : FootPedalManager(QStringLiteral("/sys"), QStringLiteral("/dev"), parent)
{
}

FootPedalManager::FootPedalManager(const QString &sysfsRoot, const QString &devRoot, QObject *parent)
    : QObject(parent)
    , backend(std::make_unique<Backend>(*this, sysfsRoot, devRoot))
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

FootPedalManager::Backend::Backend(FootPedalManager &owner, const QString &sysfsRoot, const QString &devRoot)
    : owner(owner)
    , sysfsRoot(sysfsRoot)
    , devRoot(devRoot)
{
}

FootPedalManager::Backend::~Backend()
{
    for (const OpenPedal &pedal : std::as_const(pedals)) {
        delete pedal.notifier;
        ::close(pedal.fd);
    }
    delete deviceWatch;
    if (inotifyFd >= 0)
        ::close(inotifyFd);
}

bool FootPedalManager::Backend::registerDevices()
{
    if (!QFileInfo(sysfsRoot + QStringLiteral("/class")).isDir() || !QFileInfo(devRoot).isDir()) {
        emit owner.rawInputLog(kRegisterFailedText);
        return false;
    }
    emit owner.rawInputLog(kListeningText);
    watchDeviceDirectory();
    scanDeviceDirectory(true);
    return true;
}

QStringList FootPedalManager::Backend::enumerateDevices() const
{
    QList<HidDeviceEntry> devices;
    for (const QString &node : hidrawNodes(sysfsRoot + QStringLiteral("/class/hidraw"))) {
        HidDeviceEntry device{deviceName(node), hidId(node), PedalUse::None};
        if (pedals.contains(node)) {
            device.use = PedalUse::InUse;
        } else if (const auto descriptor = readSysfsFile(deviceDir(node) + QStringLiteral("/report_descriptor"));
                   descriptor && pedalLayout(device.id, *descriptor)) {
            device.use = PedalUse::NoAccess;
        }
        devices.append(device);
    }
    return hidDeviceListing(devices);
}

QString FootPedalManager::Backend::nodePath(const QString &node) const
{
    return devRoot + QLatin1Char('/') + node;
}

QString FootPedalManager::Backend::deviceDir(const QString &node) const
{
    return sysfsRoot + QStringLiteral("/class/hidraw/") + node + QStringLiteral("/device");
}

QString FootPedalManager::Backend::hidName(const QString &node) const
{
    const auto uevent = readSysfsFile(deviceDir(node) + QStringLiteral("/uevent"));
    return uevent ? hidNameFromUevent(*uevent) : QString();
}

std::optional<HidId> FootPedalManager::Backend::hidId(const QString &node) const
{
    const auto uevent = readSysfsFile(deviceDir(node) + QStringLiteral("/uevent"));
    return uevent ? hidIdFromUevent(*uevent) : std::nullopt;
}

QString FootPedalManager::Backend::deviceName(const QString &node) const
{
    const QString name = hidName(node);
    return name.isEmpty() ? node : name;
}

void FootPedalManager::Backend::watchDeviceDirectory()
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
        emit owner.rawInputLog(QStringLiteral("System: Pedals plugged in from now on will not be seen (cannot watch %1: %2).")
                             .arg(devRoot, reason));
        return;
    }
    deviceWatch = new QSocketNotifier(inotifyFd, QSocketNotifier::Read, &owner);
    QObject::connect(deviceWatch, &QSocketNotifier::activated, &owner, [this] { readDeviceChanges(); });
}

void FootPedalManager::Backend::scanDeviceDirectory(bool reportRefusals)
{
    const QStringList present = hidrawNodes(devRoot);
    for (const QString &node : pedals.keys()) {
        if (!present.contains(node))
            closePedal(node);
    }
    for (const QString &node : present)
        openIfPedal(node, reportRefusals);
}

void FootPedalManager::Backend::readDeviceChanges()
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

void FootPedalManager::Backend::openIfPedal(const QString &node, bool reportRefusal)
{
    if (pedals.contains(node))
        return;
    // sysfs hands out the descriptor without access to the device, so a
    // pedal that cannot be opened is still recognised and reported.
    const std::optional<HidId> id = hidId(node);
    std::optional<QByteArray> descriptor = readSysfsFile(deviceDir(node) + QStringLiteral("/report_descriptor"));
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
            emit owner.rawInputLog(QStringLiteral("Error: Cannot open pedal %1 (%2): %3. The udev rule %4 gives access; "
                                            "install it in /etc/udev/rules.d and plug the pedal in again.")
                                 .arg(deviceName(node), path, reason, QLatin1String(kRuleFile)));
        } else if (!settlingNodes.contains(node)) {
            settlingNodes.insert(node);
            QTimer::singleShot(kUdevSettleMs, &owner, [this, node] {
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
    pedal.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &owner);
    QObject::connect(pedal.notifier, &QSocketNotifier::activated, &owner, [this, node] { readReports(node); });
    pedals.insert(node, pedal);
    emit owner.rawInputLog(QStringLiteral("System: Pedal connected: %1 (%2)").arg(pedal.name, path));
}

void FootPedalManager::Backend::readReports(const QString &node)
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
                owner.handleReportByte(*buttons);
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

void FootPedalManager::Backend::closePedal(const QString &node)
{
    const OpenPedal pedal = pedals.take(node);
    // Called from the notifier's own signal, so it goes later; it must not
    // watch the descriptor once that is closed.
    pedal.notifier->setEnabled(false);
    pedal.notifier->deleteLater();
    ::close(pedal.fd);
    emit owner.rawInputLog(QStringLiteral("System: Pedal removed: %1 (%2)").arg(pedal.name, nodePath(node)));
}
