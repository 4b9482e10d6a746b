// Foot pedals: report descriptors, and the manager against a made-up /sys and
// /dev where FIFOs stand in for the /dev/hidrawN nodes; making or removing
// one is plugging a pedal in or out.
#include "input/footpedalmanager.h"
#include "input/pedalreport.h"

#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A three-button foot pedal: buttons 1-3 in the low bits of one byte.
const char *const kPedalHex = "05 01 09 04 A1 01  05 09 19 01 29 03 15 00 25 01 75 01 95 03 81 02"
                           "  75 05 95 01 81 03  C0";
// VEC/Infinity IN-USB pedals: Consumer / Programmable Buttons, three button
// bits and padding in two bytes.
const char *const kVecHex = "05 0C 09 03 A1 01  05 09 19 01 29 03 15 00 25 01 95 03 75 01 81 02"
                            "  95 01 75 05 81 01  95 01 75 08 81 01  C0";
// A boot keyboard: modifier byte, reserved byte, six key codes.
const char *const kKeyboardHex = "05 01 09 06 A1 01  05 07 19 E0 29 E7 15 00 25 01 75 01 95 08 81 02"
                              "  95 01 75 08 81 03  95 06 75 08 15 00 25 65 05 07 19 00 29 65 81 00  C0";

QByteArray bytes(const QString &hex) { return QByteArray::fromHex(hex.toLatin1()); }

const QByteArray kPedal = bytes(QString::fromLatin1(kPedalHex));
const QByteArray kKeyboard = bytes(QString::fromLatin1(kKeyboardHex));
const QString kVecId = QStringLiteral("0003:000005F3:000000FF");

// The descriptor with a Report ID item opening its first collection.
QByteArray numbered(const char *hex, const char *reportId)
{
    const QString descriptor = QString::fromLatin1(hex);
    return bytes(descriptor.left(18) + QStringLiteral(" 85 ") + QLatin1String(reportId) + descriptor.mid(18));
}
const QString kListening = QStringLiteral("System: Listening for HID Input...");

// A fake tree and a manager over it, recording every signal as one line.
struct Rig
{
    Rig()
        : manager(dir.filePath("sys"), dir.filePath("dev"))
    {
        QDir(dir.path()).mkpath(QStringLiteral("sys/class/hidraw"));
        QDir(dir.path()).mkpath(QStringLiteral("dev"));
        QObject::connect(&manager, &FootPedalManager::pedalDown, [this](int b) { seen << QString("down %1").arg(b); });
        QObject::connect(&manager, &FootPedalManager::pedalUp, [this](int b) { seen << QString("up %1").arg(b); });
        QObject::connect(&manager, &FootPedalManager::rawInputLog, [this](const QString &line) { seen << line; });
    }

    QString node(int n) const { return dir.filePath(QStringLiteral("dev/hidraw%1").arg(n)); }
    QByteArray nodeName(int n) const { return QFile::encodeName(node(n)); }

    // The sysfs side of device n (its name, ids and report descriptor), then its node.
    bool plugIn(int n, const QString &name, const QByteArray &descriptor = kPedal, const QString &hidId = {}) const
    {
        const QString device = dir.filePath(QStringLiteral("sys/class/hidraw/hidraw%1/device/").arg(n));
        QDir().mkpath(device);
        QFile uevent(device + "uevent");
        QFile report(device + "report_descriptor");
        if (uevent.open(QIODevice::WriteOnly) && report.open(QIODevice::WriteOnly)) {
            uevent.write("DRIVER=hid-generic\n");
            if (!hidId.isEmpty())
                uevent.write("HID_ID=" + hidId.toLatin1() + "\n");
            if (!name.isEmpty())
                uevent.write("HID_NAME=" + name.toUtf8() + "\n");
            uevent.write("HID_PHYS=usb-0000:00:14.0-2/input0\n");
            report.write(descriptor);
        }
        uevent.close();
        report.close(); // written out before the node appears
        return mkfifo(nodeName(n).constData(), 0600) == 0;
    }

    // The writing end of a FIFO; refused while nobody reads it.
    int writer(int n) const { return ::open(nodeName(n).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); }

