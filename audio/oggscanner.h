#pragma once

#include "audio/scanresult.h"

#include <QByteArrayView>
#include <QString>

// Format report of an Ogg file holding Vorbis or Opus: the first stream's
// identification header and its comments, whose date entry gives the start
// time. A comment header that continues over several pages is put back
// together before it is read. Always gives a report.
ScanResult scanOggMetadata(QByteArrayView data, const QString &fileName);
