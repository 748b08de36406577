// One entry of the device list dialog: which found device it stands for and what the row shows.
#ifndef KVGAPI_TDEVICEOBJECT_H
#define KVGAPI_TDEVICEOBJECT_H

#include <QString>
#include <cstdint>

namespace kvgapi {

class TDeviceObject {
public:
    // `index` is the device's record index in the search wrapper's list, which differs from the
    // entry's position in the dialog when devices of other types were left out.
    TDeviceObject(int32_t index, QString ip, int32_t port, QString typeName);

    int32_t Index() const { return m_index; }
    const QString &Ip() const { return m_ip; }
    int32_t Port() const { return m_port; }
    const QString &TypeName() const { return m_typeName; }

    // "ip:port", the first column of the row (for example 192.168.1.42:23).
    QString Address() const;

private:
    int32_t m_index = -1;
    QString m_ip;
    int32_t m_port = 0;
    QString m_typeName;
};

} // namespace kvgapi

#endif
