#include "TDeviceObject.h"

#include <utility>

namespace kvgapi {

TDeviceObject::TDeviceObject(int32_t index, QString ip, int32_t port, QString typeName)
    : m_index(index), m_ip(std::move(ip)), m_port(port), m_typeName(std::move(typeName)) {}

QString TDeviceObject::Address() const {
    return m_ip + QLatin1Char(':') + QString::number(m_port);
}

} // namespace kvgapi
