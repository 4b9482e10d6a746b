#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// "HH:mm:ss.zzz" for a time in ms. Hours have at least two digits and grow
// as needed (100 hours read "100:00:00.000"). A negative time gets a leading
// minus sign in front of the text of its magnitude ("-00:00:01.500"), so a
// bad value stays visible instead of turning into a malformed field.
QString formatTime(qlonglong ms);

// Reads formatTime's texts back over the whole qlonglong range, and the
// shorter forms other tools write: "h:mm:ss", "h:mm:ss.f", "h:mm:ss.ff",
// "m:ss.zzz". Anything else is no time.
std::optional<qlonglong> parseTimeText(QStringView text);

// What Go to Time reads: any text parseTimeText reads, "m:ss" or "mm:ss"
// (minutes and seconds, an optional fraction), or a number of seconds ("90",
// "90.5"). Negative times are no time here.
std::optional<qlonglong> parseGoToTime(QStringView text);
