#include "ui/shortcutportal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

struct Shortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Shortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Shortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

struct Binding
{
    int id;
    const char *name;
    const char *description;
    const char *trigger;
};

constexpr Binding kBindings[] = {
    {1, "play-pause", "Play/Pause", "F1"},
    {2, "rewind", "Rewind", "F2"},
    {3, "forward", "Forward", "F3"},
    {4, "bookmark", "Bookmark", "F4"},
};

} // namespace

Q_DECLARE_METATYPE(Shortcut)

ShortcutPortal::ShortcutPortal(QObject *parent)
    : QObject(parent)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

void ShortcutPortal::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        fail(QStringLiteral("no session bus"));
        return;
    }
    // From the portal only: no other program on the bus may press our keys.
    bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
    step = Step::CreatingSession;
    const QString token = QStringLiteral("orlenta%1").arg(++tokens);
    request(QStringLiteral("CreateSession"),
            {QVariantMap{{QStringLiteral("handle_token"), token},
                         {QStringLiteral("session_handle_token"), QStringLiteral("orlenta_session")}}},
            token);
}

void ShortcutPortal::request(const QString &method, const QList<QVariant> &arguments, const QString &token)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Listening before the call: the Response may come before the reply.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    listenOn(QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token));

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *finished) {
        finished->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *finished;
        if (reply.isError())
            fail(reply.error().message());
        else if (reply.value().path() != listenedPath)
            listenOn(reply.value().path());
    });
}

void ShortcutPortal::listenOn(const QString &requestPath)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!listenedPath.isEmpty())
        bus.disconnect(kService, listenedPath, kRequestInterface, QStringLiteral("Response"), this,
                       SLOT(onResponse(uint, QVariantMap)));
    listenedPath = requestPath;
    bus.connect(kService, listenedPath, kRequestInterface, QStringLiteral("Response"), this,
                SLOT(onResponse(uint, QVariantMap)));
}

void ShortcutPortal::onResponse(uint response, const QVariantMap &results)
{
    if (response != 0) {
        fail(response == 1 ? QStringLiteral("the shortcuts were declined") : QStringLiteral("the portal refused"));
        return;
    }
    if (step == Step::CreatingSession) {
        // Documented as a string; some portals send an object path.
        const QVariant handle = results.value(QStringLiteral("session_handle"));
        sessionHandle = handle.userType() == qMetaTypeId<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path() : handle.toString();
        if (sessionHandle.isEmpty()) {
            fail(QStringLiteral("the portal gave no session"));
            return;
        }
        QList<Shortcut> shortcuts;
        for (const Binding &binding : kBindings)
            shortcuts.append({QString::fromLatin1(binding.name),
                              {{QStringLiteral("description"), QString::fromLatin1(binding.description)},
                               {QStringLiteral("preferred_trigger"), QString::fromLatin1(binding.trigger)}}});
        step = Step::Binding;
        const QString token = QStringLiteral("orlenta%1").arg(++tokens);
        request(QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(sessionHandle)), QVariant::fromValue(shortcuts), QString(),
                 QVariantMap{{QStringLiteral("handle_token"), token}}},
                token);
    } else if (step == Step::Binding) {
        step = Step::Bound;
        emit bound();
    }
}

void ShortcutPortal::onActivated(const QDBusMessage &message)
{
    // Session, shortcut id, timestamp, options.
    const QList<QVariant> arguments = message.arguments();
    if (step != Step::Bound || arguments.size() < 2
        || arguments.at(0).value<QDBusObjectPath>().path() != sessionHandle)
        return;
    const QString shortcut = arguments.at(1).toString();
    for (const Binding &binding : kBindings) {
        if (shortcut == QLatin1String(binding.name))
            emit activated(binding.id);
    }
}

void ShortcutPortal::fail(const QString &reason)
{
    if (step == Step::Failed || step == Step::Bound)
        return;
    step = Step::Failed;
    emit unavailable(reason);
}
