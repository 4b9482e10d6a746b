#include "audio/wavreader.h"

#include "audiofixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>

using Status = WavReadResult::Status;
Q_DECLARE_METATYPE(WavReadResult::Status)

char *toString(WavReadResult::Status status)
{
    static const char *const names[] = {"Ok", "TooSmall", "MissingChunks", "UnsupportedFormat", "NeedsDecoder"};
    return qstrdup(names[int(status)]);
}

namespace {

using fixtures::chunk;
using fixtures::fmtChunk;
using fixtures::le16;
using fixtures::le32;
using fixtures::riff;

constexpr quint16 kPcm = 1;
constexpr quint16 kFloat = 3;
constexpr quint16 kALaw = 6;
constexpr quint16 kExtensible = 0xfffe;
const QByteArray kGuidTail("\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 12);

QByteArray s16(const QList<int> &values)
{
    QByteArray out;
    for (int v : values)
        out += le16(quint16(qint16(v)));
    return out;
}

QByteArray s24(const QList<int> &values)
{
    QByteArray out;
    for (int v : values)
        out += le32(quint32(v)).left(3);
    return out;
}

template<typename Float>
QByteArray floats(const QList<double> &values)
{
    QByteArray out(values.size() * qsizetype(sizeof(Float)), '\0');
    for (qsizetype i = 0; i < values.size(); ++i)
        qToLittleEndian<Float>(Float(values[i]), out.data() + i * qsizetype(sizeof(Float)));
    return out;
}

QByteArray extensibleFmt(quint32 subFormat, quint16 channels, quint32 rate, quint16 bits,
                         const QByteArray &guidTail = kGuidTail)
{
    const quint16 align = quint16(channels * (bits / 8));
    return chunk("fmt ", le16(kExtensible) + le16(channels) + le32(rate) + le32(rate * align) + le16(align)
                             + le16(bits) + le16(22) + le16(bits) + le32(0) + le32(subFormat) + guidTail);
}

QByteArray stereo16() { return fmtChunk(kPcm, 2, 44100, 16); }
QByteArray mono8() { return fmtChunk(kPcm, 1, 8000, 8); }

QByteArray infoList(const QList<QPair<QByteArray, QByteArray>> &tags)
{
    QByteArray body = "INFO";
    for (const auto &tag : tags)
        body += chunk(tag.first, tag.second);
    return chunk("LIST", body);
}

QString describeDifference(const QByteArray &actual, const QByteArray &expected)
{
    const qsizetype n = qMin(actual.size(), expected.size()) / 2;
    for (qsizetype i = 0; i < n; ++i) {
        const qint16 a = qFromLittleEndian<qint16>(actual.constData() + 2 * i);
        const qint16 e = qFromLittleEndian<qint16>(expected.constData() + 2 * i);
        if (a != e)
            return QStringLiteral("sample %1: %2, ffmpeg %3").arg(i).arg(a).arg(e);
    }
    return QStringLiteral("%1 bytes, ffmpeg %2").arg(actual.size()).arg(expected.size());
}

} // namespace

class TestWavReader : public QObject
{
    Q_OBJECT

private slots:
    void chunkWalk_data();
    void chunkWalk();
    void refusedFormats_data();
    void refusedFormats();
    void floatExtremes();
    void matchesFfmpeg_data();
    void matchesFfmpeg();
    void infoTags_data();
    void infoTags();
    void infoTagsFromFfmpeg();
    void callerCopyUntouched();
    void errorTexts();

private:
    QTemporaryDir dir;
};

void TestWavReader::chunkWalk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("samples");

    const auto ok = [](const char *name, const QByteArray &chunks, const QByteArray &samples) {
        QTest::newRow(name) << riff(chunks) << Status::Ok << samples;
    };
    const auto missing = [](const char *name, const QByteArray &chunks) {
        QTest::newRow(name) << riff(chunks) << Status::MissingChunks << QByteArray();
    };
    const QByteArray pcm = s16({1, -2, 300, -32768, 32767, 0});
    const QByteArray four = pcm.left(8); // two stereo frames
    const QByteArray list = infoList({{"INAM", "x"}});
    const QByteArray fmt = stereo16();

