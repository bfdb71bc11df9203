#include "QHomeItem.h"

#include "HMenu.h"
#include "HMenuItem.h"
#include "QCameraManager.h"
#include "QDeviceManager.h"
#include "QEventManager.h"
#include "QMediaManager.h"
#include "QShadowWidget.h"
#include "QSkin.h"
#include "QVideoSettings.h"

#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// The recording manager takes X screen pixels; a monitor is listed in the screens' own
// coordinates, whose top-left corner Qt keeps at its pixel position at any scale.
QRect screenPixels(const QRect& monitor)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen->geometry() == monitor)
            return QRect(monitor.topLeft(), monitor.size() * screen->devicePixelRatio());
    }
    return monitor;
}

} // namespace

const QVector<HomeItemInfo>& QHomeItem::homeItems()
{
    static const QVector<HomeItemInfo> table = {
        {int(HomeItemType::Mode), QStringLiteral(":/image/label.mode.png"),
         QStringLiteral(":/image/label.mode.hover.png"), QStringLiteral(":/image/label.mode.png"),
         QStringLiteral(":/image/label.mode.hover.png")},
        {int(HomeItemType::Audio), QStringLiteral(":/image/label.audio.png"),
         QStringLiteral(":/image/label.audio.hover.png"), QStringLiteral(":/image/label.audio.close.png"),
         QStringLiteral(":/image/label.audio.close.hover.png")},
        {int(HomeItemType::Quality), QStringLiteral(":/image/label.quality.png"),
         QStringLiteral(":/image/label.quality.hover.png"), QStringLiteral(":/image/label.quality.png"),
         QStringLiteral(":/image/label.quality.hover.png")},
        {int(HomeItemType::Format), QStringLiteral(":/image/label.format.png"),
         QStringLiteral(":/image/label.format.hover.png"), QStringLiteral(":/image/label.format.png"),
         QStringLiteral(":/image/label.format.hover.png")},
        {int(HomeItemType::Camera), QStringLiteral(":/image/label.camera.png"),
         QStringLiteral(":/image/label.camera.hover.png"), QStringLiteral(":/image/label.camera.disable.png"),
         QStringLiteral(":/image/label.disable.hover.png")},
    };
    return table;
}

QHomeItem::QHomeItem(const HomeItemInfo& info, QWidget* parent) : QWidget(parent), info_(info)
{
    buildForm();
    setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/HomeItem.css"))
                      .arg(info_.icon, info_.iconHover, info_.iconOff, info_.iconOffHover));
    frameButton_->installEventFilter(this);

    switch (type()) {
    case HomeItemType::Mode:
        buildMode();
        break;
    case HomeItemType::Audio:
        buildAudio();
        break;
    case HomeItemType::Quality:
        buildQuality();
        break;
    case HomeItemType::Format:
        buildFormat();
        break;
    case HomeItemType::Camera:
        buildCamera();
        break;
    }
}

