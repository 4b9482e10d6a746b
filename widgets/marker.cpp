#include "widgets/marker.h"

void registerMarkerMetaTypes()
{
    qRegisterMetaType<Marker>();
    qRegisterMetaType<QList<Marker>>();
}

QString channelText(int channel)
{
    switch (channel) {
    case 0:
        return QStringLiteral("L");
    case 1:
        return QStringLiteral("R");
    default:
        return QStringLiteral("Stereo");
    }
}

int channelFromText(const QString &text)
{
    if (text == QLatin1String("L"))
        return 0;
    if (text == QLatin1String("R"))
        return 1;
    return -1;
}
