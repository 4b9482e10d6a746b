#include "bench/benchsupport.h"

#include <QFile>
#include <QRegularExpression>

QString option(const QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

qint64 peakRssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression hwm(QStringLiteral("^VmHWM:\\s+(\\d+) kB"), QRegularExpression::MultilineOption);
    const auto match = hwm.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() / 1024 : -1;
}
