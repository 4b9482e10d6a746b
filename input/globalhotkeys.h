#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// System-wide keys F1, F2, F3 and F4, delivered as ids 1 to 4 while another
// program has the focus. Taken at construction and released, in id order, at
// destruction. Windows: hotkey messages; Linux: key grabs on the X11 root
// window, in every combination of Caps Lock and Num Lock. Holding a key down
// gives one press, not a stream of them.
class GlobalHotkeys : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit GlobalHotkeys(QObject *parent = nullptr);
    ~GlobalHotkeys() override;

    // Ids of the keys this object holds, in the order they were taken.
    QList<int> registeredHotkeyIds() const { return registeredIds; }

    // One line for the event log when some or all keys could not be taken
    // (no X11 connection, or another program holds them); empty otherwise.
    QString registrationProblem() const { return problem; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void hotkeyPressed(int id);

private:
    // The system's own part: X11 key grabs, or nothing on Windows, where the
    // system keeps the hotkeys by id. Made and freed in the system's file.
    class Backend;
    struct BackendDeleter
    {
        void operator()(Backend *backend) const;
    };
    static Backend *newBackend();

    // F1 to F4 as ids 1 to 4.
    static constexpr int kFirstId = 1;
    static constexpr int kLastId = 4;

    static QString keyName(int id);
    static QString heldElsewhereText(const QStringList &keys);
    void registerKeys();
    void releaseKeys();

    QList<int> registeredIds;
    QString problem;
    std::unique_ptr<Backend, BackendDeleter> backend;
};
