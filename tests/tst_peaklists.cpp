#include "audio/peaklists.h"

#include <QtTest>

#include <cmath>
#include <functional>

namespace {

constexpr int kRate = 44100;

QByteArray samples(const QList<int> &values)
{
    QByteArray store;
    for (int v : values) {
        store.append(char(v & 0xff));
        store.append(char((v >> 8) & 0xff));
    }
    return store;
}

// count frames of `channels` samples, sample value = frame index plus 1000
// times the channel number, so the loudest of a block is its last frame.
QByteArray frames(int count, int channels, int extraBytes = 0)
{
    QList<int> values;
    for (int frame = 0; frame < count; ++frame) {
        for (int c = 0; c < channels; ++c)
            values << frame + 1000 * c;
    }
    return samples(values) + QByteArray(extraBytes, '\x7f');
}

// Stereo, both channels the same: seconds of signal(t) at kRate.
QByteArray stereo(double seconds, const std::function<double(double)> &signal)
{
    QList<int> values;
    for (int f = 0; f < int(seconds * kRate); ++f) {
        const int v = int(std::lround(32767.0 * signal(double(f) / kRate)));
        values << v << v;
    }
    return samples(values);
}

QList<double> scaled(const QList<int> &values)
{
    QList<double> out;
    for (int v : values)
        out << v / 32768.0;
    return out;
}

using Magnitude = std::function<double(int block)>;

} // namespace

Q_DECLARE_METATYPE(Magnitude)

class TestPeakLists : public QObject
{
    Q_OBJECT

private slots:
    void loudestOfEachBlock_data();
    void loudestOfEachBlock();
    void showsWhatIsHeard_data();
    void showsWhatIsHeard();
    void refreshesOnlyEditedBlocks_data();
    void refreshesOnlyEditedBlocks();
};

void TestPeakLists::loudestOfEachBlock_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QList<double>>("left");
    QTest::addColumn<QList<double>>("right");

    QTest::newRow("stereo 1000 frames: two blocks")
        << frames(1000, 2) << 2 << scaled({499, 999}) << scaled({1499, 1999});
    QTest::newRow("stereo 1001 frames: a last block of one frame")
        << frames(1001, 2) << 2 << scaled({499, 999, 1000}) << scaled({1499, 1999, 2000});
    QTest::newRow("mono has no right list") << frames(1001, 1) << 1 << scaled({499, 999, 1000}) << QList<double>();
    QTest::newRow("empty store") << QByteArray() << 2 << QList<double>() << QList<double>();
    QTest::newRow("a louder half frame at the end gives nothing")
        << frames(500, 2, 2) << 2 << scaled({499}) << scaled({1499});
    QTest::newRow("a louder stray byte at the end is ignored")
        << frames(501, 1, 1) << 1 << scaled({499, 500}) << QList<double>();
    QTest::newRow("three channels: only the first two listed")
        << frames(501, 3) << 3 << scaled({499, 500}) << scaled({1499, 1500});
    QTest::newRow("no channels gives nothing") << frames(10, 1) << 0 << QList<double>() << QList<double>();
    QTest::newRow("full scale both ways") << samples({-32768, 32767}) << 2 << QList<double>{-1.0}
                                          << QList<double>{0.999969482421875};
    QTest::newRow("negative peak louder than the positive") << samples({0, 900, -901, 5}) << 1 << scaled({-901})
                                                            << QList<double>();
    QTest::newRow("equal magnitudes: the first counts")
        << samples({10, 300, 20, -300, -300, 40}) << 2 << scaled({-300}) << scaled({300});
    QTest::newRow("silence") << samples(QList<int>(2000, 0)) << 2 << QList<double>(2, 0.0) << QList<double>(2, 0.0);
}

void TestPeakLists::loudestOfEachBlock()
{
    QFETCH(QByteArray, store);
    QFETCH(int, channels);
    const PeakLists lists = buildPeakLists(store, channels);
    QTEST(lists.left, "left");
    QTEST(lists.right, "right");
}

