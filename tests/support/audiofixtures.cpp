#include "audiofixtures.h"

#include <QDebug>
#include <QFile>
#include <QProcess>

namespace fixtures {

QByteArray run(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        qWarning().noquote() << "failed:" << program << arguments.join(QLatin1Char(' '))
                             << QString::fromLocal8Bit(process.readAllStandardError()).right(2000);
        return QByteArray();
    }
    const QByteArray out = process.readAllStandardOutput();
    return out.isNull() ? QByteArray("") : out; // success with no output is not a failure
}

bool ffmpegGenerate(const QString &source, const QStringList &extra, const QString &path)
{
    QStringList arguments = {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                             QStringLiteral("-y"),       QStringLiteral("-f"), QStringLiteral("lavfi"),
                             QStringLiteral("-i"),       source};
    arguments << extra << path;
    return !run(QStringLiteral("ffmpeg"), arguments).isNull();
}

QByteArray ffmpegS16(const QString &path)
{
    return run(QStringLiteral("ffmpeg"), {QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                          QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("s16le"),
                                          QStringLiteral("-")});
}

QByteArray le16(quint16 value)
{
    const char bytes[] = {char(value & 0xff), char(value >> 8)};
    return QByteArray(bytes, 2);
}

QByteArray le32(quint32 value)
{
    return le16(quint16(value & 0xffff)) + le16(quint16(value >> 16));
}

QByteArray chunk(const QByteArray &id, const QByteArray &data)
{
    QByteArray out = id.left(4) + le32(quint32(data.size())) + data;
    if (data.size() % 2)
        out.append('\0');
    return out;
}

QByteArray s16(const QList<int> &values)
{
    QByteArray out;
    for (int value : values)
        out += le16(quint16(qint16(value)));
    return out;
}

QByteArray fmtChunk(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 blockAlign = quint16(channels * (bits / 8));
    return chunk("fmt ", le16(tag) + le16(channels) + le32(rate) + le32(rate * blockAlign) + le16(blockAlign)
                             + le16(bits));
}

QByteArray riff(const QByteArray &chunks)
{
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace fixtures
