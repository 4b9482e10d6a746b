#include "widgets/timetext.h"

QString formatTime(qlonglong ms)
{
    // Work on the magnitude in unsigned arithmetic: negating LLONG_MIN as a
    // signed value would overflow.
    const bool negative = ms < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(ms) : quint64(ms);

    const quint64 hours = magnitude / 3600000;
    const quint64 minutes = magnitude % 3600000 / 60000;
    const quint64 seconds = magnitude % 60000 / 1000;
    const quint64 millis = magnitude % 1000;

    const QLatin1Char zero('0');
    const QString text = QStringLiteral("%1:%2:%3.%4")
                             .arg(hours, 2, 10, zero)
                             .arg(minutes, 2, 10, zero)
                             .arg(seconds, 2, 10, zero)
                             .arg(millis, 3, 10, zero);
    return negative ? QLatin1Char('-') + text : text;
}
