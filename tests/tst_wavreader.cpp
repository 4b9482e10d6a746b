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
    void initTestCase();
    void chunkWalk_data();
    void chunkWalk();
    void refusedFormats_data();
    void refusedFormats();
    void floatRounding_data();
    void floatRounding();
    void matchesFfmpeg_data();
    void matchesFfmpeg();
    void infoTags_data();
    void infoTags();
    void infoTagsFromFfmpeg();
    void callerCopyUntouched_data();
    void callerCopyUntouched();
    void errorTexts();

private:
    QTemporaryDir dir;
};

void TestWavReader::initTestCase()
{
    QVERIFY(dir.isValid());
}

void TestWavReader::chunkWalk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Status>("status");
    QTest::addColumn<QByteArray>("samples");

    const QByteArray pcm = s16({1, -2, 300, -32768, 32767, 0});
    const QByteArray list = infoList({{"INAM", "x"}});

    QTest::newRow("LIST between fmt and data")
        << riff(stereo16() + list + chunk("data", pcm.left(8))) << Status::Ok << pcm.left(8);
    QTest::newRow("odd-sized chunk is followed by a pad byte")
        << riff(stereo16() + chunk("junk", "abc") + chunk("data", pcm.left(8))) << Status::Ok << pcm.left(8);
    QTest::newRow("odd-sized fmt chunk")
        << riff(chunk("fmt ", fmtChunk(kPcm, 1, 8000, 16).mid(8) + "z") + chunk("data", pcm.left(4)))
        << Status::Ok << pcm.left(4);
    QTest::newRow("44 bytes, data holds nothing")
        << riff(stereo16() + chunk("data", {})) << Status::MissingChunks << QByteArray();
    QTest::newRow("45 bytes, one 8-bit sample") << riff(mono8() + chunk("data", "\xff").left(9)) << Status::Ok
                                               << s16({32512});
    QTest::newRow("45 bytes, half a 16-bit sample")
        << riff(fmtChunk(kPcm, 1, 8000, 16) + chunk("data", "\x01").left(9)) << Status::Ok << QByteArray();
    QTest::newRow("declared size shorter than the file")
        << riff(stereo16() + "data" + le32(4) + pcm) << Status::Ok << pcm.left(4);
    QTest::newRow("declared size 0 runs to the end")
        << riff(stereo16() + "data" + le32(0) + pcm.left(8)) << Status::Ok << pcm.left(8);
    QTest::newRow("declared size past the end runs to the end")
        << riff(stereo16() + "data" + le32(0xfffffff0) + pcm.left(8)) << Status::Ok << pcm.left(8);
    QTest::newRow("trailing partial frame is dropped")
        << riff(stereo16() + "data" + le32(0) + pcm.left(10)) << Status::Ok << pcm.left(8);
    QTest::newRow("chunk after data is not samples")
        << riff(stereo16() + chunk("data", pcm.left(8)) + list) << Status::Ok << pcm.left(8);
    QTest::newRow("odd data size, then pad byte and LIST")
        << riff(mono8() + chunk("data", QByteArray("\x80\x00\xff", 3)) + list) << Status::Ok << s16({0, -32768, 32512});
    QTest::newRow("fmt after data is not seen")
        << riff(chunk("data", pcm) + stereo16()) << Status::MissingChunks << QByteArray();
    QTest::newRow("the later of two fmt chunks counts")
        << riff(stereo16() + mono8() + chunk("data", "\x81\x7f")) << Status::Ok << s16({256, -256});
    QTest::newRow("43 bytes") << riff(stereo16() + chunk("data", {})).left(43) << Status::TooSmall << QByteArray();
    QTest::newRow("empty file") << QByteArray() << Status::TooSmall << QByteArray();
    QTest::newRow("no fmt chunk")
        << riff(chunk("junk", QByteArray(24, 'j')) + chunk("data", pcm)) << Status::MissingChunks << QByteArray();
    QTest::newRow("no data chunk") << riff(stereo16() + list + chunk("junk", pcm)) << Status::MissingChunks
                                   << QByteArray();
    QTest::newRow("ids are case-sensitive")
        << riff(stereo16() + chunk("DATA", pcm)) << Status::MissingChunks << QByteArray();
    QTest::newRow("fmt fields run past the end of the file")
        << riff(chunk("junk", QByteArray(16, 'j')) + "fmt " + le32(0) + "data" + le32(0) + QByteArray(7, 'd'))
        << Status::MissingChunks << QByteArray();
    QTest::newRow("chunk size runs past the end before data")
        << riff(stereo16() + "junk" + le32(0xffffffff) + chunk("data", pcm)) << Status::MissingChunks
        << QByteArray();
}

