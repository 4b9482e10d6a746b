// System-wide keys on X11: key grabs on the root windows.

#include "input/globalhotkeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdlib>
#include <memory>

namespace {

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};

template<typename T>
using XcbPointer = std::unique_ptr<T, FreeDeleter>;

struct Grab
{
    int id = 0;
    quint32 root = 0;
    quint8 keycode = 0;
    quint16 modifiers = 0;
};

constexpr int kModifierCount = 8;       // Shift, Lock, Control, Mod1 .. Mod5
constexpr quint8 kEventTypeMask = 0x7f; // the top bit marks events sent by clients

xcb_connection_t *x11Connection()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    auto *x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The modifier bit Num Lock sets; 0 when it is no modifier in this keymap.
quint16 numLockMask(xcb_connection_t *connection, xcb_key_symbols_t *symbols)
{
    const XcbPointer<xcb_keycode_t> numLock(xcb_key_symbols_get_keycode(symbols, XK_Num_Lock));
    const XcbPointer<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!numLock || !mapping)
        return 0;
    const xcb_keycode_t *keycodes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < kModifierCount; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t keycode = keycodes[modifier * perModifier + i];
            for (const xcb_keycode_t *k = numLock.get(); keycode != XCB_NO_SYMBOL && *k != XCB_NO_SYMBOL; ++k) {
                if (*k == keycode)
                    return quint16(1 << modifier);
            }
        }
    }
    return 0;
}

} // namespace

// The key grabs behind the ids, and what tells auto-repeat from a new press.
class GlobalHotkeys::Backend
{
public:
    int idOfGrabbedKey(quint32 window, quint8 keycode) const;

    QList<Grab> grabs;
    QSet<int> keysDown;
    QHash<int, quint32> releaseTimes;
};

int GlobalHotkeys::Backend::idOfGrabbedKey(quint32 window, quint8 keycode) const
{
    for (const Grab &grab : grabs) {
        if (grab.root == window && grab.keycode == keycode)
            return grab.id;
    }
    return 0;
}

GlobalHotkeys::Backend *GlobalHotkeys::newBackend()
{
    return new Backend;
}

void GlobalHotkeys::BackendDeleter::operator()(Backend *backend) const
{
    delete backend;
}

void GlobalHotkeys::registerKeys()
{
    xcb_connection_t *connection = x11Connection();
    if (!connection) {
        problem = QStringLiteral("System-wide keys are unavailable: no X11 connection.");
        return;
    }

    xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(connection);
    const quint16 numLock = numLockMask(connection, symbols);
    // A grab matches one exact modifier state, so Caps Lock or Num Lock being
    // on would otherwise switch the keys off.
    QList<quint16> lockStates{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0)
        lockStates << numLock << quint16(numLock | XCB_MOD_MASK_LOCK);

    QStringList refused;
    for (int id = kFirstId; id <= kLastId; ++id) {
        const XcbPointer<xcb_keycode_t> keycodes(
            xcb_key_symbols_get_keycode(symbols, xcb_keysym_t(XK_F1 + (id - kFirstId))));
        QList<Grab> wanted;
        for (auto screen = xcb_setup_roots_iterator(xcb_get_setup(connection)); screen.rem; xcb_screen_next(&screen)) {
            for (const xcb_keycode_t *k = keycodes.get(); k && *k != XCB_NO_SYMBOL; ++k) {
                for (quint16 modifiers : std::as_const(lockStates))
                    wanted.append({id, screen.data->root, *k, modifiers});
            }
        }
        QList<xcb_void_cookie_t> cookies;
        for (const Grab &grab : std::as_const(wanted)) {
            // Not owner_events: presses reach the root window even while one
            // of our own windows has the focus, so they always come here.
            cookies.append(xcb_grab_key_checked(connection, 0, grab.root, grab.modifiers, grab.keycode,
                                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
        bool all = !wanted.isEmpty();
        QList<Grab> taken;
        for (qsizetype i = 0; i < cookies.size(); ++i) {
            const XcbPointer<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i]));
            if (error)
                all = false;
            else
                taken.append(wanted[i]);
        }
        if (all) {
            backend->grabs += taken;
            registeredIds.append(id);
        } else {
            // Half a key is no key: give back what was taken of it.
            for (const Grab &grab : std::as_const(taken))
                xcb_ungrab_key(connection, grab.keycode, grab.root, grab.modifiers);
            refused.append(keyName(id));
        }
    }
    xcb_key_symbols_free(symbols);
    xcb_flush(connection);
    if (!refused.isEmpty())
        problem = heldElsewhereText(refused);
}

void GlobalHotkeys::releaseKeys()
{
    xcb_connection_t *connection = x11Connection();
    if (connection && !backend->grabs.isEmpty()) {
        for (int id : std::as_const(registeredIds)) {
            for (const Grab &grab : std::as_const(backend->grabs)) {
                if (grab.id == id)
                    xcb_ungrab_key(connection, grab.keycode, grab.root, grab.modifiers);
            }
        }
        // A round trip: once we return, the server has freed the keys for
        // other programs.
        const XcbPointer<xcb_get_input_focus_reply_t> sync(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    backend->grabs.clear();
    registeredIds.clear();
}

bool GlobalHotkeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (backend->grabs.isEmpty() || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & kEventTypeMask;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Press and release events share one layout.
    const auto *key = static_cast<const xcb_key_press_event_t *>(message);
    const int id = backend->idOfGrabbedKey(key->event, key->detail);
    if (id == 0)
        return false;
    // The server repeats a held key as a release and a press with the same
    // time stamp, or, where a client asked for detectable auto-repeat, as
    // presses alone. Either is the same press still going on.
    if (type == XCB_KEY_RELEASE) {
        backend->keysDown.remove(id);
        backend->releaseTimes.insert(id, key->time);
        return true;
    }
    const auto released = backend->releaseTimes.constFind(id);
    const bool repeat = backend->keysDown.contains(id) || (released != backend->releaseTimes.constEnd() && *released == key->time);
    backend->keysDown.insert(id);
    if (!repeat)
        emit hotkeyPressed(id);
    return true;
}
