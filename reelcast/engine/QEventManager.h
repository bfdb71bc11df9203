#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>

// Identifiers under which objects register with the QEventManager.
enum RegistryId : unsigned
{
    ModeItem = 0,
    QualityItem = 1,
    FormatItem = 2,
    MediaManager = 3,
    KeyManager = 4
};

// Process-wide registry that lets a widget connect to an object it neither owns nor can reach.
// The first registration under an identifier wins. An entry whose object has been destroyed
// counts as free, so a dangling pointer is never connected. Used on the interface thread only.
class QEventManager : public QObject
{
    Q_OBJECT
public:
    static QEventManager* instance();

    // False, leaving the map unchanged, when `id` is taken already or `object` is null.
    bool registerObject(unsigned id, QObject* object);
    // Connects the registered object's `signal` (SIGNAL() form) to `receiver`'s `method`.
    // False only when nothing is registered under `id`; the outcome of connect is not looked at.
    bool connectSignal(unsigned id, const char* signal, const QObject* receiver, const char* method);
    // Connects `sender`'s `signal` to `method` of the registered object; false when `id` is free.
    bool connectSlot(const QObject* sender, const char* signal, unsigned id, const char* method);

    // The object registered under `id`, or nullptr.
    QObject* object(unsigned id) const;

private:
    QEventManager() = default;

    QMap<unsigned, QPointer<QObject>> m_objects;
};