void TestWavReader::chunkWalk()
{
    QFETCH(QByteArray, file);
    QFETCH(Status, status);
    QFETCH(QByteArray, samples);

    const WavReadResult result = readWav(file);
    QCOMPARE(result.status, status);
    QCOMPARE(result.samples, samples);
    if (status == Status::Ok)
        QCOMPARE(result.bitsPerSample, 16);
}

void TestWavReader::refusedFormats_data()
{
    QTest::addColumn<QByteArray>("fmt");
    QTest::addColumn<Status>("status");
    QTest::addColumn<quint16>("formatTag");

    QTest::newRow("no channels") << fmtChunk(kPcm, 0, 44100, 16) << Status::UnsupportedFormat << kPcm;
    QTest::newRow("rate 0") << fmtChunk(kPcm, 2, 0, 16) << Status::UnsupportedFormat << kPcm;
    QTest::newRow("rate beyond int") << fmtChunk(kPcm, 2, 0x80000000u, 16) << Status::UnsupportedFormat << kPcm;
    QTest::newRow("4-bit integer") << fmtChunk(kPcm, 1, 8000, 4) << Status::UnsupportedFormat << kPcm;
    QTest::newRow("64-bit integer") << fmtChunk(kPcm, 1, 8000, 64) << Status::UnsupportedFormat << kPcm;
    QTest::newRow("16-bit float") << fmtChunk(kFloat, 1, 8000, 16) << Status::UnsupportedFormat << kFloat;
    QTest::newRow("A-law") << fmtChunk(kALaw, 1, 8000, 8) << Status::NeedsDecoder << kALaw;
    QTest::newRow("mu-law") << fmtChunk(7, 1, 8000, 8) << Status::NeedsDecoder << quint16(7);
    QTest::newRow("IMA ADPCM") << fmtChunk(0x11, 1, 8000, 4) << Status::NeedsDecoder << quint16(0x11);
    QTest::newRow("GSM 6.10") << fmtChunk(0x31, 1, 8000, 0) << Status::NeedsDecoder << quint16(0x31);
    QTest::newRow("compressed but no channels")
        << fmtChunk(kALaw, 0, 8000, 8) << Status::UnsupportedFormat << kALaw;
    QTest::newRow("extensible A-law") << extensibleFmt(kALaw, 1, 8000, 8) << Status::NeedsDecoder << kALaw;
    QTest::newRow("extensible with a foreign GUID")
        << extensibleFmt(kPcm, 2, 44100, 16, QByteArray(12, '\x5a')) << Status::NeedsDecoder << kExtensible;
    QTest::newRow("extensible too short for its GUID")
        << fmtChunk(kExtensible, 2, 44100, 16) << Status::UnsupportedFormat << kExtensible;
    QTest::newRow("extensible 12-bit float") << extensibleFmt(kFloat, 1, 8000, 12) << Status::UnsupportedFormat
                                             << kFloat;
}

void TestWavReader::refusedFormats()
{
    QFETCH(QByteArray, fmt);
    QFETCH(Status, status);
    QFETCH(quint16, formatTag);

    const WavReadResult result = readWav(riff(fmt + chunk("data", QByteArray(64, '\x11'))));
    QCOMPARE(result.status, status);
    QCOMPARE(result.formatTag, formatTag);
    QVERIFY(result.samples.isEmpty());
}

void TestWavReader::floatRounding_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QList<int>>("expected");

    const double step = 1.0 / 32768;
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("half steps round to even")
        << QList<double>{0.5 * step, 1.5 * step, 2.5 * step, -0.5 * step, -1.5 * step, -2.5 * step, 3.25 * step}
        << QList<int>{0, 2, 2, 0, -2, -2, 3};
    QTest::newRow("full scale and just past it clip")
        << QList<double>{1.0, -1.0, 32767.5 * step, -32768.5 * step, 1.5, -1.5}
        << QList<int>{32767, -32768, 32767, -32768, 32767, -32768};
    QTest::newRow("far past full scale saturates")
        << QList<double>{65536.0, -65536.0, 70000.0, -70000.0, 1e10, -1e10, FLT_MAX, -FLT_MAX}
        << QList<int>{32767, -32768, 32767, -32768, 32767, -32768, 32767, -32768};
    QTest::newRow("infinities saturate, NaN is silence")
        << QList<double>{inf, -inf, std::nan("")} << QList<int>{32767, -32768, 0};
}

void TestWavReader::floatRounding()
{
    QFETCH(QList<double>, values);
    QFETCH(QList<int>, expected);

    const WavReadResult single = readWav(riff(fmtChunk(kFloat, 1, 8000, 32) + chunk("data", floats<float>(values))));
    QCOMPARE(single.status, Status::Ok);
    QCOMPARE(single.samples, s16(expected));
    const WavReadResult twice = readWav(riff(fmtChunk(kFloat, 1, 8000, 64) + chunk("data", floats<double>(values))));
    QCOMPARE(twice.status, Status::Ok);
    QCOMPARE(twice.samples, s16(expected));
}