    ok("LIST between fmt and data", fmt + list + chunk("data", four), four);
    ok("odd-sized chunk is followed by a pad byte", fmt + chunk("junk", "abc") + chunk("data", four), four);
    missing("44 bytes, data holds nothing", fmt + chunk("data", {}));
    ok("45 bytes, one 8-bit sample", mono8() + chunk("data", "\xff").left(9), s16({32512}));
    ok("declared size shorter than the file", fmt + "data" + le32(4) + pcm, pcm.left(4));
    ok("declared size 0 runs to the end", fmt + "data" + le32(0) + four, four);
    ok("declared size past the end runs to the end", fmt + "data" + le32(0xfffffff0) + four, four);
    ok("trailing partial frame is dropped", fmt + "data" + le32(0) + pcm.left(10), four);
    ok("odd data size, then pad byte and LIST", mono8() + chunk("data", QByteArray("\x80\x00\xff", 3)) + list,
       s16({0, -32768, 32512}));
    missing("fmt after data is not seen", chunk("data", pcm) + fmt);
    ok("the later of two fmt chunks counts", fmt + mono8() + chunk("data", "\x81\x7f"), s16({256, -256}));
    QTest::newRow("43 bytes") << riff(fmt + chunk("data", {})).left(43) << Status::TooSmall << QByteArray();
    missing("no fmt chunk", chunk("junk", QByteArray(24, 'j')) + chunk("data", pcm));
    missing("no data chunk", fmt + list + chunk("junk", pcm));
    missing("ids are case-sensitive", fmt + chunk("DATA", pcm));
    missing("fmt fields run past the end of the file",
            chunk("junk", QByteArray(16, 'j')) + "fmt " + le32(0) + "data" + le32(0) + QByteArray(7, 'd'));
    missing("chunk size runs past the end before data", fmt + "junk" + le32(0xffffffff) + chunk("data", pcm));
}

void TestWavReader::chunkWalk()
{
    QFETCH(QByteArray, file);
    QFETCH(Status, status);
    const WavReadResult result = readWav(file);
    QCOMPARE(result.status, status);
    QTEST(result.samples, "samples");
    if (status == Status::Ok)
        QCOMPARE(result.bitsPerSample, 16);
}

void TestWavReader::refusedFormats_data()
{
    QTest::addColumn<QByteArray>("fmt");
    QTest::addColumn<Status>("status");
    QTest::addColumn<quint16>("formatTag");

    const auto row = [](const char *name, const QByteArray &fmt, Status status) {
        QTest::newRow(name) << fmt << status << qFromLittleEndian<quint16>(fmt.constData() + 8);
    };
    const Status unsupported = Status::UnsupportedFormat;
    row("no channels", fmtChunk(kPcm, 0, 44100, 16), unsupported);
    row("rate 0", fmtChunk(kPcm, 2, 0, 16), unsupported);
    row("rate beyond int", fmtChunk(kPcm, 2, 0x80000000u, 16), unsupported);
    row("4-bit integer", fmtChunk(kPcm, 1, 8000, 4), unsupported);
    row("64-bit integer", fmtChunk(kPcm, 1, 8000, 64), unsupported);
    row("16-bit float", fmtChunk(kFloat, 1, 8000, 16), unsupported);
    row("A-law", fmtChunk(kALaw, 1, 8000, 8), Status::NeedsDecoder);
    row("GSM 6.10", fmtChunk(0x31, 1, 8000, 0), Status::NeedsDecoder);
    row("compressed but no channels", fmtChunk(kALaw, 0, 8000, 8), unsupported);
    row("extensible too short for its GUID", fmtChunk(kExtensible, 2, 44100, 16), unsupported);
    row("extensible with a foreign GUID", extensibleFmt(kPcm, 2, 44100, 16, QByteArray(12, '\x5a')),
        Status::NeedsDecoder);
    // The tag of an extensible format is its sub-format's.
    QTest::newRow("extensible A-law") << extensibleFmt(kALaw, 1, 8000, 8) << Status::NeedsDecoder << kALaw;
    QTest::newRow("extensible 12-bit float") << extensibleFmt(kFloat, 1, 8000, 12) << unsupported << kFloat;
}

