// System-wide keys in a real X server; needs DISPLAY and the xcb platform.
// xdotool types, and a second X connection of our own is a program
// competing for the same keys. The keys reaching the program while another
// program has the focus are part of the transcriber's day.
#include "input/globalhotkeys.h"
#include "xsession.h"

#include <QtTest>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr quint16 kNumLock = XCB_MOD_MASK_2; // in the X server's default keymap
const QList<quint16> kLockStates{0, XCB_MOD_MASK_LOCK, kNumLock, XCB_MOD_MASK_LOCK | kNumLock};

class OtherClient
{
public:
    OtherClient()
        : connection(xcb_connect(nullptr, nullptr))
        , root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
        , symbols(xcb_key_symbols_alloc(connection))
    {
    }

    ~OtherClient()
    {
        xcb_key_symbols_free(symbols);
        xcb_disconnect(connection);
    }

    // Whether the server lets this client grab F<n> with these modifiers.
    bool grab(int n, quint16 modifiers)
    {
        const std::unique_ptr<xcb_keycode_t, decltype(&std::free)> keycodes(
            xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(XK_F1 + n - 1)), &std::free);
        const std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
            xcb_request_check(connection,
                              xcb_grab_key_checked(connection, 0, root, modifiers, keycodes.get()[0],
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
            &std::free);
        return !error;
    }

private:
    xcb_connection_t *connection;
    xcb_window_t root;
    xcb_key_symbols_t *symbols;
};

} // namespace

class TestGlobalHotkeys : public QObject
{
    Q_OBJECT

private slots:
    void keysArrive_data();
    void keysArrive();
    void holdsEveryLockStateThenGivesKeysBack();
    void leavesKeysHeldElsewhere();
};

void TestGlobalHotkeys::keysArrive_data()
{
    QTest::addColumn<QString>("typing"); // xdotool commands
    QTest::addColumn<QList<int>>("ids");

    QTest::newRow("F2 with Caps Lock on") << "key Caps_Lock F2 Caps_Lock" << QList<int>{2};
    QTest::newRow("F3 with Num Lock on") << "key Num_Lock F3 Num_Lock" << QList<int>{3};
    QTest::newRow("other keys are not ours") << "key F5 b F1 F3" << QList<int>{1, 3};
    QTest::newRow("F1 twice is two presses") << "key F1 F1" << QList<int>{1, 1};
    QTest::newRow("F1 held past auto-repeat is one press")
        << "keydown F1 sleep 1.5 keyup F1 key F2" << QList<int>{1, 2};
}

void TestGlobalHotkeys::keysArrive()
{
    QFETCH(QString, typing);
    QFETCH(QList<int>, ids);

    GlobalHotkeys hotkeys;
    QCOMPARE(hotkeys.registeredHotkeyIds(), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(hotkeys.registrationProblem(), QString());
    QList<int> pressed;
    connect(&hotkeys, &GlobalHotkeys::hotkeyPressed, this, [&pressed](int id) { pressed.append(id); });
    xsession::xdotool(typing.split(QLatin1Char(' ')));
    QTRY_COMPARE(pressed, ids);
}

void TestGlobalHotkeys::holdsEveryLockStateThenGivesKeysBack()
{
    auto hotkeys = std::make_unique<GlobalHotkeys>();
    OtherClient other;
    for (bool held : {true, false}) {
        if (!held)
            hotkeys.reset();
        for (int n = 1; n <= 4; ++n) {
            for (quint16 locks : kLockStates)
                QVERIFY2(other.grab(n, locks) != held,
                         qPrintable(QStringLiteral("F%1, modifiers %2").arg(n).arg(locks)));
        }
    }
}

void TestGlobalHotkeys::leavesKeysHeldElsewhere()
{
    OtherClient other;
    QVERIFY(other.grab(2, 0));
    QVERIFY(other.grab(3, XCB_MOD_MASK_LOCK));

    GlobalHotkeys hotkeys;
    QCOMPARE(hotkeys.registeredHotkeyIds(), (QList<int>{1, 4}));
    QCOMPARE(hotkeys.registrationProblem(),
             QStringLiteral("System-wide keys unavailable: F2, F3 are held by another program."));
    // What could be taken of F2 and F3 was given back at once.
    QVERIFY(other.grab(2, XCB_MOD_MASK_LOCK));
    QVERIFY(other.grab(3, 0));
}

QTEST_MAIN(TestGlobalHotkeys)
#include "tst_globalhotkeys.moc"