void TestWavReader::matchesFfmpeg_data()
{
    QTest::addColumn<QString>("program");   // empty: write `built` instead
    QTest::addColumn<QStringList>("arguments"); // %1 is the output path
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<quint16>("rawTag");
    QTest::addColumn<quint16>("formatTag");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("note");

    const QString ffmpeg = QStringLiteral("ffmpeg");
    const QString sox = QStringLiteral("sox");
    const auto lavfi = [](const QString &source, const QStringList &extra) {
        return QStringList{"-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", source} + extra + QStringList{"%1"};
    };
    const auto soxNoise = [](const QString &encoding, const QString &bits) {
        return QStringList{"-n", "-r", "22050", "-c", "2", "-t", "wavpcm", "-e", encoding, "-b", bits, "%1",
                           "synth", "0.3", "whitenoise"};
    };
    const QString noise2 = QStringLiteral("aevalsrc=exprs=2*random(0)-1|2*random(1)-1:s=44100:d=0.3");
    const QString loud2 = QStringLiteral("aevalsrc=exprs=3*random(0)-1.5|0.25*sin(2*PI*440*t):s=48000:d=0.3");
    const QString noise6 = QStringLiteral("aevalsrc=exprs=2*random(0)-1|2*random(1)-1|2*random(2)-1|"
                                          "2*random(3)-1|2*random(4)-1|2*random(5)-1:c=5.1:s=44100:d=0.3");
    const QString pcm8 = QStringLiteral("AudioEngine: Converting 8-bit PCM to 16-bit.");
    const QString pcm24 = QStringLiteral("AudioEngine: Converting 24-bit PCM to 16-bit.");
    const QString pcm32 = QStringLiteral("AudioEngine: Converting 32-bit PCM to 16-bit.");
    const QString float32 = QStringLiteral("AudioEngine: Converting 32-bit float to 16-bit.");
    const QString float64 = QStringLiteral("AudioEngine: Converting 64-bit float to 16-bit.");

    QTest::newRow("ffmpeg pcm_u8") << ffmpeg << lavfi(noise2, {"-c:a", "pcm_u8"}) << QByteArray() << kPcm << kPcm
                                   << 2 << pcm8;
    QTest::newRow("ffmpeg pcm_s16le") << ffmpeg << lavfi(noise2, {"-c:a", "pcm_s16le"}) << QByteArray() << kPcm
                                      << kPcm << 2 << QString();
    QTest::newRow("ffmpeg extensible pcm_s24le") << ffmpeg << lavfi(noise2, {"-c:a", "pcm_s24le"}) << QByteArray()
                                                 << kExtensible << kPcm << 2 << pcm24;
    QTest::newRow("ffmpeg extensible pcm_s32le") << ffmpeg << lavfi(noise2, {"-c:a", "pcm_s32le"}) << QByteArray()
                                                 << kExtensible << kPcm << 2 << pcm32;
    QTest::newRow("ffmpeg extensible pcm_f32le past full scale")
        << ffmpeg << lavfi(loud2, {"-c:a", "pcm_f32le"}) << QByteArray() << kExtensible << kFloat << 2 << float32;
    QTest::newRow("ffmpeg extensible pcm_f64le past full scale")
        << ffmpeg << lavfi(loud2, {"-c:a", "pcm_f64le", "-rf64", "never"}) << QByteArray() << kExtensible << kFloat
        << 2 << float64;
    QTest::newRow("ffmpeg extensible 16-bit at 96 kHz")
        << ffmpeg << lavfi(noise2, {"-ar", "96000", "-c:a", "pcm_s16le"}) << QByteArray() << kExtensible << kPcm
        << 2 << QString();
    QTest::newRow("ffmpeg extensible six-channel pcm_s16le")
        << ffmpeg << lavfi(noise6, {"-c:a", "pcm_s16le"}) << QByteArray() << kExtensible << kPcm << 6 << QString();
    QTest::newRow("ffmpeg extensible six-channel pcm_u8")
        << ffmpeg << lavfi(noise6, {"-c:a", "pcm_u8"}) << QByteArray() << kExtensible << kPcm << 6 << pcm8;
    QTest::newRow("ffmpeg extensible six-channel pcm_f32le")
        << ffmpeg << lavfi(noise6, {"-c:a", "pcm_f32le"}) << QByteArray() << kExtensible << kFloat << 6 << float32;

    QTest::newRow("sox 8-bit unsigned") << sox << soxNoise("unsigned-integer", "8") << QByteArray() << kPcm << kPcm
                                        << 2 << pcm8;
    QTest::newRow("sox 24-bit") << sox << soxNoise("signed-integer", "24") << QByteArray() << kPcm << kPcm << 2
                                << pcm24;
    QTest::newRow("sox 32-bit") << sox << soxNoise("signed-integer", "32") << QByteArray() << kPcm << kPcm << 2
                                << pcm32;
    QTest::newRow("sox 32-bit float") << sox << soxNoise("floating-point", "32") << QByteArray() << kFloat << kFloat
                                      << 2 << float32;
    QTest::newRow("sox 64-bit float") << sox << soxNoise("floating-point", "64") << QByteArray() << kFloat << kFloat
                                      << 2 << float64;

    const double step = 1.0 / 32768;
    const QList<double> edges = {0.5 * step,      1.5 * step,       2.5 * step, -0.5 * step,      -1.5 * step,
                                 -2.5 * step,     32766.5 * step,   32767.5 * step, -32767.5 * step, -32768.5 * step,
                                 1.0,             -1.0,             1.7,        -1.7,             0.0};
    QTest::newRow("half steps and clipping, 32-bit float")
        << QString() << QStringList() << riff(fmtChunk(kFloat, 1, 8000, 32) + chunk("data", floats<float>(edges)))
        << kFloat << kFloat << 1 << float32;
    QTest::newRow("half steps and clipping, 64-bit float")
        << QString() << QStringList() << riff(fmtChunk(kFloat, 1, 8000, 64) + chunk("data", floats<double>(edges)))
        << kFloat << kFloat << 1 << float64;
    const QList<int> ints = {0, 1, -1, 255, 256, -256, -257, 0x7fffff, -0x800000, 0x12345};
    QTest::newRow("24-bit negatives truncate downwards")
        << QString() << QStringList() << riff(fmtChunk(kPcm, 1, 8000, 24) + chunk("data", s24(ints))) << kPcm
        << kPcm << 1 << pcm24;
    // 20-bit samples left-aligned in three bytes (block align 3).
    const QByteArray fmt20 = fmtChunk(kPcm, 1, 8000, 20).replace(20, 2, le16(3));
    QTest::newRow("20 bits in 24") << QString() << QStringList() << riff(fmt20 + chunk("data", s24(ints))) << kPcm
                                   << kPcm << 1 << QStringLiteral("AudioEngine: Converting 20-bit PCM to 16-bit.");
}