void TestWavReader::refusedFormats()
{
    QFETCH(QByteArray, fmt);
    const WavReadResult result = readWav(riff(fmt + chunk("data", QByteArray(64, '\x11'))));
    QTEST(result.status, "status");
    QTEST(result.formatTag, "formatTag");
    QVERIFY(result.samples.isEmpty());
}

// Half steps and clipping are compared with ffmpeg below; these values must not overflow.
void TestWavReader::floatExtremes()
{
    const double inf = std::numeric_limits<double>::infinity();
    const QList<double> values{65536.0, -65536.0, 1e10, -1e10, FLT_MAX, -FLT_MAX, inf, -inf, std::nan("")};
    const QByteArray expected = s16({32767, -32768, 32767, -32768, 32767, -32768, 32767, -32768, 0});
    const WavReadResult single = readWav(riff(fmtChunk(kFloat, 1, 8000, 32) + chunk("data", floats<float>(values))));
    QCOMPARE(single.samples, expected);
    const WavReadResult twice = readWav(riff(fmtChunk(kFloat, 1, 8000, 64) + chunk("data", floats<double>(values))));
    QCOMPARE(twice.samples, expected);
}

void TestWavReader::matchesFfmpeg_data()
{
    QTest::addColumn<QStringList>("arguments"); // to ffmpeg, %1 the output; none: write `built` instead
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<quint16>("rawTag");
    QTest::addColumn<quint16>("formatTag");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("note");

    const auto made = [](const char *name, const QString &source, const QString &codec, quint16 rawTag,
                         quint16 formatTag, int channels, const QString &note) {
        QTest::newRow(name) << QStringList{"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", source}
                                   + codec.split(QLatin1Char(' ')) + QStringList{"%1"}
                            << QByteArray() << rawTag << formatTag << channels << note;
    };
    const auto built = [](const char *name, const QByteArray &fmt, const QByteArray &data, const QString &note) {
        const quint16 tag = qFromLittleEndian<quint16>(fmt.constData() + 8);
        QTest::newRow(name) << QStringList() << riff(fmt + chunk("data", data)) << tag << tag << 1 << note;
    };
    const auto note = [](const char *from) {
        return QStringLiteral("AudioEngine: Converting %1 to 16-bit.").arg(from);
    };
    const QString noise2 = QStringLiteral("aevalsrc=exprs=2*random(0)-1|2*random(1)-1:s=44100:d=0.3");
    const QString loud2 = QStringLiteral("aevalsrc=exprs=3*random(0)-1.5|0.25*sin(2*PI*440*t):s=48000:d=0.3");
    const QString noise6 = QStringLiteral("aevalsrc=exprs=2*random(0)-1|2*random(1)-1|2*random(2)-1|"
                                          "2*random(3)-1|2*random(4)-1|2*random(5)-1:c=5.1:s=44100:d=0.3");
    const quint16 ext = kExtensible;

    made("ffmpeg pcm_u8", noise2, "-c:a pcm_u8", kPcm, kPcm, 2, note("8-bit PCM"));
    made("ffmpeg pcm_s16le", noise2, "-c:a pcm_s16le", kPcm, kPcm, 2, {});
    made("ffmpeg extensible pcm_s24le", noise2, "-c:a pcm_s24le", ext, kPcm, 2, note("24-bit PCM"));
    made("ffmpeg extensible pcm_s32le", noise2, "-c:a pcm_s32le", ext, kPcm, 2, note("32-bit PCM"));
    made("ffmpeg extensible pcm_f32le past full scale", loud2, "-c:a pcm_f32le", ext, kFloat, 2, note("32-bit float"));
    made("ffmpeg extensible pcm_f64le past full scale", loud2, "-c:a pcm_f64le -rf64 never", ext, kFloat, 2,
         note("64-bit float"));
    made("ffmpeg extensible 16-bit at 96 kHz", noise2, "-ar 96000 -c:a pcm_s16le", ext, kPcm, 2, {});
    made("ffmpeg extensible six-channel pcm_s16le", noise6, "-c:a pcm_s16le", ext, kPcm, 6, {});

    const double step = 1.0 / 32768;
    const QList<double> edges = {0.5 * step,  1.5 * step,     2.5 * step,     -0.5 * step,     -1.5 * step,
                                 -2.5 * step, 32766.5 * step, 32767.5 * step, -32767.5 * step, -32768.5 * step,
                                 1.0,         -1.0,           1.7,            -1.7,            0.0};
    built("half steps and clipping, 32-bit float", fmtChunk(kFloat, 1, 8000, 32), floats<float>(edges),
          note("32-bit float"));
    built("half steps and clipping, 64-bit float", fmtChunk(kFloat, 1, 8000, 64), floats<double>(edges),
          note("64-bit float"));
    const QByteArray ints = s24({0, 1, -1, 255, 256, -256, -257, 0x7fffff, -0x800000, 0x12345});
    built("24-bit negatives truncate downwards", fmtChunk(kPcm, 1, 8000, 24), ints, note("24-bit PCM"));
    // 20-bit samples left-aligned in three bytes (block align 3).
    built("20 bits in 24", fmtChunk(kPcm, 1, 8000, 20).replace(20, 2, le16(3)), ints, note("20-bit PCM"));
}

