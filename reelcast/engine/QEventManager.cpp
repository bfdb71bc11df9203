#include "QEventManager.h"

#include <memory>

QEventManager* QEventManager::instance()
{
    static std::unique_ptr<QEventManager> owner(new QEventManager);
    return owner.get();
}

bool QEventManager::registerObject(unsigned id, QObject* object)
{
    if (!object || this->object(id))
        return false;
    m_objects.insert(id, object);
    return true;
}

bool QEventManager::connectSignal(unsigned id, const char* signal, const QObject* receiver,
                                  const char* method)
{
    QObject* registered = object(id);
    if (!registered)
        return false;
    QObject::connect(registered, signal, receiver, method);
    return true;
}

bool QEventManager::connectSlot(const QObject* sender, const char* signal, unsigned id, const char* method)
{
    QObject* registered = object(id);
    if (!registered)
        return false;
    QObject::connect(sender, signal, registered, method);
    return true;
}

QObject* QEventManager::object(unsigned id) const
{
    return m_objects.value(id).data();
}