void QHomeItem::buildForm()
{
    setObjectName(QStringLiteral("QHomeItem"));
    setFixedSize(136, 249);
    auto* outer = new QHBoxLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(0, 0, 0, 0);

    auto* frameItemMain = new QFrame(this);
    frameItemMain->setObjectName(QStringLiteral("frameItemMain"));
    frameItemMain->setFrameShape(QFrame::StyledPanel);
    frameItemMain->setFrameShadow(QFrame::Raised);
    outer->addWidget(frameItemMain);

    auto* mainLayout = new QVBoxLayout(frameItemMain);
    mainLayout->setObjectName(QStringLiteral("verticalLayout"));
    mainLayout->setSpacing(0);
    mainLayout->setContentsMargins(0, 23, 0, 45);
    labelItemTitle_ = new QLabel(frameItemMain);
    labelItemTitle_->setObjectName(QStringLiteral("labelItemTitle"));
    labelItemTitle_->setAlignment(Qt::AlignCenter);
    mainLayout->addWidget(labelItemTitle_);

    auto* buttonRow = new QHBoxLayout();
    buttonRow->setObjectName(QStringLiteral("horizontalLayout_2"));
    buttonRow->setSpacing(0);
    buttonRow->setContentsMargins(4, 49, 4, 0);
    frameButton_ = new QFrame(frameItemMain);
    frameButton_->setObjectName(QStringLiteral("frameButton"));
    frameButton_->setMinimumHeight(48);
    frameButton_->setCursor(Qt::PointingHandCursor);
    frameButton_->setFrameShape(QFrame::StyledPanel);
    frameButton_->setFrameShadow(QFrame::Raised);
    buttonRow->addWidget(frameButton_);
    mainLayout->addLayout(buttonRow);

    auto* buttonLayout = new QVBoxLayout(frameButton_);
    buttonLayout->setObjectName(QStringLiteral("verticalLayout_2"));
    buttonLayout->setSpacing(48);
    buttonLayout->setContentsMargins(0, 10, 0, 10);
    auto* iconRow = new QHBoxLayout();
    iconRow->setObjectName(QStringLiteral("horizontalLayout_4"));
    iconRow->setSpacing(6);
    auto* frameIcon = new QFrame(frameButton_);
    frameIcon->setObjectName(QStringLiteral("frameIcon"));
    frameIcon->setFixedSize(40, 26);
    frameIcon->setFrameShape(QFrame::StyledPanel);
    frameIcon->setFrameShadow(QFrame::Raised);
    auto* iconLayout = new QHBoxLayout(frameIcon);
    iconLayout->setObjectName(QStringLiteral("horizontalLayout_3"));
    iconLayout->setSpacing(6);
    iconLayout->setContentsMargins(0, 0, 0, 0);
    labelItemIcon_ = new QLabel(frameIcon);
    labelItemIcon_->setObjectName(QStringLiteral("labelItemIcon"));
    labelItemIcon_->setFixedSize(26, 26);
    iconLayout->addWidget(labelItemIcon_);
    labelDropDown_ = new QLabel(frameIcon);
    labelDropDown_->setObjectName(QStringLiteral("labelDropDown"));
    labelDropDown_->setFixedSize(8, 4);
    iconLayout->addWidget(labelDropDown_);
    iconRow->addWidget(frameIcon);
    buttonLayout->addLayout(iconRow);

    labelItemName_ = new QLabel(frameButton_);
    labelItemName_->setObjectName(QStringLiteral("labelItemName"));
    labelItemName_->setAlignment(Qt::AlignCenter);
    buttonLayout->addWidget(labelItemName_);
}

QString QHomeItem::caption() const
{
    return labelItemName_->text();
}

QStringList QHomeItem::cameraNames()
{
    QStringList names = QDeviceManager::videoInputNames();
    names.removeOne(QStringLiteral("screen-capture-recorder"));
    return names;
}

HMenuItem* QHomeItem::addEntry(const QString& text, bool selected)
{
    auto* entry = new HMenuItem(text);
    if (selected)
        entry->setSelected(true);
    menu_->addItem(entry);
    return entry;
}