void TestWavReader::matchesFfmpeg()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, built);
    QFETCH(quint16, rawTag);
    QFETCH(quint16, formatTag);
    QFETCH(int, channels);
    QFETCH(QString, note);

    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".wav");
    if (program.isEmpty()) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(built), built.size());
    } else {
        arguments.replaceInStrings(QStringLiteral("%1"), path);
        QVERIFY(!fixtures::run(program, arguments).isNull());
    }
    QFile in(path);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QByteArray bytes = in.readAll();
    QCOMPARE(bytes.mid(20, 2), le16(rawTag));
    const QByteArray reference = fixtures::ffmpegS16(path);
    QVERIFY(!reference.isEmpty());

    const WavReadResult result = readWav(std::move(bytes));
    QCOMPARE(result.status, Status::Ok);
    QCOMPARE(result.formatTag, formatTag);
    QCOMPARE(result.channels, channels);
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
    QTest::newRow("text ends at the first zero and is trimmed")
        << riff(head + data + infoList({{"INAM", QByteArray("  Ref 1 \0junk", 13)}})) << QStringList{"Title=Ref 1"};
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
    QFETCH(QStringList, tags);

    const WavReadResult result = readWav(file);
    QCOMPARE(result.status, Status::Ok);
    QStringList found;
    for (auto it = result.infoTags.cbegin(); it != result.infoTags.cend(); ++it)
        found << it.key() + QLatin1Char('=') + it.value();
    QCOMPARE(found, tags);
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
    QCOMPARE(result.infoTags.value(QStringLiteral("Comment")), QStringLiteral("Loc: Leeds |"));
    QCOMPARE(result.samples, fixtures::ffmpegS16(path));
}

void TestWavReader::callerCopyUntouched_data()
{
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("16-bit") << riff(stereo16() + chunk("data", s16({5, 6, 7, 8})));
    QTest::newRow("8-bit") << riff(mono8() + chunk("data", "\x01\x02\x03\x04"));
    QTest::newRow("32-bit float")
        << riff(fmtChunk(kFloat, 1, 8000, 32) + chunk("data", floats<float>({0.25, -0.5, 0.125})));
}

void TestWavReader::callerCopyUntouched()
{
    QFETCH(QByteArray, file);

    const QByteArray before(file.constData(), file.size());
    const WavReadResult result = readWav(file);
    QCOMPARE(result.status, Status::Ok);
    QCOMPARE(file, before);
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
