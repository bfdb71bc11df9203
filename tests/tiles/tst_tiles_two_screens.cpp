// The bar's corner placement and the monitor shade on a real X server with two monitors side by
// side (scripts/with-two-screens), the pointer moved for real, also at a scale factor of 2. With
// REELCAST_SHOTS set to a folder, the screens are photographed there: tiles with the open menu and sub-menu,
// the bar in its three states and the progress panel in both states.
#include "HLayout.h"
#include "HMenu.h"
#include "HMenuItem.h"
#include "QFloatBar.h"
#include "QHomeItem.h"
#include "QMediaManager.h"
#include "QProcessTip.h"
#include "QShadowWidget.h"
#include "QSkin.h"
#include "QVideoSettings.h"
#include "TestEnvironment.h"

#include <QHBoxLayout>
#include <QResource>
#include <QScreen>
#include <QtTest>

#include <memory>

namespace {

void pointTo(const QPoint& global)
{
    // Through the screen holding the point: at a scale factor each screen maps its own pixels.
    QScreen* screen = QGuiApplication::screenAt(global);
    QCursor::setPos(screen ? screen : QGuiApplication::primaryScreen(), global);
    QTest::qWait(150);
}

void pointTo(QWidget* widget)
{
    pointTo(widget->mapToGlobal(widget->rect().center()));
}

// The whole X screen, both monitors, when photographs were asked for.
void photograph(const QString& name)
{
    const QString folder = qEnvironmentVariable("REELCAST_SHOTS");
    if (folder.isEmpty())
        return;
    QTest::qWait(300);
    QProcess::execute(QStringLiteral("import"),
                      {"-window", "root", folder + QLatin1Char('/') + name + QStringLiteral(".png")});
}

} // namespace

class TestTilesTwoScreens : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void barAtCornerOfSecondMonitor_data();
    void barAtCornerOfSecondMonitor();
    void barBelowAreaOnSecondMonitor();
    void shadeFollowsHoveredMonitor();
    void barAndPanelLooks();

private:
    std::unique_ptr<TestEnvironment> env_;
    std::unique_ptr<QWidget> window_;
    QList<QHomeItem*> tiles_;
};

void TestTilesTwoScreens::initTestCase()
{
    env_.reset(new TestEnvironment());
    QSkin::init();
    QVERIFY(QResource::registerResource(TestEnvironment::programDir() + QStringLiteral("/skin/skin")));
    if (QGuiApplication::screens().size() < 2)
        QSKIP("needs two monitors (scripts/with-two-screens)");
    // At a scale factor the second monitor keeps its pixel position, its size is scaled down.
    const QScreen* second = QGuiApplication::screens().at(1);
    QCOMPARE(second->geometry().topLeft(), QPoint(1280, 0));
    QCOMPARE(second->geometry().size() * second->devicePixelRatio(), QSize(1280, 720));

    // Stands in for the main window: the tiles on its dark page, left clear by the shade.
    window_.reset(new QWidget(nullptr, Qt::FramelessWindowHint));
    window_->setObjectName(QStringLiteral("page"));
    window_->setStyleSheet(QStringLiteral("QWidget#page{background:#17191E;}"));
    QShadowWidget::create(window_.get());
    auto* row = new QHBoxLayout(window_.get());
    row->setSpacing(12);
    row->setContentsMargins(20, 16, 20, 16);
    for (const HomeItemInfo& info : QHomeItem::homeItems()) {
        tiles_ << new QHomeItem(info);
        row->addWidget(tiles_.last());
    }
    window_->setGeometry(100, 100, 778, 300);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void TestTilesTwoScreens::barAtCornerOfSecondMonitor_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QPoint>("pointer");
    // Full screen follows the recorded monitor, the other modes the pointer.
    QTest::newRow("full screen of monitor 2, pointer on 1") << int(FullScreen) << QPoint(300, 300);
    QTest::newRow("area, pointer on monitor 2") << int(Area) << QPoint(1900, 300);
}