    QString connected(int n, const QString &name) const { return QStringLiteral("System: Pedal connected: %1 (%2)").arg(name, node(n)); }
    QString removed(int n, const QString &name) const { return QStringLiteral("System: Pedal removed: %1 (%2)").arg(name, node(n)); }

    QTemporaryDir dir;
    FootPedalManager manager;
    QStringList seen;
};

// Writes one report and waits until the manager has read it, so reports never merge in the FIFO.
void send(int writer, const QByteArray &report)
{
    QCOMPARE(::write(writer, report.constData(), size_t(report.size())), ssize_t(report.size()));
    int pending = -1;
    QTRY_VERIFY(ioctl(writer, FIONREAD, &pending) == 0 && pending == 0);
}

} // namespace

class TestPedals : public QObject
{
    Q_OBJECT

private slots:
    void findsApplicationCollections_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QList<quint32>>("collections"); // none: refused as malformed
        using Usages = QList<quint32>;
        QTest::newRow("three-button pedal") << kPedal << Usages{0x10004};
        QTest::newRow("keyboard with a numbered pedal behind it") << kKeyboard + numbered(kPedalHex, "02")
                                                                  << Usages{0x10006, 0x10004};
        QTest::newRow("joystick collection inside a mouse's")
            << bytes("05 01 09 02 A1 01 09 04 A1 01 09 30 75 08 95 01 81 06 C0 C0") << Usages{0x10002};
        QTest::newRow("usage page given after the usage") << bytes("09 04 05 01 A1 01 C0") << Usages{0x10004};
        QTest::newRow("four-byte usage carries its own page") << bytes("05 0C 0B 04 00 01 00 A1 01 C0")
                                                              << Usages{0x10004};
        QTest::newRow("the first usage names the collection") << bytes("05 01 09 06 09 04 A1 01 C0")
                                                              << Usages{0x10006};
        QTest::newRow("usage page restored by pop") << bytes("05 0C A4 05 01 B4 09 04 A1 01 C0") << Usages{0xC0004};
        QTest::newRow("long item skipped") << bytes("FE 02 10 AA BB 05 01 09 04 A1 01 C0") << Usages{0x10004};
        QTest::newRow("collection never closed") << bytes("05 01 09 04 A1 01") << Usages{};
    }

    // Only a joystick application collection makes a device a pedal.
    void findsApplicationCollections()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(QList<quint32>, collections);
        const auto found = hidApplicationCollections(descriptor);
        QCOMPARE(found.value_or(QList<quint32>()), collections);
        QCOMPARE(found.has_value(), !collections.isEmpty());
        QCOMPARE(declaresJoystick(descriptor), collections.contains(0x10004));
    }

    void readsReports_data()
    {
        QTest::addColumn<QString>("hidId");
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<QStringList>("reports");  // pedal A or B, then the bytes; the first brings the buttons to rest
        QTest::addColumn<QStringList>("expected"); // signals; none: the devices are not opened
        const QByteArray vec = bytes(QString::fromLatin1(kVecHex));
        QTest::newRow("all three pressed, then released, centre first")
            << QString() << kPedal << QStringList{"A 00", "A 07", "A 00"}
            << QStringList{"down 2", "down 1", "down 3", "up 2", "up 1", "up 3"};
        QTest::newRow("a bit that is no button is ignored")
            << QString() << kPedal << QStringList{"A 00", "A 08", "A 09"} << QStringList{"down 1"};
        QTest::newRow("two pedals share one state") << QString() << kPedal << QStringList{"A 00", "A 01", "B 00"}
                                                    << QStringList{"down 1", "up 1"};
        QTest::newRow("VEC pedal") << kVecId << vec << QStringList{"A 00 00", "A 01 00", "A 03 00", "A 02 00", "A 00 00"}
                                   << QStringList{"down 1", "down 2", "up 1", "up 2"};
        QTest::newRow("VEC pedal with numbered reports")
            << kVecId << numbered(kVecHex, "01") << QStringList{"A 01 00 00", "A 01 04 00", "A 02 01", "A 01 00 00"}
            << QStringList{"down 3", "up 3"};
        QTest::newRow("VEC descriptor on another device")
            << QStringLiteral("0003:00001234:00005678") << vec << QStringList() << QStringList();
        QTest::newRow("joystick pedal with numbered reports")
            << QString() << numbered(kPedalHex, "05") << QStringList{"A 05 00", "A 05 02", "A 06 01", "A 05 00"}
            << QStringList{"down 2", "up 2"};
    }

    void readsReports()
    {
        QFETCH(QString, hidId);
        QFETCH(QByteArray, descriptor);
        QFETCH(QStringList, reports);
        QFETCH(QStringList, expected);
        auto rig = std::make_unique<Rig>();
        QVERIFY(rig->plugIn(0, "Pedal A", descriptor, hidId) && rig->plugIn(1, "Pedal B", descriptor, hidId));
        QVERIFY(rig->manager.registerDevices());
        const int writers[] = {rig->writer(0), rig->writer(1)};
        QCOMPARE(writers[0] >= 0 && writers[1] >= 0, !expected.isEmpty());
        if (expected.isEmpty())
            return;
        for (const QString &report : reports) {
            send(writers[report.startsWith('B')], QByteArray::fromHex(report.mid(2).toLatin1()));
            if (&report == &reports.first())
                rig->seen.clear();
        }
        QCOMPARE(rig->seen.filter(QRegularExpression("^(down|up) ")), expected);

        // The button state is the program's, not one manager's: the last report again is nothing new.
        Rig later;
        QVERIFY(later.plugIn(0, "Pedal A", descriptor, hidId));
        QVERIFY(later.manager.registerDevices());
        rig.reset();
        const int laterWriter = later.writer(0);
        send(laterWriter, QByteArray::fromHex(reports.last().mid(2).toLatin1()));
        QCOMPARE(later.seen, (QStringList{kListening, later.connected(0, "Pedal A")}));
        for (int fd : {writers[0], writers[1], laterWriter})
            ::close(fd);
    }

    // Only pedals are opened: a keyboard's keys are none of the program's business.
    void registersAndListsDevices()
    {
        Rig rig;
        QVERIFY(rig.plugIn(0, "Dell KB216 Wired Keyboard", kKeyboard, QStringLiteral("0003:0000413C:00002113")));
        QVERIFY(rig.plugIn(2, "VEC  VEC USB Footpedal", bytes(QString::fromLatin1(kVecHex)), kVecId));
        QVERIFY(rig.manager.registerDevices());
        QCOMPARE(rig.seen, (QStringList{kListening, rig.connected(2, "VEC  VEC USB Footpedal")}));
        QCOMPARE(rig.writer(0), -1); // nobody opened the keyboard

        // No pedal attached is no failure; no sysfs at all is.
        Rig empty;
        QVERIFY(empty.manager.registerDevices());
        QCOMPARE(empty.seen, QStringList{kListening});
        FootPedalManager noSysfs(empty.dir.filePath("nothing"), empty.dir.filePath("dev"));
        QSignalSpy log(&noSysfs, &FootPedalManager::rawInputLog);
        QVERIFY(!noSysfs.registerDevices());
        QCOMPARE(log.value(0).value(0).toString(), QStringLiteral("Error: Failed to register Raw Input."));
    }

    void followsPedalsPluggedInAndOut()
    {
        Rig rig;
        QVERIFY(rig.manager.registerDevices());
        QVERIFY(rig.plugIn(3, "Foot Pedal"));
        QTRY_COMPARE(rig.seen.last(), rig.connected(3, "Foot Pedal"));
        const int writer = rig.writer(3);
        send(writer, QByteArray(1, '\0'));
        send(writer, QByteArray(1, '\x04'));
        QVERIFY(rig.seen.contains("down 3"));

        QVERIFY(QFile::remove(rig.node(3)));
        QTRY_COMPARE(rig.seen.last(), rig.removed(3, "Foot Pedal"));
        ::close(writer);

        // A device that stops delivering (end of file) is closed too.
        QVERIFY(rig.plugIn(4, "Other Pedal"));
        QTRY_COMPARE(rig.seen.last(), rig.connected(4, "Other Pedal"));
        ::close(rig.writer(4));
        QTRY_COMPARE(rig.seen.last(), rig.removed(4, "Other Pedal"));
        QCOMPARE(rig.seen.count(rig.connected(3, "Foot Pedal")), 1);
    }

};

QTEST_GUILESS_MAIN(TestPedals)
#include "tst_pedals.moc"
