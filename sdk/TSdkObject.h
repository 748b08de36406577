// The base of the wrapper objects: it remembers the owner, the main window object.
#ifndef KVGAPI_TSDKOBJECT_H
#define KVGAPI_TSDKOBJECT_H

class QObject;

namespace kvgapi {

class TSdkObject {
public:
    explicit TSdkObject(QObject *owner) : m_owner(owner) {}
    virtual ~TSdkObject() = default;
    TSdkObject(const TSdkObject &) = delete;
    TSdkObject &operator=(const TSdkObject &) = delete;

    QObject *Owner() const { return m_owner; }

private:
    QObject *m_owner = nullptr;
};

} // namespace kvgapi

#endif
