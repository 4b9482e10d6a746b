#pragma once

#include <QString>

// "HH:mm:ss.zzz" for a time in ms. Hours have at least two digits and grow
// as needed (100 hours read "100:00:00.000"). A negative time gets a leading
// minus sign in front of the text of its magnitude ("-00:00:01.500"), so a
// bad value stays visible instead of turning into a malformed field.
QString formatTime(qlonglong ms);
