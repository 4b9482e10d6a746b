// The case details and the recording's time of day through the window:
// metadata pages, the Real Time clock, and the WAV saved with the details.

#include "audio/audioengine.h"
#include "audiofixtures.h"
#include "windowrig.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

using namespace fixtures;

namespace {

QByteArray bwf(const QByteArray &originationTime)
{
    QByteArray bext(602, '\0');
    bext.replace(330, originationTime.size(), originationTime);
    QByteArray pcm;
    for (int i = 0; i < 8000 * 2 * 3; ++i)
        pcm += le16(quint16(qint16((i * 97) % 20000 - 10000)));
    return riff(fmtChunk(1, 2, 8000, 16) + chunk("bext", bext) + chunk("data", pcm));
}

} // namespace

class TestCaseDetails : public QObject
{
    Q_OBJECT

private slots:
    void init() { rig = std::make_unique<WindowRig>(); }
    void cleanup() { rig.reset(); }
    void startTimeOffersRealTime_data();
    void startTimeOffersRealTime();
    void copiesThePages();
    void savedDetailsComeBack();
    void aFailedSaveSaysSo();

private:
    template<typename T>
    T *child(const char *name) const
    {
        return rig->child<T>(name);
    }
    AudioEngine *engine() const { return rig->engine(); }
    QString write(const QString &name, const QByteArray &bytes)
    {
        return writeFile(dir.filePath(name), bytes) ? dir.filePath(name) : QString();
    }
    // Exports through the menu entry, answering the save dialog with `path`;
    // returns the message box shown, if one was.
    WindowRig::Dialog saveAs(const QString &path);

    QTemporaryDir dir;
    std::unique_ptr<WindowRig> rig;
};

void TestCaseDetails::startTimeOffersRealTime_data()
{
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("pane");
    QTest::addColumn<QString>("clockAt2s");
    QTest::newRow("a morning recording") << QByteArray("10:15:30") << QStringList{"Track Timing", "Real Time"}
                                         << "BWF_StartTime: 10:15:30.000" << "10:15:32.000";
    QTest::newRow("no origination time") << QByteArray() << QStringList{"Track Timing"} << "" << "00:00:02.000";
    QTest::newRow("just before midnight") << QByteArray("23:59:59") << QStringList{"Track Timing", "Real Time"}
                                          << "BWF_StartTime: 23:59:59.000" << "00:00:01.000";
}

void TestCaseDetails::startTimeOffersRealTime()
{
    QFETCH(QByteArray, time);
    QFETCH(QStringList, sources);
    QFETCH(QString, pane);
    QFETCH(QString, clockAt2s);
    QVERIFY(engine()->loadFile(write(QStringLiteral("take.wav"), bwf(time))));
    auto *combo = child<QComboBox>("timeSourceCombo");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, sources);
    QCOMPARE(combo->currentIndex(), sources.size() - 1);
    QCOMPARE(child<QTextEdit>("metadataView")->toPlainText(), pane);
    engine()->seek(2000);
    QCOMPARE(child<QLabel>("clockLabel")->text(), clockAt2s);
    // Back to track time: the clock follows at once.
    combo->setCurrentIndex(0);
    QCOMPARE(child<QLabel>("clockLabel")->text(), QStringLiteral("00:00:02.000"));
}

void TestCaseDetails::copiesThePages()
{
    QVERIFY(engine()->loadFile(write(QStringLiteral("copy.wav"), bwf("08:00:00"))));
    QTest::mouseClick(child<QPushButton>("copyMetadataButton"), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("BWF_StartTime: 08:00:00.000"));
    QTest::mouseClick(child<QPushButton>("copyFormatButton"), Qt::LeftButton);
    QVERIFY(QApplication::clipboard()->text().startsWith(QStringLiteral("=== General ===\nFilename: copy.wav")));
}

WindowRig::Dialog TestCaseDetails::saveAs(const QString &path)
{
    rig->dialogs.clear();
    rig->answerDialogs(path);
    child<QPushButton>("exportButton")->menu()->actions().first()->trigger();
    return rig->dialogs.value(1);
}

void TestCaseDetails::savedDetailsComeBack()
{
    QVERIFY(engine()->loadFile(write(QStringLiteral("original.wav"), bwf("09:00:00"))));
    const QByteArray samples = engine()->samples();
    const std::pair<const char *, QString> details[] = {
        {"refEdit", QStringLiteral("  OP-2024/117 ")}, {"locEdit", QStringLiteral("Leeds")},
        {"opEdit", QStringLiteral("Harbour")},      {"oicEdit", QStringLiteral("DS Clarke")},
        {"transcriberEdit", QStringLiteral("J. Ng")}, {"translatorEdit", QStringLiteral("M. Öztürk")}};
    for (const auto &[name, text] : details)
        child<QLineEdit>(name)->setText(text);

    const QString saved = dir.filePath(QStringLiteral("redacted.wav"));
    QCOMPARE(saveAs(saved).title, QString());
    QVERIFY(rig->auditLog().endsWith(QStringLiteral("Saved: ") + saved));

    for (const auto &[name, text] : details)
        child<QLineEdit>(name)->clear();
    QVERIFY(engine()->loadFile(saved));
    QCOMPARE(engine()->samples(), samples);
    for (const auto &[name, text] : details)
        QCOMPARE(child<QLineEdit>(name)->text(), text);

    // A recording without tags leaves what was typed.
    QVERIFY(engine()->loadFile(dir.filePath(QStringLiteral("original.wav"))));
    for (const auto &[name, text] : details)
        QCOMPARE(child<QLineEdit>(name)->text(), text);
}

void TestCaseDetails::aFailedSaveSaysSo()
{
    QVERIFY(engine()->loadFile(write(QStringLiteral("keep.wav"), bwf("09:00:00"))));
    const WindowRig::Dialog box = saveAs(dir.filePath(QStringLiteral("no-such-folder/out.wav")));
    QCOMPARE(box.title + QLatin1Char('|') + box.text, QStringLiteral("Save Error|Could not save file."));
    QVERIFY(!box.detail.isEmpty()); // the reason is given
    QVERIFY(!rig->auditLog().contains(QStringLiteral("Saved:")));
}

QTEST_MAIN(TestCaseDetails)
#include "tst_casedetails.moc"
