#pragma once

#include <QString>
#include <QStringList>

// The value after `name` in args, or fallback.
QString option(const QStringList &args, const QString &name, const QString &fallback);

// Peak resident memory of this process so far, in MB; -1 when unknown.
qint64 peakRssMb();