void TestWavReader::matchesFfmpeg()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, built);
    QFETCH(quint16, rawTag);
    QFETCH(QString, note);
    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".wav");
    if (arguments.isEmpty()) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(built), built.size());
    } else {
        arguments.replaceInStrings(QStringLiteral("%1"), path);
        QVERIFY(!fixtures::run(QStringLiteral("ffmpeg"), arguments).isNull());
    }
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    QCOMPARE(bytes.mid(20, 2), le16(rawTag));
    const QByteArray reference = fixtures::ffmpegS16(path);
    QVERIFY(!reference.isEmpty());

    const WavReadResult result = readWav(std::move(bytes));
    QCOMPARE(result.status, Status::Ok);
    QTEST(result.formatTag, "formatTag");
    QTEST(result.channels, "channels");
    QCOMPARE(result.bitsPerSample, 16);
    QVERIFY2(result.samples == reference, qPrintable(describeDifference(result.samples, reference)));
    QCOMPARE(result.notes, note.isEmpty() ? QStringList() : QStringList{note});
}

void TestWavReader::infoTags_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("tags"); // "Key=Value", in key order

    const QByteArray head = stereo16();
    const QByteArray data = chunk("data", s16({1, 2, 3, 4}));
    // Our own writer: sizes count the terminating zero and the pad byte.
    const QByteArray written =
        chunk("LIST", QByteArray("INFO") + "INAM" + le32(8) + QByteArray("Case42\0\0", 8) + "IENG" + le32(4)
                          + QByteArray("Ann\0", 4) + "ICMT" + le32(24) + QByteArray("Loc: Leeds | Op: Kite |\0", 24)
                          + "ISFT" + le32(12) + QByteArray("Orlenta LE\0\0", 12));
    const QStringList writtenTags = {"Comment=Loc: Leeds | Op: Kite |", "Engineer=Ann", "Title=Case42"};

    QTest::newRow("after the data, as we save them") << riff(head + data + written) << writtenTags;
    QTest::newRow("before the data") << riff(head + written + data) << writtenTags;
    QTest::newRow("odd sizes padded outside the tag")
        << riff(head + infoList({{"IENG", QByteArray("Bo\0", 3)}, {"INAM", "Ref"}}) + data)
        << QStringList{"Engineer=Bo", "Title=Ref"};
    QTest::newRow("text ends at the first zero and keeps its spaces")
        << riff(head + data + infoList({{"INAM", QByteArray("  Ref 1 \0junk", 13)}})) << QStringList{"Title=  Ref 1 "};
    QTest::newRow("UTF-8") << riff(head + data + infoList({{"INAM", "Caf\xc3\xa9 \xe2\x82\xac"}}))
                           << QStringList{QStringLiteral("Title=Caf\u00e9 \u20ac")};
    QTest::newRow("not UTF-8 reads as Latin-1")
        << riff(head + data + infoList({{"INAM", "Caf\xe9"}, {"IENG", "\xc9mile M\xfcller"}}))
        << QStringList{QStringLiteral("Engineer=\u00c9mile M\u00fcller"), QStringLiteral("Title=Caf\u00e9")};
    QTest::newRow("blank values are left out")
        << riff(head + data + infoList({{"INAM", QByteArray("   \0", 4)}, {"ICMT", {}}})) << QStringList();
    QTest::newRow("first of two wins")
        << riff(head + infoList({{"INAM", "One"}}) + data + infoList({{"INAM", "Two"}})) << QStringList{"Title=One"};
    QTest::newRow("other tags and other list types are ignored")
        << riff(head + chunk("LIST", "adtlINAM" + le32(2) + "No") + data + infoList({{"IART", "Someone"}}))
        << QStringList();
    QTest::newRow("list cut short by the end of the file")
        << riff(head + data + "LIST" + le32(400) + "INFO" + "INAM" + le32(300) + "Cut") << QStringList{"Title=Cut"};
    QTest::newRow("samples running to the end are not read as tags")
        << riff(head + "data" + le32(0) + infoList({{"INAM", "Sample"}})) << QStringList();
    QTest::newRow("after a data chunk whose size passes the end")
        << riff(head + "data" + le32(0xfffffff0) + infoList({{"INAM", "Sample"}})) << QStringList();
}

