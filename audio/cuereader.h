#pragma once

#include <QByteArrayView>
#include <QList>

#include "widgets/marker.h"

// The markers a recorder or editor left in a WAV file: one per point of the
// "cue " chunk, starting at the point's sample offset, ending after the
// sample length of its "ltxt" entry when there is one (else at the start),
// labelled by its "labl" entry and annotated by its "note" entry from
// LIST/adtl chunks. Channel is -1: cues mark both channels.
//
// Times come from the sample rate of the "fmt " chunk (the last readable one
// before "data"), truncated to whole ms. Markers are in time order, ties in
// file order. Texts are UTF-8, or Latin-1 when they are not valid UTF-8.
// Chunks cut short by the end of the file give what lies inside it; a file
// without cue points, or without a usable rate, gives none.
QList<Marker> readCueMarkers(QByteArrayView wav);
