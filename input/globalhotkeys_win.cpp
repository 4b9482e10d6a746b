// System-wide keys on Windows: hotkey messages.

#include "input/globalhotkeys.h"

#include <QStringList>

#include <windows.h>

// The system keeps the hotkeys by id: nothing to hold here.
class GlobalHotkeys::Backend
{
};

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
    QStringList refused;
    for (int id = kFirstId; id <= kLastId; ++id) {
        // MOD_NOREPEAT: a key held down is one press.
        if (RegisterHotKey(nullptr, id, MOD_NOREPEAT, VK_F1 + (id - kFirstId)))
            registeredIds.append(id);
        else
            refused.append(keyName(id));
    }
    if (!refused.isEmpty())
        problem = heldElsewhereText(refused);
}

void GlobalHotkeys::releaseKeys()
{
    for (int id : std::as_const(registeredIds))
        UnregisterHotKey(nullptr, id);
    registeredIds.clear();
}

bool GlobalHotkeys::nativeEventFilter(const QByteArray &, void *message, qintptr *)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_HOTKEY)
        return false;
    emit hotkeyPressed(int(quint32(msg->wParam)));
    return true;
}
