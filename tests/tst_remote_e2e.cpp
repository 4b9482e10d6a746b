// The real program on a session bus of the test's own, in a real X server:
// the command-line remote, a second start, and a stand-in desktop portal.

#include "audiofixtures.h"
#include "ui/recoveryjournal.h"
#include "widgets/timetext.h"
#include "xsession.h"

#include <QProcess>
#include <QtDBus>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString kPortalService = u"org.freedesktop.portal.Desktop"_s;
const QString kPortalPath = u"/org/freedesktop/portal/desktop"_s;

// Answers CreateSession and BindShortcuts as the desktop portal documents
// them: a request handle now, that request's Response signal after.
class StandInPortal : public QDBusVirtualObject
{
public:
    ~StandInPortal() override
    {
        bus.unregisterService(kPortalService);
        bus.unregisterObject(kPortalPath);
    }
    bool listen() { return bus.registerVirtualObject(kPortalPath, this) && bus.registerService(kPortalService); }
    QString introspect(const QString &) const override { return QString(); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QList<QVariant> args = message.arguments();
        const bool create = message.member() == "CreateSession"_L1;
        if (!create && message.member() != "BindShortcuts"_L1)
            return false;
        const QVariantMap options = qdbus_cast<QVariantMap>(args.constLast());
        const QString sender = message.service().mid(1).replace(u'.', u'_');
        const auto handle = [&](const QString &kind, const QString &token) {
            return kPortalPath + u'/' + kind + u'/' + sender + u'/' + options.value(token).toString();
        };
        const QString request = handle(u"request"_s, u"handle_token"_s);
        QVariantMap results;
        if (create) {
            session = handle(u"session"_s, u"session_handle_token"_s);
            results.insert(u"session_handle"_s, session);
        } else {
            const QDBusArgument list = args.at(1).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                triggers += id + u'=' + properties.value(u"preferred_trigger"_s).toString();
            }
            list.endArray();
        }
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QDBusMessage response = QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        bus.send(response << 0u << results);
        return true;
    }
    void activate(const QString &shortcut)
    {
        bus.send(QDBusMessage::createSignal(kPortalPath, u"org.freedesktop.portal.GlobalShortcuts"_s, u"Activated"_s)
                 << QVariant::fromValue(QDBusObjectPath(session)) << shortcut << qulonglong(1) << QVariantMap());
    }

    QDBusConnection bus{u"test"_s}; // the test's own connection
    QString session;
    QStringList triggers;
};

} // namespace

class TestRemoteEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        binary = qEnvironmentVariable("ORLENTA_BIN");
        QVERIFY2(QFileInfo(binary).isExecutable(), "ORLENTA_BIN must name the built program");
        // 30 s, under two names.
        const QByteArray wav = fixtures::riff(fixtures::fmtChunk(1, 1, 8000, 16)
                                              + fixtures::chunk("data", QByteArray(8000 * 2 * 30, '\x10')));
        take = home.filePath(u"take.wav"_s);
        other = home.filePath(u"other.wav"_s);
        QVERIFY(fixtures::writeFile(take, wav) && fixtures::writeFile(other, wav));
        bus.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        QVERIFY2(bus.waitForReadyRead(5000), "dbus-daemon did not start");
        address = QString::fromLatin1(bus.readLine()).trimmed();
        QVERIFY(QDBusConnection::connectToBus(address, u"test"_s).isConnected());
        env = home.environment;
        env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, address);
    }

    void withoutAnInstanceTheRemoteSaysSo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("busAddress");
        QTest::newRow("play-pause") << QStringList{u"--play-pause"_s} << QString();
        QTest::newRow("no session bus at all") << QStringList{u"--bookmark"_s} << u"unix:path=/nonexistent/bus"_s;
    }
    void withoutAnInstanceTheRemoteSaysSo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, busAddress);
        const auto [status, out, err] = remote(arguments, busAddress);
        QVERIFY2(status > 0, qPrintable(err));
        QVERIFY2(err.endsWith("Orlenta LE is not running."_L1), qPrintable(err));
    }

    void playPauseStartsAndStopsPlay()
    {
        startProgram();
        remote({u"--play-pause"_s});
        QTRY_VERIFY_WITH_TIMEOUT(property(u"Playing"_s).toBool() && property(u"Position"_s).toLongLong() > 500, 10000);
        remote({u"--play-pause"_s});
        QTRY_VERIFY_WITH_TIMEOUT(!property(u"Playing"_s).toBool(), 5000);
    }

    void remoteMovesTheHeardPosition_data()
    {
        QTest::addColumn<QList<QStringList>>("commands");
        QTest::addColumn<QString>("heard");
        using Commands = QList<QStringList>;
        QTest::newRow("forward twice") << Commands{{u"--forward"_s}, {u"--forward"_s}} << u"00:00:10.000"_s;
        QTest::newRow("rewind from 12 s") << Commands{{u"--goto"_s, u"12"_s}, {u"--rewind"_s}} << u"00:00:07.000"_s;
        QTest::newRow("seconds with a fraction") << Commands{{u"--goto"_s, u"3.25"_s}} << u"00:00:03.250"_s;
        QTest::newRow("past the end") << Commands{{u"--goto"_s, u"1:00:00"_s}} << u"00:00:30.000"_s;
    }
    void remoteMovesTheHeardPosition()
    {
        QFETCH(QList<QStringList>, commands);
        QFETCH(QString, heard);
        startProgram();
        remote({u"--goto"_s, u"0"_s});
        for (const QStringList &command : commands) {
            const auto [status, out, err] = remote(command);
            QVERIFY2(status == 0, qPrintable(err));
        }
        const auto [status, out, err] = remote({u"--position"_s}); // hh:mm:ss.zzz
        QCOMPARE(out, heard);
        QCOMPARE(property(u"Position"_s).toLongLong(), *parseTimeText(heard));
    }

    void secondStartHandsOverToTheFirst_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("file");
        QTest::newRow("no file: the first comes forward") << QStringList() << take;
        QTest::newRow("a file: it opens in the first") << QStringList{other} << other;
    }
    void secondStartHandsOverToTheFirst()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, file);
        startProgram();
        QCOMPARE(std::get<0>(remote(arguments)), 0);
        QTRY_COMPARE_WITH_TIMEOUT(property(u"File"_s).toString(), file, 10000);
        QCOMPARE(program->state(), QProcess::Running);
    }

    void systemKeysOnEachSession_data()
    {
        QTest::addColumn<QString>("sessionType");
        QTest::addColumn<bool>("withPortal");
        QTest::addColumn<bool>("bound");
        QTest::addColumn<int>("noKeysLines");
        QTest::newRow("x11 keeps its key grab") << u"x11"_s << true << false << 0;
        QTest::newRow("wayland without a portal says so once") << u"wayland"_s << false << false << 1;
        QTest::newRow("wayland portal, its bookmark adds a row unasked") << u"wayland"_s << true << true << 0;
    }
    void systemKeysOnEachSession()
    {
        QFETCH(QString, sessionType);
        QFETCH(bool, withPortal);
        QFETCH(bool, bound);
        QFETCH(int, noKeysLines);
        StandInPortal portal;
        QVERIFY(!withPortal || portal.listen());
        stopProgram();
        startProgram(sessionType);
        QTest::qWait(1000); // the portal is asked after the window is up
        QCOMPARE(portal.triggers.join(u' '), bound ? u"play-pause=F1 rewind=F2 forward=F3 bookmark=F4"_s : QString());
        const QString err = QString::fromLocal8Bit(program->readAllStandardError());
        QCOMPARE(err.count("System-wide keys are unavailable on this session"_L1), noKeysLines);
        if (!bound)
            return;
        portal.activate(u"bookmark"_s);
        const QString journal = home.filePath(u"state/orlenta-le/journal-%1.json"_s.arg(program->processId()));
        QTRY_COMPARE_WITH_TIMEOUT(decodeJournal(fixtures::readFile(journal)).journal.rows.size(), 1, 10000);
    }

private:
    // One program serves the remote's tests; the others start their own.
    void startProgram(const QString &sessionType = u"x11"_s)
    {
        if (program)
            return;
        program = new QProcess(this);
        QProcessEnvironment session = env;
        session.insert(u"XDG_SESSION_TYPE"_s, sessionType);
        program->setProcessEnvironment(session);
        program->start(binary, {take});
        QTRY_COMPARE_WITH_TIMEOUT(property(u"File"_s).toString(), take, 20000);
    }
    void stopProgram() { delete std::exchange(program, nullptr); } // kills it

    QVariant property(const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(u"org.orlenta.OrlentaLE"_s, u"/org/orlenta/OrlentaLE"_s,
                                                          u"org.freedesktop.DBus.Properties"_s, u"Get"_s);
        get << u"org.orlenta.OrlentaLE"_s << name;
        const QList<QVariant> reply = QDBusConnection(u"test"_s).call(get).arguments();
        return reply.isEmpty() ? QVariant() : reply.constFirst().value<QDBusVariant>().variant();
    }
    // Exit status, output and errors of one more run: the remote or a second start.
    std::tuple<int, QString, QString> remote(const QStringList &arguments, const QString &busAddress = QString())
    {
        QProcess run;
        QProcessEnvironment remoteEnv = env;
        remoteEnv.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, busAddress.isEmpty() ? address : busAddress);
        if (arguments.value(0).startsWith("--"_L1))
            remoteEnv.remove(u"DISPLAY"_s); // the remote needs none
        run.setProcessEnvironment(remoteEnv);
        run.start(binary, arguments);
        const bool ended = run.waitForFinished(10000) && run.exitStatus() == QProcess::NormalExit;
        return {ended ? run.exitCode() : -1, QString::fromLocal8Bit(run.readAllStandardOutput()).trimmed(),
                QString::fromLocal8Bit(run.readAllStandardError()).trimmed()};
    }

    QString binary, take, other, address;
    xsession::ProgramHome home;
    QProcess bus; // the session bus of these tests, ended with them
    QProcessEnvironment env; // of every run of the program
    QProcess *program = nullptr;
};

QTEST_GUILESS_MAIN(TestRemoteEndToEnd)
#include "tst_remote_e2e.moc"