void TestPeakLists::showsWhatIsHeard_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<Magnitude>("magnitude"); // expected of each block, within 2 %

    // Three full-scale 4 ms bursts of 1 kHz in a second of silence, none
    // aligned with a block.
    const QList<double> bursts{0.1234, 0.5, 0.8771};
    const auto inBurst = [bursts](double t) {
        for (double start : bursts) {
            if (t >= start && t < start + 0.004)
                return true;
        }
        return false;
    };
    QTest::newRow("three short bursts") << stereo(1.0, [inBurst](double t) {
        return inBurst(t) ? (std::sin(2 * M_PI * 1000 * t) >= 0 ? 1.0 : -1.0) : 0.0;
    }) << Magnitude([inBurst](int block) {
        for (int f = block * kPeakSpacingFrames; f < (block + 1) * kPeakSpacingFrames; ++f) {
            if (inBurst(double(f) / kRate))
                return 1.0;
        }
        return 0.0;
    });
    QTest::newRow("steady 440 Hz tone")
        << stereo(2.0, [](double t) { return 0.5 * std::sin(2 * M_PI * 440 * t); })
        << Magnitude([](int) { return 0.5; });
    QTest::newRow("sweep from 50 Hz to 5 kHz") << stereo(3.0, [](double t) {
        return 0.5 * std::sin(2 * M_PI * (50 * t + (5000 - 50) / 6.0 * t * t));
    }) << Magnitude([](int) { return 0.5; });
}

// Every block shows the loudest of all its frames: a short burst anywhere in
// it, and the true level of a tone whatever its frequency.
void TestPeakLists::showsWhatIsHeard()
{
    QFETCH(QByteArray, store);
    QFETCH(Magnitude, magnitude);
    const PeakLists lists = buildPeakLists(store, 2);
    QCOMPARE(lists.left.size(), (store.size() / 4 + kPeakSpacingFrames - 1) / kPeakSpacingFrames);
    for (int n = 0; n < lists.left.size(); ++n) {
        const double expected = magnitude(n);
        QVERIFY2(std::abs(std::abs(lists.left.at(n)) - expected) <= 0.02 * qMax(expected, 0.001),
                 qPrintable(QStringLiteral("block %1: %2, expected %3").arg(n).arg(lists.left.at(n)).arg(expected)));
    }
    QCOMPARE(lists.right, lists.left);
}

void TestPeakLists::refreshesOnlyEditedBlocks_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QList<int>>("blocks"); // of the seven, those read again

    QTest::newRow("a region over several blocks") << 2 << qint64(4 * 700) << qint64(4 * 1800) << QList<int>{1, 2, 3, 4};
    QTest::newRow("the first frame of a block") << 2 << qint64(4 * 1000) << qint64(4) << QList<int>{2};
    QTest::newRow("the last frame of a block") << 2 << qint64(4 * 999) << qint64(4) << QList<int>{1};
    QTest::newRow("inside one block") << 2 << qint64(4 * 501) << qint64(4 * 400) << QList<int>{1};
    QTest::newRow("mono to the end") << 1 << qint64(2 * 1200) << qint64(2 * 10000) << QList<int>{2, 3, 4, 5, 6};
    QTest::newRow("the right sample alone") << 2 << qint64(4 * 1500 + 2) << qint64(2) << QList<int>{3};
}

// Blocks the edit did not reach keep what they held (here a mark no store
// gives); the others match a full rebuild.
void TestPeakLists::refreshesOnlyEditedBlocks()
{
    QFETCH(int, channels);
    QFETCH(qint64, offset);
    QFETCH(qint64, length);
    QFETCH(QList<int>, blocks);
    QByteArray store = frames(3001, channels);
    PeakLists lists = buildPeakLists(store, channels);
    lists.left.fill(7.0);
    lists.right.fill(7.0);
    const qint64 end = qMin<qint64>(offset + length, store.size());
    for (qint64 b = offset; b < end; ++b)
        store[b] = char(0x55);
    refreshPeakLists(lists, store, channels, offset, length);
    const PeakLists fresh = buildPeakLists(store, channels);
    QCOMPARE(lists.left.size(), 7);
    for (int n = 0; n < 7; ++n) {
        const bool edited = blocks.contains(n);
        QCOMPARE(lists.left.at(n), edited ? fresh.left.at(n) : 7.0);
        if (channels == 2)
            QCOMPARE(lists.right.at(n), edited ? fresh.right.at(n) : 7.0);
    }
}

QTEST_GUILESS_MAIN(TestPeakLists)
#include "tst_peaklists.moc"
