// Option tiles and the monitor shade: menus and captions with one and two monitors, the shade
// following the hovered monitor entry, the sound tile's off look, the camera menu after device
// changes and a refused camera mode. Devices come from a replaceable device list; the preview
// program is the fake encoder standing in as vcamera.exe.
#include "FakeProgramFolder.h"
#include "HLayout.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "QCameraManager.h"
#include "QDeviceManager.h"
#include "QEventManager.h"
#include "QHomeItem.h"
#include "QMediaManager.h"
#include "QShadowWidget.h"
#include "QSkin.h"
#include "QVideoSettings.h"
#include "TestEnvironment.h"

#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QStringList g_cameras;
QList<QRect> g_monitors;

// Stands in for the hot-key manager's device notice.
class DeviceNotice : public QObject
{
    Q_OBJECT
signals:
    void devices_changed();
};

HomeItemInfo row(HomeItemType type)
{
    return QHomeItem::homeItems().at(int(type));
}

HMenuItem* entry(QHomeItem* tile, int index)
{
    return qobject_cast<HMenuItem*>(tile->menu()->items().value(index));
}

QStringList texts(QHomeItem* tile)
{
    QStringList list;
    for (QWidget* w : tile->menu()->items())
        list << qobject_cast<HMenuItem*>(w)->text();
    return list;
}

QString iconClass(QHomeItem* tile)
{
    return tile->findChild<QLabel*>(QStringLiteral("labelItemIcon"))->property("class").toString();
}

void sendToButton(QHomeItem* tile, QEvent::Type type)
{
    QEvent event(type);
    QCoreApplication::sendEvent(tile->findChild<QFrame*>(QStringLiteral("frameButton")), &event);
}

} // namespace

class TestHomeTiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void modeMenuAndCaptions_data();
    void modeMenuAndCaptions();
    void shadeFollowsHoveredMonitor();
    void shadeLeavesMainWindowClear();
    void soundOffLook();
    void settingsDialogDrivesQualityAndFormat();
    void cameraMenuFollowsDevices();
    void storedCameraMissing_data();
    void storedCameraMissing();
    void refusedCameraModeKeepsStoredMode();
    void recordingLocksChoices();

private:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<FakeProgramFolder> folder_;
    QWidget* mainWindow_ = nullptr;
    DeviceNotice notice_;
};

void TestHomeTiles::initTestCase()
{
    env_.reset(new TestEnvironment());
    folder_.reset(new FakeProgramFolder());
    QVERIFY(folder_->enter());
    QVERIFY(folder_->install(QStringLiteral("vcamera.exe")));
    QVERIFY(folder_->install(QStringLiteral("zrk_video_capture.exe")));
    qputenv("FAKE_ENCODER_LIFETIME", "60");
    QSkin::init();

    QDeviceManager::Provider provider;
    provider.videoInputNames = [] { return g_cameras; };
    provider.monitorRects = [] { return g_monitors; };
    QDeviceManager::setProvider(provider);
    QVERIFY(QEventManager::instance()->registerObject(KeyManager, &notice_));

    // The shade belongs to a main window that it must leave clear.
    mainWindow_ = new QWidget(nullptr, Qt::FramelessWindowHint);
    mainWindow_->setGeometry(100, 50, 200, 100);
    QShadowWidget::create(mainWindow_);
}

void TestHomeTiles::init()
{
    g_cameras.clear();
    g_monitors = {QRect(0, 0, 400, 300)};
    QVideoSettings::setMode(FullScreen);
    QVideoSettings::setAudioType(SystemOnly);
    QVideoSettings::setCameraType(Off);
    QVideoSettings::setCameraName(QString());
}

void TestHomeTiles::cleanup()
{
    QCameraManager::instance()->stop();
    QShadowWidget::instance()->hide();
}

void TestHomeTiles::modeMenuAndCaptions_data()
{
    QTest::addColumn<QList<QRect>>("monitors");
    QTest::newRow("one monitor") << QList<QRect>{QRect(0, 0, 400, 300)};
    QTest::newRow("two monitors") << QList<QRect>{QRect(0, 0, 400, 300), QRect(400, 0, 400, 300)};
}

