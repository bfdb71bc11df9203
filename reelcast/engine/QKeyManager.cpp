#include "QKeyManager.h"

#include "PlatformHotKeys.h"
#include "QDeviceManager.h"
#include "QEventManager.h"
#include "QHotKey.h"
#include "QVideoSettings.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

QMap<QString, int> buildKeyNames()
{
    QMap<QString, int> names;
    names.insert(QStringLiteral("Ctrl"), Qt::Key_Control);
    names.insert(QStringLiteral("Alt"), Qt::Key_Alt);
    names.insert(QStringLiteral("Shift"), Qt::Key_Shift);
    for (int i = 0; i < 12; ++i)
        names.insert(QStringLiteral("F%1").arg(i + 1), Qt::Key_F1 + i);
    for (char c = '1'; c <= '9'; ++c)
        names.insert(QString(QLatin1Char(c)), c);
    for (char c = 'A'; c <= 'Z'; ++c)
        names.insert(QString(QLatin1Char(c)), c);
    return names;
}

// Built before main, as the stored hot keys are read while the main window is constructed.
const bool keyNamesBuilt = !QKeyManager::keyNames().isEmpty();

const char* const kScreenCaptureSource = "screen-capture-recorder";

// How often a combination another program holds is asked for again.
constexpr int kRetryMs = 3000;

} // namespace

QKeyManager* QKeyManager::instance()
{
    // Lives until the process ends; the native event filter list of the application keeps it.
    static QKeyManager* manager = new QKeyManager;
    return manager;
}

QKeyManager::QKeyManager()
{
    Q_UNUSED(keyNamesBuilt);
    QEventManager::instance()->registerObject(KeyManager, this);
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installNativeEventFilter(this);
    m_cameraCount = cameraCount();
    m_watcher.reset(new platform::VideoDeviceWatcher([this] { onDeviceChange(); }));
    m_retryTimer = new QTimer(this);
    m_retryTimer->setInterval(kRetryMs);
    connect(m_retryTimer, &QTimer::timeout, this, &QKeyManager::retryHeld);
}

QKeyManager::~QKeyManager() = default;

const QMap<QString, int>& QKeyManager::keyNames()
{
    static const QMap<QString, int> names = buildKeyNames();
    return names;
}

int QKeyManager::keyCode(const QString& name)
{
    return keyNames().value(name, 0);
}

int QKeyManager::nativeCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Alt:
        return 1;
    case Qt::Key_Control:
        return 2;
    case Qt::Key_Shift:
        return 4;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_Print:
        return 42;
    case Qt::Key_Clear:
        return 12;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_Asterisk:
        return 106;
    case Qt::Key_Plus:
        return 107;
    case Qt::Key_Comma:
        return 108;
    case Qt::Key_Minus:
        return 109;
    case Qt::Key_Slash:
        return 111;
    default:
        break;
    }
    if (qtKey == Qt::Key_Space || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) ||
        (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return qtKey;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    return 0;
}

bool QKeyManager::setHotKey(int firstKey, int secondKey, int kind)
{
    const char* slot = nullptr;
    if (kind == 0)
        slot = SLOT(onKeyStart());
    else if (kind == 1)
        slot = SLOT(onKeyStop());
    else
        return true;
    const int modifier = nativeCode(firstKey);
    const int virtualKey = nativeCode(secondKey);
    const int id = QHotKey::identifierOf(modifier, virtualKey);
    // The entry it replaces goes first: unregistering it after the new registration would take
    // the identifier away from the new key as well.
    m_hotKeys.remove(id);
    m_hotKeys.insert(id, std::make_shared<QHotKey>(modifier, virtualKey, this, slot));
    m_kinds.insert(kind, id);
    updateRetry();
    return true;
}

bool QKeyManager::removeHotKey(int kind)
{
    const auto it = m_kinds.find(kind);
    if (it != m_kinds.end()) {
        m_hotKeys.remove(it.value());
        m_kinds.erase(it);
    }
    return true;
}

bool QKeyManager::isHotKeyUsed(int firstKey, int secondKey)
{
    return m_hotKeys.contains(QHotKey::identifierOf(nativeCode(firstKey), nativeCode(secondKey)));
}