void QHomeItem::buildMode()
{
    labelItemTitle_->setText(tr("模式"));
    menu_ = new HMenu(this);

    int mode = QVideoSettings::getMode();
    if (mode == Camera && cameraNames().isEmpty())
        mode = FullScreen;
    // A stored mode the tile does not know is recorded as a rectangle; make it the monitor, so
    // that the capture rectangle is never left empty.
    if (mode < FullScreen || mode > Camera)
        mode = FullScreen;
    QEventManager::instance()->registerObject(ModeItem, this);
    selectMode(mode, QRect(), true);

    const QList<QRect> monitors = QDeviceManager::monitorRects();
    if (monitors.size() < 2) {
        const QRect monitor = monitors.value(0);
        HMenuItem* entry = addEntry(tr("全屏录制"), mode == FullScreen);
        connect(entry, &HMenuItem::clicked, this,
                [this, monitor] { return selectMode(FullScreen, monitor, false); });
    } else {
        HMenuItem* entry = addEntry(tr("全屏录制"), mode == FullScreen);
        connect(entry, &HMenuItem::clicked, this, [this] { return selectMode(FullScreen, QRect(), false); });
        for (int i = 0; i < monitors.size(); ++i) {
            const QRect monitor = monitors.at(i);
            auto* sub = new HMenuItem(tr("显示器%1").arg(i + 1));
            if (mode == FullScreen && i == 0)
                sub->setSelected(true);
            connect(sub, &HMenuItem::clicked, this,
                    [this, monitor] { return selectMode(FullScreen, monitor, false); });
            // The shade is looked up on each hover, so that the one the main window creates for
            // itself is used, whenever this tile was built.
            connect(sub, &HMenuItem::hover_in, this,
                    [monitor] { QShadowWidget::instance()->onShowShadow(monitor); });
            connect(sub, &HMenuItem::hover_out, this, [] { QShadowWidget::instance()->onHideShadow(); });
            entry->addSubItem(sub);
        }
    }

    const struct
    {
        int mode;
        QString text;
    } others[] = {{Area, tr("区域录制")}, {Game, tr("游戏录制")}, {Camera, tr("摄像头录制")}};
    for (const auto& other : others) {
        HMenuItem* entry = addEntry(other.text, mode == other.mode);
        const int value = other.mode;
        connect(entry, &HMenuItem::clicked, this,
                [this, value] { return selectMode(value, QRect(), false); });
    }
}

void QHomeItem::buildAudio()
{
    labelItemTitle_->setText(tr("声源"));
    const int audio = QVideoSettings::getAudioType();
    selectAudio(audio, true);
    menu_ = new HMenu(this);
    menu_->setFixedWidth(146);
    const struct
    {
        int value;
        QString text;
    } rows[] = {{SystemAndMicrophone, tr("系统声音和麦克风")},
                {SystemOnly, tr("仅系统声音")},
                {MicrophoneOnly, tr("仅麦克风声音")},
                {NoAudio, tr("不录声音")}};
    for (const auto& row : rows) {
        HMenuItem* entry = addEntry(row.text, audio == row.value);
        const int value = row.value;
        connect(entry, &HMenuItem::clicked, this, [this, value] { return selectAudio(value, false); });
    }
}

void QHomeItem::buildQuality()
{
    labelItemTitle_->setText(tr("画质"));
    QEventManager::instance()->registerObject(QualityItem, this);
    const int quality = QVideoSettings::getQuality();
    selectQuality(quality, true);
    menu_ = new HMenu(this);
    menu_->setFixedWidth(156);
    const struct
    {
        int value;
        QString text;
    } rows[] = {{Low, tr("低质量（180Kbps）")},
                {Recommended, tr("推荐（300Kbps）")},
                {High, tr("高质量（500Kbps）")},
                {HD, tr("高清（800Kbps）")}};
    for (const auto& row : rows) {
        HMenuItem* entry = addEntry(row.text, quality == row.value);
        const int value = row.value;
        connect(entry, &HMenuItem::clicked, this, [this, value] { return selectQuality(value, false); });
        entries_.insert(value, entry);
    }
}

void QHomeItem::buildFormat()
{
    labelItemTitle_->setText(tr("格式"));
    QEventManager::instance()->registerObject(FormatItem, this);
    const int format = QVideoSettings::getFormat();
    selectFormat(format, true);
    menu_ = new HMenu(this);
    menu_->setFixedWidth(106);
    const struct
    {
        int value;
        const char* text;
    } rows[] = {{AVI, "AVI"}, {MP4, "MP4"}, {FLV, "FLV"}};
    for (const auto& row : rows) {
        HMenuItem* entry = addEntry(QString::fromLatin1(row.text), format == row.value);
        const int value = row.value;
        connect(entry, &HMenuItem::clicked, this, [this, value] { return selectFormat(value, false); });
        entries_.insert(value, entry);
    }
}

