#include "QHotKey.h"

#include "PlatformHotKeys.h"

QHotKey::QHotKey(int modifier, int virtualKey, const QObject* receiver, const char* slot)
    : m_modifier(modifier), m_virtualKey(virtualKey), m_identifier(identifierOf(modifier, virtualKey)),
      m_registered(platform::registerHotKey(m_identifier, static_cast<unsigned>(modifier),
                                            static_cast<unsigned>(virtualKey)))
{
    if (receiver && slot)
        connect(this, SIGNAL(activate()), receiver, slot);
}

QHotKey::~QHotKey()
{
    // Only what this key obtained is given back; a refused one holds nothing.
    if (m_registered)
        platform::unregisterHotKey(m_identifier);
}

bool QHotKey::isHeldElsewhere() const
{
    return !m_registered && m_modifier != 0 && m_virtualKey != 0 && platform::hotKeysAvailable();
}

bool QHotKey::registerAgain()
{
    if (!m_registered && m_modifier != 0 && m_virtualKey != 0)
        m_registered = platform::registerHotKey(m_identifier, static_cast<unsigned>(m_modifier),
                                                static_cast<unsigned>(m_virtualKey));
    return m_registered;
}
