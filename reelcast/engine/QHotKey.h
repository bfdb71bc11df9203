#pragma once

#include <QObject>

// One system-wide key combination, registered for as long as the object lives. Its identifier is
// the modifier code XOR the virtual-key code, so two combinations can share one (Alt+A, Ctrl+B).
class QHotKey : public QObject
{
    Q_OBJECT
public:
    // Codes as QKeyManager::nativeCode gives them. The combination is registered at once; a
    // refused one never fires until registerAgain() obtains it.
    QHotKey(int modifier, int virtualKey, const QObject* receiver, const char* slot);
    ~QHotKey() override;

    int modifier() const { return m_modifier; }
    int virtualKey() const { return m_virtualKey; }
    int identifier() const { return m_identifier; }
    // Whether the system accepted the combination.
    bool isRegistered() const { return m_registered; }
    // Whether another program holds it: a valid combination the system refused although it
    // takes hot keys.
    bool isHeldElsewhere() const;
    // Asks the system again for a refused combination (the other program may have ended).
    bool registerAgain();

    static int identifierOf(int modifier, int virtualKey) { return modifier ^ virtualKey; }

signals:
    void activate();

private:
    int m_modifier;
    int m_virtualKey;
    int m_identifier;
    bool m_registered;
};
