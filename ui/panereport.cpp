#include "ui/panereport.h"

QString describeSizes(const QList<int> &sizes, const QStringList &names)
{
    // Summed in 64 bits: splitter sizes are ints and many large panes could
    // overflow an int sum.
    qint64 total = 0;
    for (int size : sizes)
        total += size;
    if (total == 0)
        total = 1;

    QStringList items;
    items.reserve(sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const double share = sizes.at(i) * 100.0 / static_cast<double>(total);
        const QString name = i < names.size() ? names.at(i) : QStringLiteral("Pane %1").arg(i + 1);
        items << QStringLiteral("%1: %2%").arg(name, QString::number(share, 'f', 1));
    }
    return items.join(QStringLiteral(" | "));
}