void QKeyManager::clearHotKeys()
{
    m_hotKeys.clear();
    m_kinds.clear();
    updateRetry();
}

bool QKeyManager::isValidCombination(const QString& first, const QString& second)
{
    const QStringList modifiers{QStringLiteral("Ctrl"), QStringLiteral("Alt"), QStringLiteral("Shift")};
    return modifiers.contains(first) && keyNames().contains(second) && !modifiers.contains(second);
}

void QKeyManager::registerStored()
{
    QString startFirst = QVideoSettings::getKeyStartFirst();
    QString startSecond = QVideoSettings::getKeyStartSecond();
    QString stopFirst = QVideoSettings::getKeyStopFirst();
    QString stopSecond = QVideoSettings::getKeyStopSecond();
    if (!isValidCombination(startFirst, startSecond)) {
        startFirst = QStringLiteral("Alt");
        startSecond = QStringLiteral("F6");
        QVideoSettings::setKeyStartFirst(startFirst);
        QVideoSettings::setKeyStartSecond(startSecond);
    }
    // Stop under the start key's identifier would take that key away from start.
    const auto id = [](const QString& first, const QString& second) {
        return QHotKey::identifierOf(nativeCode(keyCode(first)), nativeCode(keyCode(second)));
    };
    if (!isValidCombination(stopFirst, stopSecond) ||
        id(stopFirst, stopSecond) == id(startFirst, startSecond)) {
        stopFirst = QStringLiteral("Alt");
        stopSecond = startSecond == QLatin1String("F7") ? QStringLiteral("F8") : QStringLiteral("F7");
        QVideoSettings::setKeyStopFirst(stopFirst);
        QVideoSettings::setKeyStopSecond(stopSecond);
    }
    clearHotKeys();
    setHotKey(keyCode(startFirst), keyCode(startSecond), 0);
    setHotKey(keyCode(stopFirst), keyCode(stopSecond), 1);
}

bool QKeyManager::isHeldElsewhere(int kind) const
{
    const auto it = m_kinds.constFind(kind);
    if (it == m_kinds.constEnd())
        return false;
    const std::shared_ptr<QHotKey> key = m_hotKeys.value(it.value());
    return key && key->isHeldElsewhere();
}

bool QKeyManager::retryHeld()
{
    for (const std::shared_ptr<QHotKey>& key : qAsConst(m_hotKeys)) {
        if (key->isHeldElsewhere())
            key->registerAgain();
    }
    updateRetry();
    return !m_retryTimer->isActive();
}

void QKeyManager::updateRetry()
{
    bool held = false;
    for (const std::shared_ptr<QHotKey>& key : qAsConst(m_hotKeys))
        held = held || key->isHeldElsewhere();
    if (held && !m_retryTimer->isActive())
        m_retryTimer->start();
    else if (!held)
        m_retryTimer->stop();
}

bool QKeyManager::nativeEventFilter(const QByteArray& eventType, void* message, long* result)
{
    Q_UNUSED(result);
    const platform::NativeEvent event = platform::decodeNativeEvent(eventType.constData(), message);
    switch (event.kind) {
    case platform::NativeEvent::HotKey: {
        const auto it = m_hotKeys.constFind(event.hotKeyId);
        if (it == m_hotKeys.constEnd())
            return false;
        // A copy: the receiver may replace or remove this very key.
        const std::shared_ptr<QHotKey> key = it.value();
        emit key->activate();
        return true;
    }
    case platform::NativeEvent::DeviceChange:
        onDeviceChange();
        return false;
    case platform::NativeEvent::Other:
        break;
    }
    return false;
}

void QKeyManager::onKeyStart()
{
    emit key_start();
}

void QKeyManager::onKeyStop()
{
    emit key_stop();
}

int QKeyManager::cameraCount()
{
    QStringList names = QDeviceManager::videoInputNames();
    names.removeOne(QString::fromLatin1(kScreenCaptureSource));
    return names.size();
}

void QKeyManager::onDeviceChange()
{
    const int count = cameraCount();
    if (count == m_cameraCount)
        return;
    m_cameraCount = count;
    emit devices_changed();
}
