#pragma once

#include <QStringList>

// orlenta-bench journal [--rows N] [--edits E]: times the crash-recovery
// journal being encoded and written atomically for N rows (default 5000) and
// E edits (default 50), printing the median of nine writes as
// "journal_write_ms=…" with the file's size. Returns the process exit code.
int benchJournal(const QStringList &args);
