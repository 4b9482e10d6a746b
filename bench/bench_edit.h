#pragma once

#include <QStringList>

// orlenta-bench edit FILE [--region-s S] [--edits N]: silences N regions of
// S seconds (default 11 of 60) spread over a WAV recording, then takes ten
// undos and ten redos, printing "edit_ms=… undo_ms=… redo_ms=…
// peak_rss_mb=…" (medians) with the store's and the history's sizes.
// Returns the process exit code.
int benchEdit(const QStringList &args);
