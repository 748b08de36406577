// The workstation's own IPv4 addresses, which fill the downloader-PC list of the page.
#ifndef QUILLON_APP_LOCALADDRESSES_H
#define QUILLON_APP_LOCALADDRESSES_H

#include <QList>
#include <QString>
#include <QStringList>

// One network interface as the choice below sees it: its IPv4 addresses with their masks, in
// the interface's own order.
struct InterfaceAddresses {
    bool loopback = false;
    QStringList ips;
    QStringList masks;
};

// The first IPv4 address of every interface that is not a loopback, when that address and its
// mask are given and the address is not "0.0.0.0". Later addresses of an interface are not
// listed.
QStringList ChooseLocalAddresses(const QList<InterfaceAddresses> &interfaces);

// The interfaces of this workstation, from the platform's interface list.
QList<InterfaceAddresses> ListInterfaces();

#endif
