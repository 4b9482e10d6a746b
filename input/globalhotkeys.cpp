#include "input/globalhotkeys.h"

#include <QCoreApplication>
#include <QStringList>

GlobalHotkeys::GlobalHotkeys(QObject *parent)
    : QObject(parent)
    , backend(newBackend())
{
    QCoreApplication::instance()->installNativeEventFilter(this);
    registerKeys();
}

GlobalHotkeys::~GlobalHotkeys()
{
    releaseKeys();
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
}

QString GlobalHotkeys::keyName(int id)
{
    return QStringLiteral("F%1").arg(id);
}

QString GlobalHotkeys::heldElsewhereText(const QStringList &keys)
{
    return QStringLiteral("System-wide keys unavailable: %1 %2 held by another program.")
        .arg(keys.join(QStringLiteral(", ")), keys.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}
