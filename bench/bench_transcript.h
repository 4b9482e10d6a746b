#pragma once

#include <QStringList>

// orlenta-bench transcript [--rows N]: times CSV export and import, filling
// the grid and printing the PDF report for N rows (default 5000). Needs a
// QApplication.
int benchTranscript(const QStringList &args);
