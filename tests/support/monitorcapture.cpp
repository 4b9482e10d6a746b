#include "monitorcapture.h"

#include "audiofixtures.h"

#include <QtEndian>

#include <cmath>
#include <cstdlib>

NullSink::NullSink(const QString &name)
    : sinkName(name)
{
    module = QString::fromLatin1(fixtures::run(QStringLiteral("pactl"), {QStringLiteral("load-module"),
                                                                         QStringLiteral("module-null-sink"),
                                                                         QStringLiteral("sink_name=") + name})
                                     .trimmed());
}

bool NullSink::unload()
{
    if (module.isEmpty())
        return false;
    const bool done = !fixtures::run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module}).isNull();
    module.clear();
    return done;
}

MonitorCapture::MonitorCapture(QObject *parent)
    : QObject(parent)
{
    connect(&recorder, &QProcess::readyReadStandardOutput, this, [this]() {
        captured += recorder.readAllStandardOutput();
        emit arrived(frames());
    });
}

MonitorCapture::~MonitorCapture()
{
    recorder.kill();
    recorder.waitForFinished();
}

bool MonitorCapture::start(const QString &monitor)
{
    recorder.start(QStringLiteral("parec"),
                   {QStringLiteral("-d"), monitor, QStringLiteral("--raw"),
                    QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"),
                    QStringLiteral("--latency-msec=5")});
    return recorder.waitForStarted();
}

qint16 MonitorCapture::sample(qint64 frame, int channel) const
{
    return qFromLittleEndian<qint16>(captured.constData() + frame * 4 + channel * 2);
}

qint64 MonitorCapture::firstLoud(qint64 from, int threshold) const
{
    for (qint64 f = qMax<qint64>(0, from); f < frames(); ++f) {
        if (std::abs(sample(f, 0)) >= threshold || std::abs(sample(f, 1)) >= threshold)
            return f;
    }
    return -1;
}

qint64 MonitorCapture::lastLoud(qint64 from, int threshold) const
{
    for (qint64 f = frames() - 1; f >= qMax<qint64>(0, from); --f) {
        if (std::abs(sample(f, 0)) >= threshold || std::abs(sample(f, 1)) >= threshold)
            return f;
    }
    return -1;
}

double MonitorCapture::rms(qint64 from, qint64 count, int channel) const
{
    const qint64 end = qMin(frames(), from + count);
    if (end <= from)
        return 0.0;
    double sum = 0.0;
    for (qint64 f = from; f < end; ++f)
        sum += double(sample(f, channel)) * sample(f, channel);
    return std::sqrt(sum / double(end - from));
}

double MonitorCapture::frequency(qint64 from, qint64 count, int channel) const
{
    const qint64 end = qMin(frames(), from + count);
    qint64 crossings = 0;
    for (qint64 f = from + 1; f < end; ++f) {
        if ((sample(f - 1, channel) < 0) != (sample(f, channel) < 0))
            ++crossings;
    }
    return end > from ? crossings / 2.0 * kRate / double(end - from) : 0.0;
}
