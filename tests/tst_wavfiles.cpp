// The WAV family: reading samples and INFO tags, the format report and the
// broadcast-wave start time, cue markers, and writing a file back.

#include "audio/cuereader.h"
#include "audio/wavreader.h"
#include "audio/wavscanner.h"
#include "audio/wavwriter.h"
#include "ui/metadatapane.h"

#include "audiofixtures.h"
#include "filesizelimit.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cfloat>
#include <cmath>
#include <limits>
#include <optional>

using namespace fixtures;
using Status = WavReadResult::Status;
using StartTime = ScanResult::StartTime;
Q_DECLARE_METATYPE(WavReadResult::Status)

namespace {

constexpr quint16 kPcm = 1;
constexpr quint16 kFloat = 3;
constexpr quint16 kALaw = 6;
constexpr quint16 kExtensible = 0xfffe;
const QByteArray kGuidTail("\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71", 12);

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

QByteArray infoList(const QList<QPair<QByteArray, QByteArray>> &tags)
{
    QByteArray body = "INFO";
    for (const auto &tag : tags)
        body += chunk(tag.first, tag.second);
    return chunk("LIST", body);
}

QString audioSection(const QString &format, int channels, int rate, int bits, const QString &duration = {})
{
    return QStringLiteral("=== Audio Track ===\nFormat: %1\nChannels: %2\nSample Rate: %3 Hz\nBit Depth: %4 bits\n%5\n")
        .arg(format, QString::number(channels), QString::number(rate), QString::number(bits),
             duration.isEmpty() ? QString() : QStringLiteral("Duration: %1 s\n").arg(duration));
}

QString bextSection(const QString &description, const QString &date = {}, const QString &time = {})
{
    return QStringLiteral("=== Broadcast Wave (BEXT) ===\nDescription: %1\nOrig. Date: %2\nOrig. Time: %3\n\n")
        .arg(description, date, time);
}

// "bext" chunk data of `size` bytes (602: what ffmpeg writes, the fields up to
// the reserved area); the originator after the description is filled so that
// reading past the description's 256 bytes shows.
QByteArray bextData(const QByteArray &description, const QByteArray &date, const QByteArray &time, int size = 602)
{
    QByteArray data(qMax(size, 346), '\0');
    data.replace(0, description.size(), description);
    data.replace(256, 10, "ORIGINATOR");
    data.replace(320, date.size(), date);
    data.replace(330, time.size(), time);
    return data.left(size);
}

QByteArray bext(const QByteArray &time) { return chunk("bext", bextData("Interview", "2021-03-04", time)); }

QByteArray pcmData(int size) { return chunk("data", QByteArray(size, '\x11')); }

// A "cue " chunk of {id, sample offset} points.
QByteArray cues(const QList<QPair<quint32, quint32>> &points)
{
    QByteArray data = le32(quint32(points.size()));
    for (const auto &[id, sample] : points)
        data += le32(id) + le32(sample) + "data" + le32(0) + le32(0) + le32(sample);
    return chunk("cue ", data);
}

// LIST/adtl entries: "labl"/"note" text, or an "ltxt" region length.
QByteArray text(const QByteArray &id, quint32 cue, const QByteArray &s) { return chunk(id, le32(cue) + s + '\0'); }
QByteArray ltxt(quint32 cue, quint32 span) { return chunk("ltxt", le32(cue) + le32(span) + "rgn " + QByteArray(8, 0)); }
QByteArray adtl(const QByteArray &entries) { return chunk("LIST", "adtl" + entries); }
QByteArray wav(quint32 rate, const QByteArray &chunks) { return riff(fmtChunk(1, 1, rate, 16) + pcmData(64) + chunks); }

// Distinct bytes, so a dropped or shifted byte shows.
QByteArray distinctBytes(qsizetype bytes)
{
    QByteArray out(bytes, '\0');
    for (qsizetype i = 0; i < bytes; ++i)
        out[i] = char((i * 7919) >> 3);
    return out;
}

} // namespace

