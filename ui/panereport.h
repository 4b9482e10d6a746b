#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One line describing how a splitter shares its space, e.g.
// "Transcription Grid: 25.0% | Info Panel: 75.0%". Panes beyond the names
// are called "Pane N" (N counted from 1). All-zero sizes give 0.0% each.
QString describeSizes(const QList<int> &sizes, const QStringList &names);