void TestHomeTiles::modeMenuAndCaptions()
{
    QFETCH(QList<QRect>, monitors);
    g_monitors = monitors;
    QHomeItem tile(row(HomeItemType::Mode));
    const bool two = monitors.size() == 2;

    QCOMPARE(texts(&tile), (QStringList{"全屏录制", "区域录制", "游戏录制", "摄像头录制"}));
    QCOMPARE(tile.caption(), two ? QStringLiteral("全屏-显示器1") : QStringLiteral("全屏"));
    QCOMPARE(QMediaManager::instance()->rect(), monitors.first());

    HMenuItem* full = entry(&tile, 0);
    if (two) {
        QVERIFY(full->subMenu());
        const QList<HMenuItem*> subs = full->subMenu()->items();
        QCOMPARE(subs.size(), 2);
        QCOMPARE(subs.at(0)->text(), QStringLiteral("显示器1"));
        QVERIFY(subs.at(0)->isSelected());

        // The entry itself only opens the monitors.
        QVideoSettings::setMode(Area);
        full->onClicked();
        QCOMPARE(QVideoSettings::getMode(), int(Area));

        subs.at(1)->onClicked();
        QCOMPARE(tile.caption(), QStringLiteral("全屏-显示器2"));
        QCOMPARE(QMediaManager::instance()->rect(), monitors.at(1));
        QVERIFY(subs.at(1)->isSelected());
        QVERIFY(!subs.at(0)->isSelected());
    } else {
        QVERIFY(!full->subMenu());
        QVERIFY(full->isSelected());
    }
    QCOMPARE(QVideoSettings::getMode(), int(FullScreen));

    entry(&tile, 1)->onClicked();
    QCOMPARE(tile.caption(), QStringLiteral("区域"));
    QCOMPARE(QVideoSettings::getMode(), int(Area));
    entry(&tile, 2)->onClicked();
    QCOMPARE(tile.caption(), QStringLiteral("游戏"));
    QCOMPARE(QVideoSettings::getMode(), int(Game));

    // A click on the tile opens its menu; a stored mode is shown by the next tile built.
    tile.show();
    QTest::mouseClick(tile.findChild<QFrame*>(QStringLiteral("frameButton")), Qt::LeftButton);
    QTRY_VERIFY(tile.menu()->isVisible());
    tile.menu()->hideMenu();
    QHomeItem again(row(HomeItemType::Mode));
    QCOMPARE(again.caption(), QStringLiteral("游戏"));
    QVERIFY(entry(&again, 2)->isSelected());
}

void TestHomeTiles::shadeFollowsHoveredMonitor()
{
    // The pointer itself moves on the two-monitor X server (tests/tiles); here the entries' hover
    // notices, as the menu emits them.
    g_monitors = {QRect(0, 0, 400, 300), QRect(400, 0, 400, 300)};
    QHomeItem tile(row(HomeItemType::Mode));
    QShadowWidget* shade = QShadowWidget::instance();
    const QList<HMenuItem*> subs = entry(&tile, 0)->subMenu()->items();
    for (int i : {1, 0}) {
        emit subs.at(i)->hover_in();
        QVERIFY(shade->isVisible());
        QCOMPARE(shade->geometry(), g_monitors.at(i));
    }
    emit subs.at(0)->hover_out();
    QVERIFY(!shade->isVisible());
}