class TestWavFiles : public QObject
{
    Q_OBJECT

private slots:
    void chunkWalk_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Status>("status");
        QTest::addColumn<QByteArray>("samples");
        QTest::addColumn<quint16>("formatTag"); // an extensible format's is its sub-format's
        QTest::addColumn<QStringList>("tags");  // "Key=Value", in key order
        const auto ok = [](const char *name, const QByteArray &chunks, const QByteArray &samples, quint16 tag = kPcm) {
            QTest::newRow(name) << riff(chunks) << Status::Ok << samples << tag << QStringList();
        };
        const auto missing = [](const char *name, const QByteArray &chunks) {
            QTest::newRow(name) << riff(chunks) << Status::MissingChunks << QByteArray() << quint16(0) << QStringList();
        };
        // Refused before any sample is read; the tag is the fmt chunk's own unless given.
        const auto refused = [](const char *name, const QByteArray &fmt, Status status, int tag = -1) {
            QTest::newRow(name) << riff(fmt + pcmData(64)) << status << QByteArray()
                                << (tag < 0 ? qFromLittleEndian<quint16>(fmt.constData() + 8) : quint16(tag))
                                << QStringList();
        };
        const QByteArray pcm = s16({1, -2, 300, -32768, 32767, 0});
        const QByteArray four = pcm.left(8); // two stereo frames
        const QByteArray list = infoList({{"IART", "x"}}); // a tag the reader ignores
        const QByteArray fmt = fmtChunk(kPcm, 2, 44100, 16), mono8 = fmtChunk(kPcm, 1, 8000, 8);
        // INFO tags around two stereo frames.
        const auto tagged = [&](const char *name, const QByteArray &pre, const QByteArray &post,
                                const QStringList &tags) {
            QTest::newRow(name) << riff(fmt + pre + chunk("data", four) + post) << Status::Ok << four << kPcm << tags;
        };
        missing("44 bytes, data holds nothing", fmt + chunk("data", {}));
        ok("declared size shorter than the file", fmt + "data" + le32(4) + pcm, pcm.left(4));
        ok("declared size past the end runs to the end", fmt + "data" + le32(0xfffffff0) + four, four);
        ok("odd data size, then pad byte and LIST", mono8 + chunk("data", QByteArray("\x80\x00\xff", 3)) + list,
           s16({0, -32768, 32512}));
        missing("fmt after data is not seen", chunk("data", pcm) + fmt);
        ok("the later of two fmt chunks counts", fmt + mono8 + chunk("data", "\x81\x7f"), s16({256, -256}));
        QTest::newRow("43 bytes") << riff(fmt + chunk("data", {})).left(43) << Status::TooSmall << QByteArray()
                                  << quint16(0) << QStringList();
        missing("no fmt chunk", chunk("junk", QByteArray(24, 'j')) + chunk("data", pcm));
        missing("no data chunk", fmt + list + chunk("junk", pcm));
        QTest::newRow("not RIFF/WAVE") << riff(fmt + chunk("data", pcm)).replace(8, 4, "AVI ") << Status::MissingChunks
                                       << QByteArray() << quint16(0) << QStringList();
        ok("13 bits stored in 16", fmtChunk(kPcm, 1, 8000, 13) + chunk("data", pcm), pcm);
        // ffmpeg wraps these around; they must saturate, and NaN is silence.
        const double inf = std::numeric_limits<double>::infinity();
        const QList<double> huge{65536.0, -65536.0, 1e10, -1e10, FLT_MAX, -FLT_MAX, inf, -inf, std::nan("")};
        const QByteArray saturated = s16({32767, -32768, 32767, -32768, 32767, -32768, 32767, -32768, 0});
        ok("32-bit float far past full scale", fmtChunk(kFloat, 1, 8000, 32) + chunk("data", floats<float>(huge)),
           saturated, kFloat);
        ok("64-bit float far past full scale", fmtChunk(kFloat, 1, 8000, 64) + chunk("data", floats<double>(huge)),
           saturated, kFloat);
        const Status unsupported = Status::UnsupportedFormat;
        refused("4-bit integer", fmtChunk(kPcm, 1, 8000, 4), unsupported);
        refused("A-law", fmtChunk(kALaw, 1, 8000, 8), Status::NeedsDecoder);
        refused("compressed but no channels", fmtChunk(kALaw, 0, 8000, 8), unsupported);
        refused("extensible with a foreign GUID", extensibleFmt(kPcm, 2, 44100, 16, QByteArray(12, '\x5a')),
                Status::NeedsDecoder);
        refused("extensible A-law", extensibleFmt(kALaw, 1, 8000, 8), Status::NeedsDecoder, kALaw);
        tagged("tags after the data", {}, infoList({{"IENG", QByteArray("Bo\0", 3)}, {"INAM", "Ref"}, {"ICMT", "c"}}),
               {"Comment=c", "Engineer=Bo", "Title=Ref"});
        tagged("tags before the data, odd sizes padded", infoList({{"IENG", "Bob"}, {"INAM", "Ref"}}), {},
               {"Engineer=Bob", "Title=Ref"});
        tagged("text ends at the first zero, spaces kept", infoList({{"INAM", QByteArray("  Ref 1 \0junk", 13)}}),
               {}, {"Title=  Ref 1 "});
        tagged("not UTF-8 reads as Latin-1", {}, infoList({{"INAM", "Caf\xe9"}, {"IENG", "\xc9mile M\xfcller"}}),
               {QStringLiteral("Engineer=\u00c9mile M\u00fcller"), QStringLiteral("Title=Caf\u00e9")});
        tagged("blank values are left out", {}, infoList({{"INAM", QByteArray("   \0", 4)}, {"ICMT", {}}}), {});
        tagged("other tags and other list types are ignored", chunk("LIST", "adtlINAM" + le32(2) + "No"),
               infoList({{"IART", "Someone"}}), {});
        tagged("list cut short by the end of the file", {}, "LIST" + le32(400) + "INFO" + "INAM" + le32(300) + "Cut",
               {"Title=Cut"});
        const QByteArray title = infoList({{"INAM", "x"}});
        ok("open-ended samples are not read as tags", fmt + "data" + le32(0) + four + title, four + title.left(20));
    }

    void chunkWalk()
    {
        QFETCH(QByteArray, file);
        QFETCH(Status, status);
        const QByteArray before(file.constData(), file.size());
        const WavReadResult result = readWav(file);
        QCOMPARE(file, before); // converting in place must not write through to the caller's shared bytes
        QCOMPARE(result.status, status);
        QTEST(result.formatTag, "formatTag");
        QTEST(result.samples, "samples");
        QStringList found;
        for (auto it = result.infoTags.cbegin(); it != result.infoTags.cend(); ++it)
            found << it.key() + QLatin1Char('=') + it.value();
        QTEST(found, "tags");
    }

    void matchesFfmpeg_data()
    {
        QTest::addColumn<QString>("source"); // ffmpeg writes it in stereo, extensible, with `codec`
        QTest::addColumn<QString>("codec");  // none: `built` is written instead, in mono
        QTest::addColumn<QByteArray>("built");
        QTest::addColumn<quint16>("formatTag");
        const auto made = [](const char *name, const char *source, const char *codec, quint16 formatTag) {
            QTest::newRow(name) << QString::fromLatin1(source) << QString::fromLatin1(codec) << QByteArray()
                                << formatTag;
        };
        const auto built = [](const char *name, const QByteArray &fmt, const QByteArray &data) {
            QTest::newRow(name) << QString() << QString() << riff(fmt + chunk("data", data))
                                << qFromLittleEndian<quint16>(fmt.constData() + 8);
        };
        made("ffmpeg extensible pcm_s32le", "aevalsrc=exprs=2*random(0)-1|2*random(1)-1:s=44100:d=0.3", "pcm_s32le",
             kPcm);
        made("ffmpeg extensible f32le past full scale",
             "aevalsrc=exprs=3*random(0)-1.5|0.25*sin(2*PI*440*t):s=48000:d=0.3", "pcm_f32le", kFloat);
        const double step = 1.0 / 32768;
        const QList<double> edges = {0.5 * step,  1.5 * step,     2.5 * step,     -0.5 * step,     -1.5 * step,
                                     -2.5 * step, 32766.5 * step, 32767.5 * step, -32767.5 * step, -32768.5 * step,
                                     1.0,         -1.0,           1.7,            -1.7,            0.0};
        built("half steps and clipping, 32-bit float", fmtChunk(kFloat, 1, 8000, 32), floats<float>(edges));
        built("half steps and clipping, 64-bit float", fmtChunk(kFloat, 1, 8000, 64), floats<double>(edges));
        const QByteArray ints = s24({0, 1, -1, 255, 256, -256, -257, 0x7fffff, -0x800000, 0x12345});
        built("24-bit negatives truncate downwards", fmtChunk(kPcm, 1, 8000, 24), ints);
        // 20-bit samples left-aligned in three bytes (block align 3).
        built("20 bits in 24", fmtChunk(kPcm, 1, 8000, 20).replace(20, 2, le16(3)), ints);
    }

    void matchesFfmpeg()
    {
        QFETCH(QString, source);
        QFETCH(QString, codec);
        QFETCH(QByteArray, built);
        QFETCH(quint16, formatTag);
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_') + ".wav");
        QVERIFY(codec.isEmpty() ? writeFile(path, built) : ffmpegGenerate(source, {"-c:a", codec}, path));
        QByteArray bytes = readFile(path);
        QCOMPARE(bytes.mid(20, 2), le16(codec.isEmpty() ? formatTag : kExtensible));
        const QByteArray reference = ffmpegS16(path);
        QVERIFY(!reference.isEmpty());
        const WavReadResult result = readWav(std::move(bytes));
        QCOMPARE(result.status, Status::Ok);
        QCOMPARE(result.formatTag, formatTag);
        QCOMPARE(result.channels, codec.isEmpty() ? 1 : 2);
        QVERIFY(result.samples == reference);
        QCOMPARE(result.notes.size(), 1); // the conversion to 16 bits is noted
    }

    void sections_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("sections");
        const QByteArray pcm = fmtChunk(1, 2, 44100, 16);
        const QString pcmSection = audioSection("PCM", 2, 44100, 16, "0.000");
        const QString bextOnly = bextSection("Interview", "2021-03-04", "10:15:30");
        const auto bwf = [](const QByteArray &description, const QByteArray &date, const QByteArray &time) {
            return riff(chunk("bext", bextData(description, date, time)));
        };
        const auto coded = [](quint16 tag, quint16 align, quint32 byteRate) {
            return chunk("fmt ", le16(tag) + le16(1) + le32(8000) + le32(byteRate) + le16(align) + le16(4));
        };
        QTest::newRow("canonical") << riff(pcm + pcmData(176400)) << audioSection("PCM", 2, 44100, 16, "1.000");
        QTest::newRow("extensible PCM") << riff(extensibleFmt(1, 2, 48000, 24) + pcmData(3 * 2 * 4800))
                                        << audioSection("Extensible (PCM)", 2, 48000, 24, "0.100");
        QTest::newRow("IMA ADPCM counts the fact chunk's frames")
            << riff(coded(0x11, 256, 4055) + chunk("fact", le32(12000)) + pcmData(6144))
            << audioSection("IMA ADPCM", 1, 8000, 4, "1.500");
        QTest::newRow("MS ADPCM without fact uses the byte rate")
            << riff(coded(2, 256, 4096) + pcmData(2048)) << audioSection("MS ADPCM", 1, 8000, 4, "0.500");
        QTest::newRow("data size 0 counts to the end, and nothing after it is a chunk")
            << riff(pcm + "data" + le32(0) + QByteArray(176400, '\0') + bext("10:15:30"))
            << audioSection("PCM", 2, 44100, 16, "1.003");
        QTest::newRow("data cut short counts what is there")
            << riff(coded(1, 1, 8000) + "data" + le32(80000) + QByteArray(4000, '\0'))
            << audioSection("PCM", 1, 8000, 4, "0.500");
        QTest::newRow("one track: the fmt the samples play by, not every fmt chunk")
            << riff(pcm + coded(1, 1, 8000) + fmtChunk(1, 1, 8000, 8) + pcmData(8000) + pcm)
            << audioSection("PCM", 1, 8000, 8, "1.000");
        QTest::newRow("odd chunk then pad byte") << riff(chunk("junk", "12345") + pcm + pcmData(4)) << pcmSection;
        QTest::newRow("LIST and data are not reported")
            << riff(pcm + chunk("LIST", "INFO" + chunk("INAM", "Title")) + pcmData(4)) << pcmSection;
        QTest::newRow("bext before fmt") << riff(bext("10:15:30") + pcm + pcmData(4)) << bextOnly + pcmSection;
        QTest::newRow("bext of 346 bytes read")
            << riff(chunk("bext", bextData("Interview", "2021-03-04", "10:15:30", 346))) << bextOnly;
        QTest::newRow("bext description ends in NULs and spaces")
            << bwf("  Interview 7 \t  ", "", "") << bextSection("Interview 7");
        QTest::newRow("256-byte description without NUL") << bwf(QByteArray(256, 'd'), "", "")
                                                          << bextSection(QString(256, QLatin1Char('d')));
        // As ffmpeg writes it: "fmt ", then "bext", then LIST/INFO and the data.
        const QString path = dir.filePath(QStringLiteral("interview.wav"));
        QVERIFY(ffmpegGenerate("sine=frequency=440:sample_rate=44100:duration=0.5",
                               QStringLiteral("-ac 2 -write_bext 1 -metadata origination_date=2021-03-04 -metadata "
                                              "origination_time=10:15:30 -c:a pcm_s16le -metadata")
                                       .split(' ')
                                   << "description=  Interview room 2  ",
                               path));
        QTest::newRow("as ffmpeg writes it") << readFile(path) << audioSection("PCM", 2, 44100, 16, "0.500")
                + bextSection("Interview room 2", "2021-03-04", "10:15:30");
    }

    void sections()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, sections);
        const ScanResult result = scanWavMetadata(file, QStringLiteral("x.wav"));
        QVERIFY(result.hasReport);
        const QString general = QStringLiteral("=== General ===\nFilename: x.wav\nSize: %1 bytes\nContainer: Wave\n\n");
        QCOMPARE(result.report, general.arg(file.size()) + sections);
    }

    void startTime_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<StartTime>("start");
        QTest::addColumn<qlonglong>("after"); // start time held after the scan, when 5000 was held before
        const QByteArray pcm = fmtChunk(1, 2, 44100, 16) + pcmData(4);
        QTest::newRow("midnight") << riff(pcm + bext("00:00:00")) << StartTime::Set << 0LL;
        QTest::newRow("hour 24 keeps the previous time") << riff(bext("24:00:00")) << StartTime::Keep << 5000LL;
        QTest::newRow("time cut by a NUL keeps the previous time")
            << riff(bext(QByteArray("10:15\0\0\0", 8))) << StartTime::Keep << 5000LL;
        QTest::newRow("empty time clears") << riff(bext("")) << StartTime::Clear << 0LL;
        QTest::newRow("no bext clears") << riff(pcm) << StartTime::Clear << 0LL;
        QTest::newRow("ignored short bext clears")
            << riff(chunk("bext", bextData("", "", "10:15:30", 340))) << StartTime::Clear << 0LL;
        QTest::newRow("file ends before the time clears")
            << riff(bext("10:15:30")).left(20 + 330) << StartTime::Clear << 0LL;
        QTest::newRow("later bext replaces the time")
            << riff(bext("10:15:30") + bext("08:00:00")) << StartTime::Set << 28800000LL;
        QTest::newRow("later unparsable time keeps the previous time")
            << riff(bext("10:15:30") + bext("xx")) << StartTime::Keep << 5000LL;
    }

    void startTime()
    {
        QFETCH(QByteArray, file);
        const ScanResult result = scanWavMetadata(file, QStringLiteral("t.wav"));
        QTEST(result.start, "start");
        QTEST(result.startTimeAfter(5000), "after");
    }

    void markersFromCues_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<Marker>>("markers");
        const QByteArray two = cues({{1, 48000}, {2, 96000}});
        QTest::newRow("labels, notes and a region")
            << wav(48000, two + adtl(text("labl", 1, "Intro") + text("note", 1, "door") + ltxt(1, 24000)
                                     + text("labl", 2, "Q&A")))
            << QList<Marker>{{1000, 1500, "Intro", "door", -1}, {2000, 2000, "Q&A", "", -1}};
        QTest::newRow("cue without a label, texts before the samples")
            << riff(fmtChunk(1, 2, 48000, 16) + two + adtl(text("labl", 2, "Second"))
                              + chunk("data", QByteArray(64, '\0')))
            << QList<Marker>{{1000, 1000, "", "", -1}, {2000, 2000, "Second", "", -1}};
        QTest::newRow("time order, odd-sized entries padded")
            << wav(1000, cues({{7, 5000}, {3, 1000}}) + adtl(text("labl", 7, "Ab") + text("note", 7, "Zo\xC3\xAB")))
            << QList<Marker>{{1000, 1000, "", "", -1}, {5000, 5000, "Ab", QStringLiteral("Zoë"), -1}};
        QTest::newRow("44.1 kHz truncates to whole ms")
            << wav(44100, cues({{1, 44099}}) + adtl(ltxt(1, 4294967295u)))
            << QList<Marker>{{999, 97392548, "", "", -1}};
        QTest::newRow("chunks cut short by the end of the file")
            << wav(1000, adtl(text("labl", 2, "Interview")) + cues({{1, 1000}, {2, 2000}, {3, 3000}})).chopped(10)
            << QList<Marker>{{1000, 1000, "", "", -1}, {2000, 2000, "Interview", "", -1}};
        QTest::newRow("no sample rate") << wav(0, cues({{1, 1000}})) << QList<Marker>{};
    }

    void markersFromCues()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<Marker>, markers);
        QCOMPARE(readCueMarkers(file), markers);
    }

    void refusesWhatDoesNotFit_data()
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

    void refusesWhatDoesNotFit()
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

    void savedFile_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("rate");
        QTest::addColumn<QByteArray>("rateFields"); // rate, bytes per second, bytes per frame
        QTest::addColumn<qsizetype>("bytes");
        QTest::addColumn<CaseDetails>("details");
        const QByteArray stereo = le32(44100) + le32(176400) + le16(4);
        const QByteArray mono = le32(8000) + le32(16000) + le16(2);
        // A reference whose text and zero need a pad byte; a name longer in UTF-8 than in letters.
        const CaseDetails details{"REF-2024/7", "Leeds", "Kite", "", "Zoë Hart", ""};
        QTest::newRow("stereo at 44 100 Hz with case details") << 2 << 44100 << stereo << qsizetype(88200) << details;
        QTest::newRow("mono at 8 000 Hz, case fields empty") << 1 << 8000 << mono << qsizetype(8000) << CaseDetails();
        QTest::newRow("odd byte count, padded before the list") << 1 << 8000 << mono << qsizetype(801) << details;
    }

    void savedFile()
    {
        QFETCH(int, channels);
        QFETCH(int, rate);
        QFETCH(QByteArray, rateFields);
        QFETCH(qsizetype, bytes);
        QFETCH(CaseDetails, details);
        QTemporaryDir dir;
        const QString path = dir.filePath("out.wav");
        const QByteArray store = distinctBytes(bytes);
        const WavSaveResult result = saveWav(path, store, rate, channels, caseDetailsTags(details));
        QVERIFY2(result.ok, qPrintable(result.error));
        const QByteArray file = readFile(path);
        QCOMPARE(file.left(44), "RIFF" + le32(quint32(file.size() - 8)) + "WAVEfmt " + le32(16) + le16(1)
                                    + le16(channels) + rateFields + le16(16) + "data" + le32(quint32(bytes)));
        QCOMPARE(file.mid(44, bytes), store);
        const QByteArray list = file.mid(44 + bytes + bytes % 2);
        QCOMPARE(list.left(12), "LIST" + le32(quint32(list.size() - 8)) + "INFO");
        const QString format = QString::fromUtf8(run("ffprobe", {"-v", "error", "-show_format", path}));
        QVERIFY2(format.contains("TAG:encoder=Orlenta LE"), qPrintable(format));
        // A field left empty writes no tag, so its line must be missing.
        for (const QString &tag : {"TAG:title=" + details.reference, "TAG:IENG=" + details.transcriber,
                                   "TAG:comment=" + packCaseComment(details) + '\n'})
            QCOMPARE(format.contains(tag), !tag.endsWith('=') && !tag.endsWith("=\n"));
    }

    void failureKeepsExistingFile_data()
    {
        QTest::addColumn<qsizetype>("bytes");
        QTest::newRow("nothing to save: refused before the file is touched") << qsizetype(0);
        QTest::newRow("file size limit reached at the still-buffered tags") << qsizetype(1024 * 1024);
    }

    void failureKeepsExistingFile()
    {
        QFETCH(qsizetype, bytes);
        QTemporaryDir dir;
        const QString existing = dir.filePath("out.wav");
        const QByteArray old("the only good copy");
        const QByteArray store = distinctBytes(bytes);
        QVERIFY(writeFile(existing, old));
        std::optional<FileSizeLimit> limit;
        if (bytes)
            limit.emplace(rlim_t(44 + bytes));
        const WavSaveResult result = saveWav(existing, store, 44100, 2, {{"Title", "T"}});
        limit.reset();
        QVERIFY(!result.ok);
        QVERIFY(!result.error.isEmpty());
        QCOMPARE(readFile(existing), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.wav"});
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(TestWavFiles)
#include "tst_wavfiles.moc"