void QHomeItem::buildCamera()
{
    labelItemTitle_->setText(tr("摄像头"));
    QEventManager::instance()->connectSignal(KeyManager, SIGNAL(devices_changed()), this,
                                             SLOT(onRefreshCamera()));
    connect(QCameraManager::instance(), &QCameraManager::refresh_camera, this, &QHomeItem::onRefreshCamera);
    menu_ = new HMenu(this);
    onRefreshCamera();
}

bool QHomeItem::checkBusy()
{
    if (QMediaManager::instance()->isIdle())
        return false;
    emit show_message(tr("录制过程中，不能更改选项！"));
    return true;
}

void QHomeItem::setItemClass(const char* name, const QString& value)
{
    for (QWidget* widget : {static_cast<QWidget*>(frameButton_), static_cast<QWidget*>(labelItemIcon_),
                            static_cast<QWidget*>(labelItemName_), static_cast<QWidget*>(labelDropDown_)})
        QSkin::setProperty(widget, name, value);
}

void QHomeItem::setCaption(const QString& text)
{
    labelItemName_->setText(text);
}

void QHomeItem::refreshLater()
{
    QTimer::singleShot(50, this, [this] {
        labelItemName_->update();
        labelItemIcon_->update();
    });
}

bool QHomeItem::selectMode(int mode, const QRect& rect, bool)
{
    if (checkBusy())
        return false;

    QString text;
    switch (mode) {
    case FullScreen: {
        const QList<QRect> monitors = QDeviceManager::monitorRects();
        const QRect monitor = rect.isEmpty() ? monitors.value(0) : rect;
        QMediaManager::instance()->setRect(screenPixels(monitor));
        text = monitors.size() < 2 ? tr("全屏") : tr("全屏-显示器%1").arg(monitors.indexOf(monitor) + 1);
        break;
    }
    case Area:
        text = tr("区域");
        break;
    case Game:
        text = tr("游戏");
        break;
    case Camera:
        // Refused before anything is stored: a stored Camera mode without a camera would refuse
        // every start while the tile still named the old mode.
        if (cameraNames().isEmpty()) {
            emit show_message(tr("未检测到设备，请安装后再尝试"));
            return false;
        }
        text = tr("摄像头");
        break;
    default:
        text = caption();
        break;
    }
    QVideoSettings::setMode(mode);
    if (mode == Camera)
        emit selected_camera();

    setCaption(text);
    QTimer::singleShot(50, labelItemName_, [label = labelItemName_] { label->update(); });
    return true;
}

bool QHomeItem::selectAudio(int value, bool)
{
    if (checkBusy())
        return false;
    QVideoSettings::setAudioType(value);
    switch (value) {
    case NoAudio:
        setCaption(tr("关闭"));
        break;
    case SystemOnly:
        setCaption(tr("系统"));
        break;
    case MicrophoneOnly:
        setCaption(tr("麦克风"));
        break;
    case SystemAndMicrophone:
        setCaption(tr("系统&麦克风"));
        break;
    default:
        break;
    }
    off_ = value == NoAudio;
    setItemClass("class", off_ ? QStringLiteral("close") : QStringLiteral("normal"));
    refreshLater();
    return true;
}

bool QHomeItem::selectQuality(int value, bool)
{
    if (checkBusy())
        return false;
    QVideoSettings::setQuality(value);
    switch (value) {
    case Low:
        setCaption(tr("低质量"));
        break;
    case Recommended:
        setCaption(tr("推荐"));
        break;
    case High:
        setCaption(tr("高质量"));
        break;
    case HD:
        setCaption(tr("高清"));
        break;
    default:
        break;
    }
    refreshLater();
    return true;
}

bool QHomeItem::selectFormat(int value, bool)
{
    if (checkBusy())
        return false;
    QVideoSettings::setFormat(value);
    static const QMap<int, QString> captions = {{MP4, QStringLiteral("MP4")},
                                                {FLV, QStringLiteral("FLV")},
                                                {WMV, QStringLiteral("WMV")},
                                                {AVI, QStringLiteral("AVI")}};
    if (captions.contains(value))
        setCaption(captions.value(value));
    refreshLater();
    return true;
}

