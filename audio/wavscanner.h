#pragma once

#include "audio/scanresult.h"

#include <QByteArrayView>
#include <QString>

// Format report of a RIFF/WAVE file: one section per "fmt " chunk and per
// Broadcast Wave "bext" chunk, in file order. The start time comes from the
// last "bext" chunk's origination time; a file without one clears it. Files
// under 12 bytes give no report at all.
ScanResult scanWavMetadata(QByteArrayView data, const QString &fileName);
