// A start time typed for a recording that carries none: what the window
// shows, what the audit log says, and what a saved copy keeps, read back by
// our scanner and by ffprobe.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "windowrig.h"

#include <QComboBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

using namespace fixtures;

static const QString kSetStartTime = QStringLiteral("Set Start Time\u2026");

class TestStartTime : public QObject
{
    Q_OBJECT

private slots:
    void typedThenSavedAndReopened_data();
    void typedThenSavedAndReopened();
};

void TestStartTime::typedThenSavedAndReopened_data()
{
    QTest::addColumn<QString>("typed");       // null: the dialog is cancelled
    QTest::addColumn<QString>("clock");       // in Real Time at the start; empty when nothing was set
    QTest::addColumn<QString>("timeReference"); // samples since midnight at 8 kHz in the saved bext
    QTest::addColumn<QString>("reopened");    // the clock after reopening the saved copy

    QTest::newRow("a time with milliseconds")
        << "10:15:30.250" << "10:15:30.250" << "295442000" << "10:15:30.000";
    QTest::newRow("whole seconds, spaces around") << " 07:05:09 " << "07:05:09.000" << "204072000" << "07:05:09.000";
    QTest::newRow("the last second of the day")
        << "23:59:59.999" << "23:59:59.999" << "691199992" << "23:59:59.000";
    QTest::newRow("hours past the day are refused") << "24:00:00" << "" << "" << "";
    QTest::newRow("a time without seconds is refused") << "10:15" << "" << "" << "";
    QTest::newRow("cancelled") << QString() << "" << "" << "";
}

void TestStartTime::typedThenSavedAndReopened()
{
    QFETCH(QString, typed);
    QFETCH(QString, clock);
    QFETCH(QString, timeReference);
    QFETCH(QString, reopened);
    QTemporaryDir dir;
    const QString take = dir.filePath(QStringLiteral("take.wav"));
    const QString saved = dir.filePath(QStringLiteral("saved.wav"));
    QVERIFY(writeFile(take, riff(fmtChunk(1, 1, 8000, 16) + chunk("data", QByteArray(16000, '\x20')))));
    WindowRig rig;
    QVERIFY(rig.load(take));
    auto *source = rig.child<QComboBox>("timeSourceCombo");
    auto *clockLabel = rig.child<QLabel>("clockLabel");
    QCOMPARE(source->count(), 2);
    QCOMPARE(source->itemText(1), kSetStartTime);

    rig.cancelInput = typed.isNull();
    rig.answerDialogs(QString(), typed);
    source->setCurrentIndex(1);
    // Not a source of its own: the choice is back at once.
    QCOMPARE(source->currentText(), QStringLiteral("Track Timing"));
    const bool refused = clock.isEmpty() && !typed.isNull();
    QTRY_COMPARE(rig.dialogs.size(), refused ? 2 : 1);
    if (refused) {
        QCOMPARE(rig.dialogs.at(1).icon, int(QMessageBox::Warning));
        QVERIFY2(rig.dialogs.at(1).text.contains(typed), qPrintable(rig.dialogs.at(1).text));
    }
    if (clock.isEmpty()) {
        QCOMPARE(source->currentText(), QStringLiteral("Track Timing"));
        QCOMPARE(clockLabel->text(), QStringLiteral("00:00:00.000"));
        QVERIFY(!rig.auditLog().contains(QLatin1String("Start time")));
    } else {
        QCOMPARE(source->currentText(), QStringLiteral("Real Time"));
        QCOMPARE(clockLabel->text(), clock);
        QCOMPARE(rig.auditLog().section(QLatin1Char('\n'), -1), QStringLiteral("Start time set manually: ") + clock);
        QCOMPARE(source->itemText(source->count() - 1), kSetStartTime); // a slip can be mended
    }

    QVERIFY(rig.engine()->saveWav(saved, {}).ok);
    const QString format = QString::fromUtf8(run(QStringLiteral("ffprobe"),
                                                 {QStringLiteral("-v"), QStringLiteral("error"),
                                                  QStringLiteral("-show_format"), saved}));
    if (clock.isEmpty()) {
        QVERIFY2(!format.contains(QLatin1String("time_reference")), qPrintable(format));
    } else {
        QVERIFY2(format.contains(QStringLiteral("TAG:time_reference=") + timeReference), qPrintable(format));
        // FFmpeg names the origination time creation_time.
        QVERIFY2(format.contains(QStringLiteral("TAG:creation_time=") + clock.left(8)), qPrintable(format));
    }

    // Reopened, the copy has a start time of its own, read by our scanner.
    QVERIFY(rig.engine()->loadFile(saved));
    QTRY_COMPARE(source->currentText(), reopened.isEmpty() ? QStringLiteral("Track Timing") : QStringLiteral("Real Time"));
    QCOMPARE(source->findText(kSetStartTime) < 0, !reopened.isEmpty());
    QCOMPARE(clockLabel->text(), reopened.isEmpty() ? QStringLiteral("00:00:00.000") : reopened);
}

QTEST_MAIN(TestStartTime)
#include "tst_starttime.moc"