void TestWavReader::infoTags()
{
    QFETCH(QByteArray, file);
    const WavReadResult result = readWav(file);
    QCOMPARE(result.status, Status::Ok);
    QStringList found;
    for (auto it = result.infoTags.cbegin(); it != result.infoTags.cend(); ++it)
        found << it.key() + QLatin1Char('=') + it.value();
    QTEST(found, "tags");
}

void TestWavReader::infoTagsFromFfmpeg()
{
    const QString path = dir.filePath(QStringLiteral("tagged.wav"));
    QVERIFY(fixtures::ffmpegGenerate(QStringLiteral("sine=duration=0.2"),
                                     {"-metadata", QStringLiteral("title=Op Kite \u00e9"), "-metadata", "IENG=Ann Lee",
                                      "-metadata", "comment=Loc: Leeds | "},
                                     path));
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    QVERIFY(bytes.contains("INAM"));
    const WavReadResult result = readWav(std::move(bytes));
    QCOMPARE(result.status, Status::Ok);
    QCOMPARE(result.infoTags.value(QStringLiteral("Title")), QStringLiteral("Op Kite \u00e9"));
    QCOMPARE(result.infoTags.value(QStringLiteral("Engineer")), QStringLiteral("Ann Lee"));
    QCOMPARE(result.infoTags.value(QStringLiteral("Comment")), QStringLiteral("Loc: Leeds | "));
    QCOMPARE(result.samples, fixtures::ffmpegS16(path));
}

// Conversions must not write through to the caller's shared bytes.
void TestWavReader::callerCopyUntouched()
{
    for (const QByteArray &file : {riff(stereo16() + chunk("data", s16({5, 6, 7, 8}))),
                                   riff(mono8() + chunk("data", "\x01\x02\x03\x04")),
                                   riff(fmtChunk(kFloat, 1, 8000, 32) + chunk("data", floats<float>({0.25, -0.5})))}) {
        const QByteArray before(file.constData(), file.size());
        QCOMPARE(readWav(file).status, Status::Ok);
        QCOMPARE(file, before);
    }
}

void TestWavReader::errorTexts()
{
    QCOMPARE(wavErrorText(Status::TooSmall), QStringLiteral("File too small."));
    QCOMPARE(wavErrorText(Status::MissingChunks), QStringLiteral("Invalid WAV: Missing fmt or data chunk."));
    QCOMPARE(wavErrorText(Status::UnsupportedFormat), QStringLiteral("Invalid WAV: unsupported format."));
    QVERIFY(wavErrorText(Status::Ok).isEmpty());
    QVERIFY(wavErrorText(Status::NeedsDecoder).isEmpty());
}

QTEST_GUILESS_MAIN(TestWavReader)
#include "tst_wavreader.moc"
