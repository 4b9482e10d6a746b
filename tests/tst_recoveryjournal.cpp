// The crash-recovery journal: its text form, the keeper that writes it while
// the user works, and the search for journals of programs that died.

#include "audiofixtures.h"
#include "ui/journalkeeper.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

namespace {

using Op = JournalEdit::Op;

RecoveryJournal sample()
{
    RecoveryJournal j;
    j.recordingPath = QStringLiteral("/srv/Interviews/Zoë \"night\" 2.wav");
    j.recordingSize = 123456789012;
    j.recordingModified = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    j.edits = {{Op::Tone, 1000, 2500, 0, 1000.0}, {Op::Normalize, 0, 90000, -1, -1.5}, {Op::Undo},
               {Op::Redo}, {Op::TrimPeaks, 5, 6, 1, 0.707}, {Op::Silence, 7000, 7001, -1, 0.0}};
    j.rows = {{-5, 1200, QStringLiteral("Witness"), QStringLiteral("She said \"no\",\r\nthen left — 東京 \\ é"), 1},
              {std::numeric_limits<qlonglong>::max(), std::numeric_limits<qlonglong>::min(), {}, {}, -1}};
    j.details = {QStringLiteral("  REF 7  "), QStringLiteral("Room\n2"), QStringLiteral("Op \"Kite\""),
                 QStringLiteral("DC Ørsted"), QString(), QStringLiteral("\t")};
    j.timeSourceIndex = 1;
    j.timeSourceText = QStringLiteral("Real Time");
    j.auditNotes = {QStringLiteral("Door slams at \"12:04\"\n— 東京"), QStringLiteral("Noted by hand")};
    j.written = QDateTime::fromMSecsSinceEpoch(1700000100456, Qt::UTC);
    return j;
}

} // namespace

class TestRecoveryJournal : public QObject
{
    Q_OBJECT

private slots:
    void roundTripKeepsEverything()
    {
        const JournalDecode back = decodeJournal(encodeJournal(sample()));
        QVERIFY2(back.ok, qPrintable(back.error));
        QVERIFY(back.journal == sample());
        const QString when = sample().written.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QCOMPARE(recoveryQuestion(back.journal),
                 QStringLiteral("Recover unsaved work on Zoë \"night\" 2.wav from %1? (2 rows, 6 edits, 2 audit notes)").arg(when));

        // Journals written before audit notes were kept still read.
        QJsonObject older = QJsonDocument::fromJson(encodeJournal(sample())).object();
        older.remove(QStringLiteral("auditNotes"));
        const JournalDecode old = decodeJournal(QJsonDocument(older).toJson());
        QVERIFY2(old.ok, qPrintable(old.error));
        QVERIFY(old.journal.auditNotes.isEmpty());
    }

    void refusesCorruptInput_data()
    {
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("to");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a later version") << QByteArray("\"version\": 1") << QByteArray("\"version\": 2") << "version 2";
        QTest::newRow("fractional time") << QByteArray("2500") << QByteArray("2500.5") << "edit 1: \"endMs\"";
        QTest::newRow("a note that is no text") << QByteArray("\"Noted by hand\"") << QByteArray("2") << "audit note 2";
    }

    void refusesCorruptInput()
    {
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, to);
        QFETCH(QString, reason);
        QByteArray bytes = encodeJournal(sample());
        QVERIFY(bytes.contains(from));
        const JournalDecode decoded = decodeJournal(bytes.replace(from, to));
        QVERIFY(!decoded.ok);
        QVERIFY2(decoded.error.contains(reason), qPrintable(decoded.error));
    }

    void writesWithinTwoSecondsWhileTyping()
    {
        QTemporaryDir home;
        qputenv("XDG_STATE_HOME", home.path().toUtf8());
        QString path;
        QString lockPath;
        {
            JournalKeeper keeper;
            path = keeper.journalPath();
            lockPath = path.chopped(5) + QStringLiteral(".lock");
            int typed = 0;
            keeper.setSnapshot([&] {
                RecoveryJournal j = sample();
                j.rows.resize(typed);
                return j;
            });
            // A change every 100 ms must not keep postponing the write.
            QTimer typing;
            connect(&typing, &QTimer::timeout, [&] {
                ++typed;
                keeper.markChanged();
            });
            typing.start(100);
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path), 3000);
            typing.stop();
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(decodeJournal(file.readAll()).journal.rows.size() > 10);
            QCOMPARE(QFileInfo(QFileInfo(path).path()).permissions() & 0x0077, QFile::Permissions());

            keeper.discard();
            QVERIFY(!QFileInfo::exists(path));
            keeper.markChanged();
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path), 3000);
        }
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(!QFileInfo::exists(lockPath));
    }

    void reportsAFailedWriteAndRetries()
    {
        QTemporaryDir home;
        const QString dir = home.filePath(QStringLiteral("state"));
        QVERIFY(fixtures::writeFile(dir, "a file where the folder should be"));
        JournalKeeper keeper(dir);
        QSignalSpy failed(&keeper, &JournalKeeper::writeFailed);
        keeper.setSnapshot(sample);
        keeper.markChanged();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 3000);
        QVERIFY(failed.at(0).at(0).toString().contains(dir));
        QVERIFY(QFile::remove(dir));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(keeper.journalPath()), 3000);
        QCOMPARE(failed.count(), 1);
    }

    void findsOnlyOrphans()
    {
        QTemporaryDir dir;
        QFile pidMax(QStringLiteral("/proc/sys/kernel/pid_max"));
        QVERIFY(pidMax.open(QIODevice::ReadOnly));
        const QByteArray dead = pidMax.readAll().trimmed(); // no process ever has this id
        const QByteArray own = QByteArray::number(QCoreApplication::applicationPid());
        QVERIFY(fixtures::writeFile(dir.filePath("journal-" + dead + ".json"), encodeJournal(sample())));
        QVERIFY(fixtures::writeFile(dir.filePath("journal-" + dead + ".lock"),
                  dead + "\norlenta-le\n" + QSysInfo::machineHostName().toUtf8() + '\n'));
        QVERIFY(fixtures::writeFile(dir.filePath("journal-7.json"), "{\"format\": \"orlenta-le recovery journal\""));
        // An earlier program with our id died; its lock is gone with the reboot.
        QVERIFY(fixtures::writeFile(dir.filePath("journal-" + own + ".json"), encodeJournal(sample())));
        JournalKeeper keeper(dir.path());
        keeper.setSnapshot(sample);
        keeper.markChanged();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(keeper.journalPath()), 3000);

        QStringList names;
        for (const OrphanJournal &orphan : findOrphanJournals(dir.path()))
            names << QFileInfo(orphan.path).fileName() + (orphan.decoded.ok ? "" : " refused");
        names.sort();
        QStringList expected{"journal-" + own + "-earlier.json", "journal-" + dead + ".json",
                             "journal-7.json.corrupt refused"};
        expected.sort();
        QCOMPARE(names, expected);
        QCOMPARE(findOrphanJournals(dir.path()).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRecoveryJournal)
#include "tst_recoveryjournal.moc"
