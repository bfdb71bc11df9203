#pragma once

#include <QAbstractNativeEventFilter>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

class QHotKey;
class QTimer;
namespace platform {
class VideoDeviceWatcher;
}

// The two global hot keys (kind 0 start/pause, kind 1 stop) and the notice that the number of
// cameras changed. One instance per process, registered as KeyManager; interface thread only.
class QKeyManager : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    static QKeyManager* instance();

    // The stored key names ("Ctrl", "Alt", "Shift", "F1".."F12", "1".."9", "A".."Z") and their
    // Qt key codes.
    static const QMap<QString, int>& keyNames();
    // The Qt key code of a stored key name; 0 for a name not in the table.
    static int keyCode(const QString& name);
    // The Windows code of a Qt key: modifier flags for Alt, Ctrl and Shift, the virtual-key code
    // otherwise; 0 for keys without one.
    static int nativeCode(int qtKey);

    // Registers the combination (Qt key codes) for kind 0 or 1; other kinds do nothing. True.
    bool setHotKey(int firstKey, int secondKey, int kind);
    // Unregisters the combination of the kind, if any. True.
    bool removeHotKey(int kind);
    // Whether one of this program's combinations has the identifier of this one.
    bool isHotKeyUsed(int firstKey, int secondKey);
    void clearHotKeys();

    // Registers the stored combinations of both kinds. A stored combination that is not a
    // modifier plus a key of the table (a bare key would take that key from every program) is
    // replaced by its default, in the store as well.
    void registerStored();
    // Whether "Ctrl", "Alt" or "Shift" plus a key of the table other than those.
    static bool isValidCombination(const QString& first, const QString& second);
    // Whether another program holds the combination of the kind, so that it never fires.
    bool isHeldElsewhere(int kind) const;
    // Asks the system again for the combinations another program held; true when this program
    // now has every one. Also done every few seconds while one is held elsewhere.
    bool retryHeld();

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

    // Who binds the keys: this program (X11, Windows), the desktop (a Wayland desktop's global
    // shortcuts), or nobody (a Wayland desktop that offers none).
    enum class Binding
    {
        Own,
        Desktop,
        Unavailable
    };
    Binding binding() const { return m_binding; }
    void setBinding(Binding binding) { m_binding = binding; }

    // The device watcher, so that tests can hand it a change notice.
    platform::VideoDeviceWatcher* deviceWatcher() const { return m_watcher.get(); }

signals:
    void key_start();
    void key_stop();
    void devices_changed();

public slots:
    void onKeyStart();
    void onKeyStop();

private:
    QKeyManager();
    ~QKeyManager() override;

    static int cameraCount();
    void onDeviceChange();

    void updateRetry();

    QMap<int, std::shared_ptr<QHotKey>> m_hotKeys; // identifier -> hot key
    QMap<int, int> m_kinds;                        // kind -> identifier
    int m_cameraCount = 0;
    std::unique_ptr<platform::VideoDeviceWatcher> m_watcher;
    QTimer* m_retryTimer = nullptr;
    Binding m_binding = Binding::Own;
};
