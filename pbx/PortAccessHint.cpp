#include "PortAccessHint.h"

#include <QCoreApplication>
#include <QFile>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace pbx {

QString serialDevicePath(const QString &portName) {
#ifdef Q_OS_UNIX
    if (portName.startsWith(QLatin1Char('/')) || portName.startsWith(QLatin1String("./")) ||
        portName.startsWith(QLatin1String("../")))
        return portName;
    return QLatin1String("/dev/") + portName;
#else
    return portName;
#endif
}

QString permissionHint(const QString &devicePath) {
#ifdef Q_OS_UNIX
    QString group;
    struct stat info {};
    if (::stat(QFile::encodeName(devicePath).constData(), &info) == 0) {
        // getgrgid's record is static; the name is copied out at once, on this one thread.
        if (const struct group *entry = ::getgrgid(info.st_gid))
            group = QString::fromLocal8Bit(entry->gr_name);
    }
    if (!group.isEmpty() && group != QLatin1String("root")) {
        return QCoreApplication::translate("pbx::PbxSender",
                                           "Permission denied: add your user to the '%1' group "
                                           "(sudo usermod -aG %1 $USER) and log in again")
            .arg(group);
    }
    return QCoreApplication::translate("pbx::PbxSender",
                                       "Permission denied: your user may not write to %1")
        .arg(devicePath);
#else
    Q_UNUSED(devicePath);
    return QString();
#endif
}

} // namespace pbx