void TestTilesTwoScreens::barAtCornerOfSecondMonitor()
{
    QFETCH(int, mode);
    QFETCH(QPoint, pointer);
    QVideoSettings::setMode(mode);
    QMediaManager::instance()->setRect(QRect(1280, 0, 1280, 720));
    pointTo(pointer);
    QFloatBar bar;
    bar.placeAtCorner();
    const QRect a = QGuiApplication::screens().at(1)->availableGeometry();
    QCOMPARE(bar.pos(), QPoint(a.x() + a.width() - 219, a.y() + a.height() - 48));
}

void TestTilesTwoScreens::barBelowAreaOnSecondMonitor()
{
    // The area comes in X screen pixels; the bar stands 2 px below its frame, right-aligned.
    const qreal d = QGuiApplication::screens().at(1)->devicePixelRatio();
    QFloatBar bar;
    bar.placeNearArea(QRect(1480, 100, 400, 200));
    QCOMPARE(bar.pos(), QPoint(1280 + qRound(600 / d) - 219, qRound(300 / d) + 2));
}

void TestTilesTwoScreens::shadeFollowsHoveredMonitor()
{
    QHomeItem* mode = tiles_.at(0);
    QShadowWidget* shade = QShadowWidget::instance();
    QCOMPARE(mode->caption(), QStringLiteral("全屏-显示器1"));

    QWidget* button = mode->findChild<QWidget*>(QStringLiteral("frameButton"));
    pointTo(button);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    QTRY_VERIFY(mode->menu()->isVisible());
    auto* full = qobject_cast<HMenuItem*>(mode->menu()->items().at(0));
    pointTo(full);
    QTRY_VERIFY(full->subMenu()->isVisible());
    const QList<HMenuItem*> monitors = full->subMenu()->items();
    QCOMPARE(monitors.size(), 2);

    pointTo(monitors.at(1));
    QTRY_VERIFY(shade->isVisible());
    QCOMPARE(shade->geometry(), QGuiApplication::screens().at(1)->geometry());
    photograph(QStringLiteral("tiles-menu-monitor2"));
    pointTo(monitors.at(0));
    QTRY_COMPARE(shade->geometry(), QGuiApplication::screens().at(0)->geometry());
    QVERIFY(shade->isVisible());
    photograph(QStringLiteral("tiles-menu-monitor1"));

    QTest::mouseClick(monitors.at(1), Qt::LeftButton);
    QTRY_VERIFY(!mode->menu()->isVisible());
    QCOMPARE(mode->caption(), QStringLiteral("全屏-显示器2"));
    // The recording manager takes X screen pixels, at any scale.
    QCOMPARE(QMediaManager::instance()->rect(), QRect(1280, 0, 1280, 720));
    pointTo(QPoint(300, 340));
    QTRY_VERIFY(!shade->isVisible());
}

void TestTilesTwoScreens::barAndPanelLooks()
{
    if (qEnvironmentVariableIsEmpty("REELCAST_SHOTS"))
        QSKIP("photographs only (REELCAST_SHOTS)");
    QHomeItem* audio = tiles_.at(1);
    audio->selectAudio(SystemAndMicrophone, false);
    photograph(QStringLiteral("tiles-audio-both"));
    audio->selectAudio(NoAudio, false);
    pointTo(audio->findChild<QWidget*>(QStringLiteral("frameButton")));
    photograph(QStringLiteral("tiles-audio-off-hover"));

    QFloatBar::Recorder idle;
    static int state = Stopped;
    idle.start = idle.resume = [] { state = Recording; };
    idle.pause = [] { state = Paused; };
    idle.stop = [] { state = Stopped; };
    idle.state = [] { return state; };
    QFloatBar::setRecorder(idle);
    QFloatBar bar;
    bar.move(1400, 100);
    bar.show();
    pointTo(QPoint(1300, 400));
    photograph(QStringLiteral("bar-idle"));
    bar.startRecording();
    bar.onTimeChanged(3725);
    photograph(QStringLiteral("bar-recording"));
    bar.pauseRecording();
    photograph(QStringLiteral("bar-paused"));
    bar.hide();

    auto* tip = new QProcessTip(window_.get());
    window_->resize(778, 444);
    tip->showWaiting();
    photograph(QStringLiteral("panel-waiting"));
    tip->showResult();
    photograph(QStringLiteral("panel-result"));
}

QTEST_MAIN(TestTilesTwoScreens)
#include "tst_tiles_two_screens.moc"
