#pragma once

#include <QString>

namespace pbx {

/*
 * The device file a serial port name stands for, the way QSerialPort resolves it on Unix: a name
 * that is a path ("/dev/ttyUSB0", "./tty") is used as given, a bare name ("ttyUSB0") is looked
 * for in /dev. On other systems the name is returned as given.
 */
QString serialDevicePath(const QString &portName);

/*
 * What a user can do when opening a serial device was refused for lack of permission. On Unix,
 * when the device belongs to a group other than root, the hint names that group, e.g.
 * "Permission denied: add your user to the 'dialout' group (sudo usermod -aG dialout $USER) and
 * log in again"; otherwise it says that the user lacks write access to the device. On other
 * systems it is empty.
 */
QString permissionHint(const QString &devicePath);

} // namespace pbx
