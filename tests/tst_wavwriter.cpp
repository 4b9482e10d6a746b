#include "audio/wavreader.h"
#include "audio/wavwriter.h"
#include "ui/metadatapane.h"

#include "audiofixtures.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using fixtures::le16;
using fixtures::le32;
using Tags = QMap<QString, QString>;

namespace {

// Distinct bytes, so a dropped or shifted byte shows.
QByteArray samples(qsizetype bytes)
{
    QByteArray out(bytes, '\0');
    for (qsizetype i = 0; i < bytes; ++i)
        out[i] = char((i * 7919) >> 3);
    return out;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString tool(const QString &program, const QStringList &args)
{
    return QString::fromUtf8(fixtures::run(program, args).trimmed());
}

enum class Trouble { NothingToSave, MissingFolder, FileAsFolder, FullFileSystem, LimitInSamples, LimitAtTags };

} // namespace

class TestWavWriter : public QObject
{
    Q_OBJECT

private slots:
    void infoList_data();
    void infoList();
    void refusesWhatDoesNotFit_data();
    void refusesWhatDoesNotFit();
    void savedFile_data();
    void savedFile();
    void failureKeepsExistingFile_data();
    void failureKeepsExistingFile();
};

void TestWavWriter::infoList_data()
{
    QTest::addColumn<Tags>("tags");
    QTest::addColumn<QByteArray>("body");
    const QByteArray isft = "ISFT" + le32(12) + QByteArray("Orlenta LE\0\0", 12);
    QTest::newRow("no tags: no list") << Tags() << QByteArray();
    QTest::newRow("all case fields empty: 24 bytes, the program's name only")
        << Tags{{"Title", ""}, {"Engineer", ""}} << "INFO" + isft;
    QTest::newRow("six-character reference gets a pad byte")
        << Tags{{"Title", "ABC123"}} << "INFOINAM" + le32(8) + QByteArray("ABC123\0\0", 8) + isft;
    QTest::newRow("seven-character reference needs none")
        << Tags{{"Title", "ABC1234"}} << "INFOINAM" + le32(8) + QByteArray("ABC1234\0", 8) + isft;
    QTest::newRow("title, engineer, comment in that order, sized in UTF-8 bytes")
        << Tags{{"Comment", "c"}, {"Title", "t"}, {"Engineer", "Zoë"}}
        << "INFOINAM" + le32(2) + QByteArray("t\0", 2) + "IENG" + le32(6) + QByteArray("Zo\xc3\xab\0\0", 6) + "ICMT"
               + le32(2) + QByteArray("c\0", 2) + isft;
}

void TestWavWriter::infoList()
{
    QFETCH(Tags, tags);
    QFETCH(QByteArray, body);
    QCOMPARE(infoListChunk(tags), body.isEmpty() ? body : "LIST" + le32(quint32(body.size())) + body);
}

void TestWavWriter::refusesWhatDoesNotFit_data()
{
    QTest::addColumn<qint64>("dataBytes");
    QTest::addColumn<qint64>("listBytes");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("reason");
    QTest::newRow("largest data that fits") << 0xffffffdaLL << 0LL << 2 << "";
    QTest::newRow("fits only without the tags") << 0xffffffdaLL << 24LL << 2 << "too long";
    QTest::newRow("odd size whose pad byte does not fit") << 0xffffffdbLL << 0LL << 1 << "too long";
    QTest::newRow("data size over 32 bits") << 0x100000000LL << 0LL << 2 << "too long";
    QTest::newRow("no samples, which readers take for samples up to the end")
        << 0LL << 24LL << 2 << "no audio";
    QTest::newRow("no channels") << 2LL << 0LL << 0 << "channels";
}

void TestWavWriter::refusesWhatDoesNotFit()
{
    QFETCH(qint64, dataBytes);
    QFETCH(qint64, listBytes);
    QFETCH(int, channels);
    QFETCH(QString, reason);
    const WavHeader header = wavHeader(dataBytes, listBytes, 44100, channels);
    QVERIFY2(header.refusal.contains(reason), qPrintable(header.refusal));
    QCOMPARE(header.bytes.isEmpty(), !reason.isEmpty());
    QCOMPARE(header.bytes.mid(4, 4), reason.isEmpty() ? le32(0xfffffffe) : QByteArray());
}

void TestWavWriter::savedFile_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QByteArray>("rateFields"); // rate, bytes per second, bytes per frame
    QTest::addColumn<qsizetype>("bytes");
    QTest::addColumn<CaseDetails>("details");
    const QByteArray stereo = le32(44100) + le32(176400) + le16(4);
    const QByteArray mono = le32(8000) + le32(16000) + le16(2);
    const CaseDetails details{"REF-2024/17", "Leeds", "Kite", "", "Zoë Hart", ""};
    QTest::newRow("stereo at 44 100 Hz with case details") << 2 << 44100 << stereo << qsizetype(88200) << details;
    QTest::newRow("mono at 8 000 Hz with case details") << 1 << 8000 << mono << qsizetype(8000) << details;
    QTest::newRow("empty case fields") << 1 << 8000 << mono << qsizetype(8000) << CaseDetails();
    QTest::newRow("odd byte count, padded before the list") << 1 << 8000 << mono << qsizetype(801) << details;
}

