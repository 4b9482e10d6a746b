#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

class QDBusPendingCallWatcher;

// F1 to F4 through the desktop portal's GlobalShortcuts interface, for
// sessions where an X11 key grab sees nothing (Wayland). The desktop may
// bind other keys than the ones asked for: the user has the last word.
// Delivers the same ids as the X11 grab: 1 Play/Pause, 2 Rewind,
// 3 Forward, 4 Bookmark.
class ShortcutPortal : public QObject
{
    Q_OBJECT

public:
    explicit ShortcutPortal(QObject *parent = nullptr);

    // Asks for a session and the four shortcuts; ends in bound() or
    // unavailable(), once.
    void start();

signals:
    void bound();
    void unavailable(const QString &reason);
    void activated(int id);

private slots:
    void onResponse(uint response, const QVariantMap &results);
    void onActivated(const QDBusMessage &message);

private:
    enum class Step { Idle, CreatingSession, Binding, Bound, Failed };

    // Calls `method` on the portal and waits for the Response of the
    // request it makes; a request path the portal names otherwise is
    // followed too.
    void request(const QString &method, const QList<QVariant> &arguments, const QString &token);
    void listenOn(const QString &requestPath);
    void fail(const QString &reason);

    Step step = Step::Idle;
    QString listenedPath;
    QString sessionHandle;
    int tokens = 0;
};
