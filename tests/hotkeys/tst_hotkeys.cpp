// Global hot keys on an X server: presses made with xdotool reach key_start()/key_stop() whatever
// the lock state, a combination another client holds never fires, a combination changed in the
// settings dialog moves, and a change of the camera count is announced once.
#include "HComboBox.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "HMessageBox.h"
#include "PlatformHotKeys.h"
#include "QDeviceManager.h"
#include "QEventManager.h"
#include "QKeyManager.h"
#include "QMainWidget.h"
#include "QSettingDialog.h"
#include "QSkin.h"
#include "QVideoSettings.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QX11Info>
#include <QtTest>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <memory>

namespace {

void press(const QString& keys)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}), 0);
}

// Presses `keys` and tells how often each signal fired meanwhile.
struct Fired
{
    int start;
    int stop;
};

Fired pressAndCount(const QString& keys)
{
    QKeyManager* keys_ = QKeyManager::instance();
    QSignalSpy start(keys_, &QKeyManager::key_start);
    QSignalSpy stop(keys_, &QKeyManager::key_stop);
    press(keys);
    // A press is delivered within a few milliseconds; 300 ms of quiet means nothing came.
    QTest::qWait(300);
    return {static_cast<int>(start.count()), static_cast<int>(stop.count())};
}

bool lockOn(const char* name)
{
    QProcess xset;
    xset.start(QStringLiteral("xset"), {QStringLiteral("q")});
    xset.waitForFinished();
    const QString out = QString::fromLatin1(xset.readAllStandardOutput());
    const int at = out.indexOf(QLatin1String(name));
    return at >= 0 && out.mid(at, 30).contains(QLatin1String("on"));
}

void setLock(const char* name, const char* key, bool on)
{
    if (lockOn(name) != on)
        press(QString::fromLatin1(key));
    QTRY_COMPARE(lockOn(name), on);
}

// A second X client: grabs Ctrl+F9 on the root window before the program asks for it.
class OtherClient
{
public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr))
    {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        root_ = xcb_setup_roots_iterator(setup).data->root;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, XK_F9);
        keycode_ = codes ? codes[0] : 0;
        free(codes);
        xcb_key_symbols_free(symbols);
    }
    ~OtherClient() { xcb_disconnect(connection_); }

    // Only the combination without locks: the program must not get the rest either.
    bool grab()
    {
        xcb_generic_error_t* error = xcb_request_check(
            connection_, xcb_grab_key_checked(connection_, 1, root_, XCB_MOD_MASK_CONTROL, keycode_,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        free(error);
        return keycode_ != 0 && !error;
    }
    int pressesSeen()
    {
        int n = 0;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            if ((event->response_type & ~0x80) == XCB_KEY_PRESS)
                ++n;
            free(event);
        }
        return n;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_keycode_t keycode_ = 0;
};

// Opens the box's list and clicks the entry with this text, as a user would.
void choose(HComboBox* box, const QString& text)
{
    QTest::mouseClick(box, Qt::LeftButton);
    HMenu* menu = box->menu();
    QTRY_VERIFY(menu->isVisible());
    HMenuItem* entry = nullptr;
    for (QWidget* item : menu->items()) {
        auto* candidate = qobject_cast<HMenuItem*>(item);
        if (candidate && candidate->text() == text)
            entry = candidate;
    }
    QVERIFY(entry);
    if (auto* area = menu->findChild<QScrollArea*>())
        area->ensureWidgetVisible(entry);
    QTest::mouseClick(entry, Qt::LeftButton);
    QTRY_VERIFY(!menu->isVisible());
}

// Reads and answers the next message box once it is up; polls, so that the box's own event
// loop can end after the answer. The watch ends with the answer or when the timer is deleted.
QTimer* answerMessage(QString* text, bool confirm = true)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, text, confirm] {
        auto* box = qobject_cast<HMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        timer->stop();
        *text = box->findChild<QLabel*>(QStringLiteral("labelMsg"))->text();
        confirm ? box->accept() : box->reject();
    });
    timer->start(20);
    return timer;
}

} // namespace

class TestHotKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        env_.reset(new TestEnvironment);
        QVERIFY2(QX11Info::isPlatformX11(), "needs an X display (scripts/with-desktop)");
        QSkin::init();
        // No camera here: the list is the test's own.
        QDeviceManager::Provider provider;
        provider.videoInputNames = [this] { return cameras_; };
        QDeviceManager::setProvider(provider);
        QKeyManager* keys = QKeyManager::instance();
        QCOMPARE(QEventManager::instance()->object(KeyManager), keys);
        keys->clearHotKeys();
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F6, 0);
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F7, 1);
    }

    // A failed case must not leave a lock on for the next.
    void cleanup()
    {
        setLock("Num Lock", "Num_Lock", false);
        setLock("Caps Lock", "Caps_Lock", false);
    }

    void cleanupTestCase()
    {
        QKeyManager::instance()->clearHotKeys();
        QDeviceManager::resetProvider();
    }

    // Names, codes and identifiers; identifiers may collide, and a collision is a conflict.
    void identifiersAndConflicts()
    {
        QCOMPARE(QKeyManager::keyNames().size(), 50);
        QCOMPARE(QKeyManager::keyCode(QStringLiteral("0")), 0);
        QCOMPARE(QKeyManager::keyCode(QStringLiteral("alt")), 0);
        const struct
        {
            const char* first;
            const char* second;
            int id;
        } combos[] = {{"Alt", "F6", 116}, {"Alt", "F7", 119},    {"Alt", "A", 64},
                      {"Ctrl", "B", 64},  {"Shift", "F12", 127}, {"Ctrl", "9", 59}};
        for (const auto& c : combos) {
            const int first = QKeyManager::nativeCode(QKeyManager::keyCode(QString::fromLatin1(c.first)));
            const int second = QKeyManager::nativeCode(QKeyManager::keyCode(QString::fromLatin1(c.second)));
            QCOMPARE(first ^ second, c.id);
        }

        QKeyManager* keys = QKeyManager::instance();
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Alt, Qt::Key_F6));
        QVERIFY(!keys->isHotKeyUsed(Qt::Key_Shift, Qt::Key_F6));
        // Ctrl+F6 is 2 ^ 117 = 119, the identifier of Alt+F7.
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Control, Qt::Key_F6));
        keys->setHotKey(Qt::Key_Alt, Qt::Key_A, 0);
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Control, Qt::Key_B));
        // Other kinds are ignored.
        QVERIFY(keys->setHotKey(Qt::Key_Alt, Qt::Key_F9, 2));
        QVERIFY(!keys->isHotKeyUsed(Qt::Key_Alt, Qt::Key_F9));
        keys->removeHotKey(0);
        QVERIFY(!keys->isHotKeyUsed(Qt::Key_Alt, Qt::Key_A));
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Alt, Qt::Key_F7));
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F6, 0);
    }

    void defaultKeysFire_data()
    {
        QTest::addColumn<bool>("numLock");
        QTest::addColumn<bool>("capsLock");
        QTest::newRow("no lock") << false << false;
        QTest::newRow("num lock") << true << false;
        QTest::newRow("caps lock") << false << true;
        QTest::newRow("both locks") << true << true;
    }
    void defaultKeysFire()
    {
        QFETCH(bool, numLock);
        QFETCH(bool, capsLock);
        setLock("Num Lock", "Num_Lock", numLock);
        setLock("Caps Lock", "Caps_Lock", capsLock);
        Fired f = pressAndCount(QStringLiteral("alt+F6"));
        QCOMPARE(f.start, 1);
        QCOMPARE(f.stop, 0);
        f = pressAndCount(QStringLiteral("alt+F7"));
        QCOMPARE(f.start, 0);
        QCOMPARE(f.stop, 1);
        // Neither the key alone nor with another modifier.
        for (const char* other : {"F6", "ctrl+F6", "alt+shift+F7"}) {
            f = pressAndCount(QString::fromLatin1(other));
            QCOMPARE(f.start + f.stop, 0);
        }
    }

    // Removing a kind gives its combination back to the server, and only that one.
    void removeReleasesOwnGrabs()
    {
        QKeyManager* keys = QKeyManager::instance();
        keys->removeHotKey(0);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F6")).start, 0);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F7")).stop, 1);
        // Another client can take Alt+F6 now.
        QVERIFY(platform::registerHotKey(999, platform::HotKeyAlt, 117));
        platform::unregisterHotKey(999);
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F6, 0);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F6")).start, 1);

        // The stop kind taking the start combination replaces the key under that identifier;
        // the new key must hold the registration, not lose it with the old one.
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F6, 1);
        const Fired f = pressAndCount(QStringLiteral("alt+F6"));
        QCOMPARE(f.start, 0);
        QCOMPARE(f.stop, 1);
        keys->clearHotKeys();
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F6, 0);
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F7, 1);
    }

    void combinationHeldElsewhereNeverFires()
    {
        OtherClient other;
        QVERIFY(other.grab());
        QKeyManager* keys = QKeyManager::instance();
        QVERIFY(keys->setHotKey(Qt::Key_Control, Qt::Key_F9, 1));
        QVERIFY(keys->isHeldElsewhere(1));
        QVERIFY(!keys->isHeldElsewhere(0));
        // Stored all the same: it counts for conflicts.
        QVERIFY(keys->isHotKeyUsed(Qt::Key_Control, Qt::Key_F9));
        QVERIFY(!platform::registerHotKey(998, platform::HotKeyControl, 120));
        QCOMPARE(pressAndCount(QStringLiteral("ctrl+F9")).stop, 0);
        setLock("Num Lock", "Num_Lock", true);
        QCOMPARE(pressAndCount(QStringLiteral("ctrl+F9")).stop, 0);
        setLock("Num Lock", "Num_Lock", false);
        QVERIFY(other.pressesSeen() >= 1);
        // Removing the refused key takes nothing from the other client.
        keys->removeHotKey(1);
        pressAndCount(QStringLiteral("ctrl+F9"));
        QCOMPARE(other.pressesSeen(), 1);
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F7, 1);
    }

    // A start key another client holds is named once the main window shows, refused when chosen
    // in the settings, and works once the other client lets go, without a restart.
    void heldCombinationIsSaid()
    {
        auto other = std::make_unique<OtherClient>();
        QVERIFY(other->grab());
        QVideoSettings::setKeyStartFirst(QStringLiteral("Ctrl"));
        QVideoSettings::setKeyStartSecond(QStringLiteral("F9"));
        QString notice;
        {
            std::unique_ptr<QTimer> answer(answerMessage(&notice, false));
            QMainWidget window;
            window.show();
            QTRY_VERIFY_WITH_TIMEOUT(!notice.isEmpty(), 5000);
            // Once only.
            QString again;
            answer.reset(answerMessage(&again, false));
            QTest::qWait(2500);
            QCOMPARE(again, QString());
        }
        QVERIFY2(notice.contains(QStringLiteral("Ctrl+F9")), qPrintable(notice));
        QVERIFY(!notice.contains(QStringLiteral("Alt+F7")));

        // In the settings a free combination is taken, the held one refused with the message.
        QKeyManager* keys = QKeyManager::instance();
        keys->registerStored();
        QVERIFY(keys->isHeldElsewhere(0));
        {
            QSettingDialog dialog(nullptr, 1);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            auto* modifier = dialog.findChild<HComboBox*>(QStringLiteral("comboStartFirst"));
            QVERIFY(modifier);
            choose(modifier, QStringLiteral("Shift"));
            QCOMPARE(QVideoSettings::getKeyStartFirst(), QStringLiteral("Shift"));
            QCOMPARE(pressAndCount(QStringLiteral("shift+F9")).start, 1);
            QString message;
            std::unique_ptr<QTimer> answer(answerMessage(&message));
            choose(modifier, QStringLiteral("Ctrl"));
            QTRY_COMPARE(message, QStringLiteral("热键有冲突，请更换其它快捷键！"));
            QCOMPARE(QVideoSettings::getKeyStartFirst(), QStringLiteral("Shift"));
            QCOMPARE(modifier->currentText(), QStringLiteral("Shift"));
            QCOMPARE(pressAndCount(QStringLiteral("shift+F9")).start, 1);
            dialog.close();
        }

        // The other client lets go: the key works without a restart.
        keys->removeHotKey(0);
        keys->setHotKey(Qt::Key_Control, Qt::Key_F9, 0);
        QCOMPARE(pressAndCount(QStringLiteral("ctrl+F9")).start, 0);
        other.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!keys->isHeldElsewhere(0), 5000);
        QCOMPARE(pressAndCount(QStringLiteral("ctrl+F9")).start, 1);
        keys->clearHotKeys();
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F6, 0);
        keys->setHotKey(Qt::Key_Alt, Qt::Key_F7, 1);
    }

    // A stored combination that is not a modifier plus a key is replaced by the default: a bare
    // key would be taken from every program.
    void storedCombinationsAreChecked()
    {
        const struct
        {
            const char* first;
            const char* second;
            bool valid;
        } cases[] = {{"Alt", "F6", true},    {"Shift", "Z", true}, {"", "F6", false},   {"F6", "A", false},
                     {"Alt", "Ctrl", false}, {"Alt", "", false},   {"Win", "A", false}, {"Ctrl", "0", false}};
        for (const auto& c : cases) {
            QCOMPARE(
                QKeyManager::isValidCombination(QString::fromLatin1(c.first), QString::fromLatin1(c.second)),
                c.valid);
        }
        QVideoSettings::setKeyStartFirst(QStringLiteral("F6"));
        QVideoSettings::setKeyStartSecond(QStringLiteral("A"));
        QVideoSettings::setKeyStopFirst(QStringLiteral("Alt"));
        QVideoSettings::setKeyStopSecond(QStringLiteral("Shift"));
        QKeyManager::instance()->registerStored();
        QCOMPARE(QVideoSettings::getKeyStartFirst() + "+" + QVideoSettings::getKeyStartSecond(),
                 QStringLiteral("Alt+F6"));
        QCOMPARE(QVideoSettings::getKeyStopFirst() + "+" + QVideoSettings::getKeyStopSecond(),
                 QStringLiteral("Alt+F7"));
        QCOMPARE(pressAndCount(QStringLiteral("a")).start, 0);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F6")).start, 1);
    }

    // The dialog moves the start key from Alt+F6 to Alt+F9, then to Ctrl+F9.
    void dialogMovesCombination()
    {
        QVideoSettings::setKeyStartFirst(QStringLiteral("Alt"));
        QVideoSettings::setKeyStartSecond(QStringLiteral("F6"));
        QSettingDialog dialog(nullptr, 1);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* key = dialog.findChild<HComboBox*>(QStringLiteral("comboStartSecond"));
        auto* modifier = dialog.findChild<HComboBox*>(QStringLiteral("comboStartFirst"));
        QVERIFY(key && modifier);
        choose(key, QStringLiteral("F9"));
        QCOMPARE(key->currentText(), QStringLiteral("F9"));
        QCOMPARE(QVideoSettings::getKeyStartSecond(), QStringLiteral("F9"));
        QCOMPARE(pressAndCount(QStringLiteral("alt+F9")).start, 1);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F6")).start, 0);
        choose(modifier, QStringLiteral("Ctrl"));
        QCOMPARE(QVideoSettings::getKeyStartFirst(), QStringLiteral("Ctrl"));
        QCOMPARE(pressAndCount(QStringLiteral("ctrl+F9")).start, 1);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F9")).start, 0);
        QCOMPARE(pressAndCount(QStringLiteral("alt+F7")).stop, 1);
        dialog.close();
        QKeyManager::instance()->removeHotKey(0);
        QKeyManager::instance()->setHotKey(Qt::Key_Alt, Qt::Key_F6, 0);
    }

    // A plugged or pulled camera changes the count once; notices that change nothing stay quiet.
    void cameraCountChanges()
    {
        QKeyManager* keys = QKeyManager::instance();
        platform::VideoDeviceWatcher* watcher = keys->deviceWatcher();
        QVERIFY(watcher);
        QVERIFY(watcher->isWatching());
        QSignalSpy changed(keys, &QKeyManager::devices_changed);
        const struct
        {
            QStringList cameras;
            int emitted;
        } steps[] = {
            {{QStringLiteral("screen-capture-recorder")}, 0},
            {{QStringLiteral("screen-capture-recorder"), QStringLiteral("USB Camera")}, 1},
            {{QStringLiteral("USB Camera")}, 0},
            {{QStringLiteral("USB Camera"), QStringLiteral("USB Camera")}, 1},
            {{}, 1},
            {{QStringLiteral("screen-capture-recorder"), QStringLiteral("screen-capture-recorder")}, 1},
        };
        for (const auto& step : steps) {
            cameras_ = step.cameras;
            changed.clear();
            watcher->simulateChange();
            QCOMPARE(changed.count(), step.emitted);
        }
    }

private:
    std::unique_ptr<TestEnvironment> env_;
    QStringList cameras_;
};

QTEST_MAIN(TestHotKeys)
#include "tst_hotkeys.moc"
