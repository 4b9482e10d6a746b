#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>

// A null sink of the test's own on the PulseAudio server, unloaded again when
// it goes, so other sound on the machine never reaches what a test captures.
class NullSink
{
public:
    explicit NullSink(const QString &name);
    ~NullSink() { unload(); }
    NullSink(const NullSink &) = delete;
    NullSink &operator=(const NullSink &) = delete;

    bool isLoaded() const { return !module.isEmpty(); }
    QString name() const { return sinkName; }
    QString monitor() const { return sinkName + QStringLiteral(".monitor"); }
    // Unplugs the output: true when the server let it go.
    bool unload();

private:
    QString sinkName;
    QString module;
};

// What a PulseAudio output really plays, captured from its monitor with
// parec: 16-bit stereo 44.1 kHz, as it arrives.
class MonitorCapture : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRate = 44100;

    explicit MonitorCapture(QObject *parent = nullptr);
    ~MonitorCapture() override;

    bool start(const QString &monitor);
    qint64 frames() const { return captured.size() / 4; }
    qint16 sample(qint64 frame, int channel) const;

    // First frame at or after `from` whose left or right sample reaches
    // `threshold` in magnitude, or -1; lastLoud is the last such frame.
    qint64 firstLoud(qint64 from, int threshold) const;
    qint64 lastLoud(qint64 from, int threshold) const;
    // Root mean square of one channel over [from, from + count).
    double rms(qint64 from, qint64 count, int channel) const;
    // Frequency of one channel over [from, from + count) by zero crossings.
    double frequency(qint64 from, qint64 count, int channel) const;

signals:
    void arrived(qint64 framesSoFar);

private:
    QProcess recorder;
    QByteArray captured;
};