void TestHomeTiles::shadeLeavesMainWindowClear()
{
    QShadowWidget* shade = QShadowWidget::instance();
    shade->onShowShadow(QRect(0, 0, 400, 300));
    QImage image(shade->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    shade->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    QCOMPARE(image.pixelColor(10, 10), QColor(0, 0, 0, 160));
    QCOMPARE(image.pixelColor(399, 299), QColor(0, 0, 0, 160));
    // The main window at (100, 50) 200 x 100 stays clear, to its last pixel.
    QCOMPARE(image.pixelColor(100, 50).alpha(), 0);
    QCOMPARE(image.pixelColor(299, 149).alpha(), 0);
    QCOMPARE(image.pixelColor(300, 150).alpha(), 160);
}

void TestHomeTiles::soundOffLook()
{
    QHomeItem tile(row(HomeItemType::Audio));
    QCOMPARE(texts(&tile), (QStringList{"系统声音和麦克风", "仅系统声音", "仅麦克风声音", "不录声音"}));
    QCOMPARE(tile.caption(), QStringLiteral("系统"));
    QVERIFY(entry(&tile, 1)->isSelected());

    entry(&tile, 3)->onClicked();
    QCOMPARE(QVideoSettings::getAudioType(), int(NoAudio));
    QCOMPARE(tile.caption(), QStringLiteral("关闭"));
    QVERIFY(tile.isOff());
    QCOMPARE(iconClass(&tile), QStringLiteral("close"));

    // The off icon is what the label shows, on hover its hover variant.
    tile.show();
    QLabel* icon = tile.findChild<QLabel*>(QStringLiteral("labelItemIcon"));
    auto shows = [icon](const QString& path) {
        const QImage expected = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QImage shown(icon->size(), QImage::Format_ARGB32_Premultiplied);
        shown.fill(Qt::transparent);
        icon->render(&shown, QPoint(), QRegion(), QWidget::DrawChildren);
        return shown == expected.scaled(icon->size());
    };
    QVERIFY(shows(row(HomeItemType::Audio).iconOff));
    sendToButton(&tile, QEvent::Enter);
    QCOMPARE(iconClass(&tile), QStringLiteral("close_hover"));
    QVERIFY(shows(row(HomeItemType::Audio).iconOffHover));
    sendToButton(&tile, QEvent::Leave);
    QCOMPARE(iconClass(&tile), QStringLiteral("close"));

    entry(&tile, 0)->onClicked();
    QCOMPARE(tile.caption(), QStringLiteral("系统&麦克风"));
    QVERIFY(!tile.isOff());
    sendToButton(&tile, QEvent::Enter);
    QCOMPARE(iconClass(&tile), QStringLiteral("normal_hover"));
    QVERIFY(shows(row(HomeItemType::Audio).iconHover));
}

void TestHomeTiles::settingsDialogDrivesQualityAndFormat()
{
    QVideoSettings::setQuality(Recommended);
    QVideoSettings::setFormat(MP4);
    auto quality = std::make_unique<QHomeItem>(row(HomeItemType::Quality));
    auto format = std::make_unique<QHomeItem>(row(HomeItemType::Format));
    QCOMPARE(texts(format.get()), (QStringList{"AVI", "MP4", "FLV"}));
    QCOMPARE(quality->menu()->width(), 156);

    // Through the registry, as the settings dialog drives them.
    QMetaObject::invokeMethod(QEventManager::instance()->object(QualityItem), "onSelectedQuality",
                              Q_ARG(int, HD));
    QCOMPARE(quality->caption(), QStringLiteral("高清"));
    QCOMPARE(QVideoSettings::getQuality(), int(HD));
    QVERIFY(entry(quality.get(), 3)->isSelected());
    QVERIFY(!entry(quality.get(), 1)->isSelected());

    QMetaObject::invokeMethod(QEventManager::instance()->object(FormatItem), "onSelectedFormat",
                              Q_ARG(int, AVI));
    QCOMPARE(format->caption(), QStringLiteral("AVI"));
    QCOMPARE(QVideoSettings::getFormat(), int(AVI));
    // WMV has no entry: nothing changes.
    format->onSelectedFormat(WMV);
    QCOMPARE(QVideoSettings::getFormat(), int(AVI));

    // A stored WMV is still named.
    QVideoSettings::setFormat(WMV);
    QHomeItem wmv(row(HomeItemType::Format));
    QCOMPARE(wmv.caption(), QStringLiteral("WMV"));
}

void TestHomeTiles::cameraMenuFollowsDevices()
{
    g_cameras = QStringList{QStringLiteral("screen-capture-recorder"), QStringLiteral("USB B"),
                            QStringLiteral("USB A")};
    QHomeItem mode(row(HomeItemType::Mode));
    QHomeItem camera(row(HomeItemType::Camera));
    QCOMPARE(texts(&camera), (QStringList{"摄像头1", "摄像头2", "关闭"}));
    QCOMPARE(camera.caption(), QStringLiteral("关闭"));
    QVERIFY(camera.isOff());
    QVERIFY(entry(&camera, 2)->isSelected());

    // Camera mode switches the first camera on and starts its preview.
    entry(&mode, 3)->onClicked();
    QCOMPARE(mode.caption(), QStringLiteral("摄像头"));
    QCOMPARE(camera.caption(), QStringLiteral("摄像头1"));
    QCOMPARE(QVideoSettings::getCameraType(), int(On));
    QCOMPARE(QVideoSettings::getCameraName(), QStringLiteral("USB B"));
    QVERIFY(QCameraManager::instance()->isRunning());
    QVERIFY(entry(&camera, 0)->isSelected());

    // The only camera unplugged: just "关闭", the tile disabled and the preview stopped.
    g_cameras = QStringList{QStringLiteral("screen-capture-recorder")};
    emit notice_.devices_changed();
    QTRY_COMPARE(camera.menu()->items().size(), 1);
    QCOMPARE(texts(&camera), QStringList{"关闭"});
    QCOMPARE(camera.caption(), QStringLiteral("无设备"));
    QVERIFY(!camera.findChild<QFrame*>(QStringLiteral("frameButton"))->isEnabled());
    QVERIFY(!QCameraManager::instance()->isRunning());
    QCOMPARE(QVideoSettings::getCameraType(), int(NoDevice));
    camera.show();
    QTest::mouseClick(camera.findChild<QFrame*>(QStringLiteral("frameButton")), Qt::LeftButton);
    QVERIFY(!camera.menu()->isVisible());

    // Plugged in again: the rebuilt first entry answers the mode tile.
    g_cameras = QStringList{QStringLiteral("USB C")};
    QVideoSettings::setMode(Area);
    emit notice_.devices_changed();
    QCOMPARE(camera.caption(), QStringLiteral("关闭"));
    entry(&mode, 3)->onClicked();
    QCOMPARE(camera.caption(), QStringLiteral("摄像头1"));
    QCOMPARE(QVideoSettings::getCameraName(), QStringLiteral("USB C"));
}

void TestHomeTiles::storedCameraMissing_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("marked");
    // Camera mode takes the camera with the smallest name; any other mode switches it off.
    QTest::newRow("camera mode") << int(Camera) << int(On) << "摄像头2"
                                 << "Alpha" << 1;
    QTest::newRow("other mode") << int(Area) << int(On) << "关闭"
                                << "Gone" << 2;
    QTest::newRow("no device stored") << int(Area) << int(NoDevice) << "关闭"
                                      << "Gone" << 2;
}

