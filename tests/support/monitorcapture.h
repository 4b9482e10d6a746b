#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>

// What a PulseAudio output really plays, captured from its monitor with
// parec: 16-bit stereo 44.1 kHz, as it arrives.
class MonitorCapture : public QObject
{
    Q_OBJECT

public:
    static constexpr int kRate = 44100;

    explicit MonitorCapture(QObject *parent = nullptr);
    ~MonitorCapture() override;

    bool start(const QString &monitor = QStringLiteral("@DEFAULT_MONITOR@"));
    qint64 frames() const { return captured.size() / 4; }
    const QByteArray &bytes() const { return captured; }
    qint16 sample(qint64 frame, int channel) const;

    // First frame at or after `from` whose left or right sample reaches
    // `threshold` in magnitude, or -1.
    qint64 firstLoud(qint64 from, int threshold) const;
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
