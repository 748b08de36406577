#include "LocalAddresses.h"

#include <QHostAddress>
#include <QNetworkInterface>

QStringList ChooseLocalAddresses(const QList<InterfaceAddresses> &interfaces) {
    QStringList addresses;
    for (const InterfaceAddresses &entry : interfaces) {
        if (entry.loopback || entry.ips.isEmpty())
            continue;
        const QString &ip = entry.ips.first();
        const QString mask = entry.masks.isEmpty() ? QString() : entry.masks.first();
        if (!ip.isEmpty() && !mask.isEmpty() && ip != QLatin1String("0.0.0.0"))
            addresses.append(ip);
    }
    return addresses;
}

QList<InterfaceAddresses> ListInterfaces() {
    QList<InterfaceAddresses> interfaces;
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : all) {
        InterfaceAddresses entry;
        entry.loopback = networkInterface.flags().testFlag(QNetworkInterface::IsLoopBack);
        const QList<QNetworkAddressEntry> addressEntries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry &address : addressEntries) {
            if (address.ip().protocol() != QAbstractSocket::IPv4Protocol)
                continue;
            entry.ips.append(address.ip().toString());
            entry.masks.append(address.netmask().toString());
        }
        interfaces.append(entry);
    }
    return interfaces;
}