void TestHomeTiles::storedCameraMissing()
{
    QFETCH(int, mode);
    QFETCH(int, state);
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QFETCH(int, marked);
    g_cameras = QStringList{QStringLiteral("Zed"), QStringLiteral("Alpha")};
    QVideoSettings::setMode(mode);
    QVideoSettings::setCameraType(state);
    QVideoSettings::setCameraName(QStringLiteral("Gone"));

    QHomeItem camera(row(HomeItemType::Camera));
    QCOMPARE(camera.caption(), caption);
    QCOMPARE(QVideoSettings::getCameraName(), name);
    QCOMPARE(QVideoSettings::getCameraType(), caption == QStringLiteral("关闭") ? int(Off) : int(On));
    QVERIFY(entry(&camera, marked)->isSelected());
    QCOMPARE(QCameraManager::instance()->isRunning(), caption != QStringLiteral("关闭"));
}

void TestHomeTiles::refusedCameraModeKeepsStoredMode()
{
    QHomeItem mode(row(HomeItemType::Mode));
    QSignalSpy messages(&mode, &QHomeItem::show_message);
    entry(&mode, 3)->onClicked();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("未检测到设备，请安装后再尝试"));
    QCOMPARE(QVideoSettings::getMode(), int(FullScreen));
    QCOMPARE(mode.caption(), QStringLiteral("全屏"));
    QVERIFY(entry(&mode, 0)->isSelected());
    QVERIFY(!entry(&mode, 3)->isSelected());

    // A Camera mode stored while no camera exists is shown, and kept, as full screen.
    QVideoSettings::setMode(Camera);
    QHomeItem rebuilt(row(HomeItemType::Mode));
    QCOMPARE(rebuilt.caption(), QStringLiteral("全屏"));
    QCOMPARE(QVideoSettings::getMode(), int(FullScreen));
}

void TestHomeTiles::recordingLocksChoices()
{
    g_cameras = QStringList{QStringLiteral("Test Camera")};
    QVideoSettings::setAudioType(NoAudio);
    QVideoSettings::setQuality(Recommended);
    QVideoSettings::setMode(Camera);
    QHomeItem quality(row(HomeItemType::Quality));
    QHomeItem camera(row(HomeItemType::Camera));
    // As the main window does before a Camera-mode recording, which the fake encoder plays.
    QCameraManager::instance()->stop();
    QMediaManager* manager = QMediaManager::instance();
    manager->start();
    QVERIFY(!manager->isIdle());

    QSignalSpy messages(&quality, &QHomeItem::show_message);
    entry(&quality, 3)->onClicked();
    QCOMPARE(messages.count(), 1);
    QCOMPARE(messages.at(0).at(0).toString(), QStringLiteral("录制过程中，不能更改选项！"));
    QCOMPARE(QVideoSettings::getQuality(), int(Recommended));
    QCOMPARE(quality.caption(), QStringLiteral("推荐"));
    QVERIFY(entry(&quality, 1)->isSelected());
    QVERIFY(!entry(&quality, 3)->isSelected());

    // A device change meanwhile rebuilds the camera menu but leaves the camera to the encoder.
    emit notice_.devices_changed();
    QCOMPARE(camera.caption(), QStringLiteral("摄像头1"));
    QVERIFY(!QCameraManager::instance()->isRunning());

    // Finished as the window does it: saved, then cleaned up.
    QSignalSpy saved(manager, &QMediaManager::finished);
    manager->stop();
    manager->save();
    QTRY_VERIFY_WITH_TIMEOUT(!saved.isEmpty(), 15000);
    manager->cleanup();
    QTRY_VERIFY_WITH_TIMEOUT(manager->isIdle(), 15000);
}

QTEST_MAIN(TestHomeTiles)
#include "tst_hometiles.moc"