bool QHomeItem::selectCamera(int state, const QString& name, const QString& text, bool force)
{
    if (!force && checkBusy())
        return false;
    QVideoSettings::setCameraType(state);
    if (state == On) {
        setCaption(text);
        frameButton_->setEnabled(true);
        off_ = false;
        setItemClass("class", QStringLiteral("normal"));
        QVideoSettings::setCameraName(name);
        // A Camera-mode recording holds the camera: a preview started now (by a device change)
        // could not open it, would end by itself and come back, again and again. The main window
        // starts the preview once the recording is over.
        if (QVideoSettings::getMode() != Camera || QMediaManager::instance()->isIdle())
            QCameraManager::instance()->start(name);
    } else {
        setCaption(state == NoDevice ? tr("无设备") : tr("关闭"));
        off_ = true;
        setItemClass("class", QStringLiteral("close"));
        frameButton_->setEnabled(state != NoDevice);
        QCameraManager::instance()->stop();
    }
    refreshLater();
    return true;
}

void QHomeItem::onSelectedQuality(int index)
{
    if (HMenuItem* entry = entries_.value(index))
        entry->onClicked();
}

void QHomeItem::onSelectedFormat(int index)
{
    if (HMenuItem* entry = entries_.value(index))
        entry->onClicked();
}

void QHomeItem::onRefreshCamera()
{
    QObject* modeItem = QEventManager::instance()->object(ModeItem);
    // Entries are deleted later; until then they must not answer the mode tile any more.
    for (QWidget* old : menu_->items()) {
        if (modeItem)
            disconnect(modeItem, nullptr, old, nullptr);
    }
    menu_->clear();

    const QStringList cameras = cameraNames();
    QMap<QString, QString> captions;
    QList<HMenuItem*> cameraEntries;
    for (int i = 0; i < cameras.size(); ++i) {
        const QString name = cameras.at(i);
        const QString text = tr("摄像头%1").arg(i + 1);
        captions.insert(name, text);
        auto* entry = new HMenuItem(text);
        connect(entry, &HMenuItem::clicked, this,
                [this, name, text] { return selectCamera(On, name, text, false); });
        menu_->addItem(entry);
        cameraEntries << entry;
        if (i == 0)
            QEventManager::instance()->connectSignal(ModeItem, SIGNAL(selected_camera()), entry,
                                                     SLOT(onClicked()));
    }
    auto* offEntry = new HMenuItem(tr("关闭"));
    connect(offEntry, &HMenuItem::clicked, this,
            [this] { return selectCamera(Off, QString(), QString(), false); });
    menu_->addItem(offEntry);

    int state = QVideoSettings::getCameraType();
    QString name = QVideoSettings::getCameraName();

    if (cameras.isEmpty()) {
        selectCamera(NoDevice, QString(), QString(), true);
        offEntry->setSelected(true);
        return;
    }
    if (QVideoSettings::getMode() == Camera) {
        if (!cameras.contains(name))
            name = captions.firstKey();
        selectCamera(On, name, captions.value(name), true);
        cameraEntries.at(cameras.indexOf(name))->setSelected(true);
        return;
    }
    // Anything but a present, chosen camera reads as switched off.
    if (state != On || !cameras.contains(name))
        state = Off;
    if (state == On)
        cameraEntries.at(cameras.indexOf(name))->setSelected(true);
    else
        offEntry->setSelected(true);
    selectCamera(state, name, captions.value(name), true);
}

bool QHomeItem::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == frameButton_) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                pressed_ = true;
            break;
        case QEvent::MouseButtonRelease:
            if (pressed_ && frameButton_->isEnabled() && menu_)
                menu_->popup(QCursor::pos());
            pressed_ = false;
            break;
        case QEvent::Enter:
            if (frameButton_->isEnabled())
                setItemClass("class", off_ ? QStringLiteral("close_hover") : QStringLiteral("normal_hover"));
            break;
        case QEvent::Leave:
            if (frameButton_->isEnabled())
                setItemClass("class", off_ ? QStringLiteral("close") : QStringLiteral("normal"));
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
