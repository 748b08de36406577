#pragma once

#include <QDateTime>
#include <QString>

namespace pbx {

/*
 * The 22-character stamp put before every record that is sent: "dd/mm/yy   hh:nn:ss   " (day,
 * month and two-digit year with "/" between them whatever the locale, three blanks, the 24-hour
 * time with ":" between its parts, three blanks). The fields are taken as the QDateTime holds them
 * (the caller passes local time). An invalid QDateTime gives zeros in every field, so the stamp
 * always has its 22 characters.
 */
QString timeStampPrefix(const QDateTime &when);

} // namespace pbx