void TestWavWriter::savedFile()
{
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(QByteArray, rateFields);
    QFETCH(qsizetype, bytes);
    QFETCH(CaseDetails, details);
    QTemporaryDir dir;
    const QString path = dir.filePath("out.wav");
    const QByteArray store = samples(bytes);
    const Tags tags = caseDetailsTags(details);
    const WavSaveResult result = saveWav(path, store, rate, channels, tags);
    QVERIFY2(result.ok, qPrintable(result.error));

    const QByteArray file = readAll(path);
    QCOMPARE(file.left(44), "RIFF" + le32(quint32(file.size() - 8)) + "WAVEfmt " + le32(16) + le16(1) + le16(channels)
                                + rateFields + le16(16) + "data" + le32(quint32(bytes)));
    QCOMPARE(file.mid(44, bytes), store);
    QCOMPARE(file.mid(44 + bytes + bytes % 2), infoListChunk(tags));

    const QString format = tool("ffprobe", {"-v", "error", "-show_format", path});
    QVERIFY2(format.contains("TAG:encoder=Orlenta LE"), qPrintable(format));
    // A field left empty writes no tag, so its line must be missing.
    for (const QString &tag : {"TAG:title=" + details.reference, "TAG:IENG=" + details.transcriber,
                               "TAG:comment=" + packCaseComment(details) + '\n'})
        QCOMPARE(format.contains(tag), !tag.endsWith('=') && !tag.endsWith("=\n"));
    const qsizetype frames = bytes / 2 / channels;
    QCOMPARE((QStringList{tool("soxi", {"-r", path}), tool("soxi", {"-c", path}), tool("soxi", {"-s", path})}),
             (QStringList{QString::number(rate), QString::number(channels), QString::number(frames)}));

    // Our own loader gives the samples back, and the case fields through the tags.
    const WavReadResult ours = readWav(file);
    QCOMPARE(ours.samples, store.left(frames * 2 * channels));
    const MetadataDisplay shown = metadataDisplay(ours.infoTags, 0);
    QCOMPARE(shown.reference.value_or(QString()), details.reference);
    QCOMPARE(shown.transcriber.value_or(QString()), details.transcriber);
    const CommentFields fields = shown.commentFields.value_or(CommentFields());
    QCOMPARE((QStringList{fields.location, fields.operation, fields.oic, fields.translator}),
             (QStringList{details.location, details.operation, details.oic, details.translator}));
}

void TestWavWriter::failureKeepsExistingFile_data()
{
    QTest::addColumn<Trouble>("trouble");
    QTest::newRow("nothing to save: refused before the file is touched") << Trouble::NothingToSave;
    QTest::newRow("folder does not exist") << Trouble::MissingFolder;
    QTest::newRow("a file stands where the folder should be") << Trouble::FileAsFolder;
    QTest::newRow("file system full") << Trouble::FullFileSystem;
    QTest::newRow("file size limit reached among the samples") << Trouble::LimitInSamples;
    QTest::newRow("file size limit reached at the still-buffered tags") << Trouble::LimitAtTags;
}

void TestWavWriter::failureKeepsExistingFile()
{
    QFETCH(Trouble, trouble);
    QTemporaryDir dir;
    const QString existing = dir.filePath("out.wav");
    const QByteArray old("the only good copy");
    const QByteArray store = trouble == Trouble::NothingToSave ? QByteArray() : samples(1024 * 1024);
    QString path = existing;
    rlimit original{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &original) == 0);
    bool mounted = false;
    const auto restore = qScopeGuard([&] {
        setrlimit(RLIMIT_FSIZE, &original);
        if (mounted)
            QProcess::execute("umount", {dir.path()});
    });

    if (trouble == Trouble::FullFileSystem) {
        mounted = QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=256k", "tmpfs", dir.path()}) == 0;
        if (!mounted)
            QSKIP("cannot mount a small tmpfs here (needs root with mount rights)");
    }
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    file.close();
    if (trouble == Trouble::MissingFolder)
        path = dir.filePath("gone/out.wav");
    if (trouble == Trouble::FileAsFolder)
        path = existing + "/out.wav";
    if (trouble == Trouble::LimitInSamples || trouble == Trouble::LimitAtTags) {
        // Writing past the limit must fail with an error, not end the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{trouble == Trouble::LimitAtTags ? rlim_t(44 + store.size()) : 65536, original.rlim_max};
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limit) == 0);
    }

    const WavSaveResult result = saveWav(path, store, 44100, 2, {{"Title", "T"}});
    QVERIFY(!result.ok);
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(readAll(existing), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.wav"});
}

QTEST_GUILESS_MAIN(TestWavWriter)
#include "tst_wavwriter.moc"
