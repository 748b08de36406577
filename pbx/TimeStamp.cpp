#include "TimeStamp.h"

namespace pbx {

QString timeStampPrefix(const QDateTime &when) {
    const QDate date = when.date();
    const QTime time = when.time();
    // Years before the common era are negative; the stamp shows the last two digits either way.
    const int year = ((date.year() % 100) + 100) % 100;
    return QString::asprintf("%02d/%02d/%02d   %02d:%02d:%02d   ", date.day(), date.month(), year,
                             qMax(time.hour(), 0), qMax(time.minute(), 0), qMax(time.second(), 0));
}

} // namespace pbx
