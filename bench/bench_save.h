#pragma once

#include <QStringList>

// orlenta-bench save FILE: loads FILE through the engine, saves the store as
// a WAV file and copies FILE with the system's cp into the same folder,
// printing the medians of five alternating runs as
// "save_ms=… cp_ms=… ratio=…". Returns the process exit code.
int benchSave(const QStringList &args);
