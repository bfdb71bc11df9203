#include "QMainWidget.h"

#include "CHelpProvider.h"
#include "HMessageBox.h"
#include "QCameraManager.h"
#include "QCaptureWidget.h"
#include "QCommonMethod.h"
#include "QDeviceManager.h"
#include "QEventManager.h"
#include "QFloatBar.h"
#include "QGlobalSettings.h"
#include "QHomeItem.h"
#include "QKeyManager.h"
#include "QLanguageMenu.h"
#include "QMarkSettings.h"
#include "QMediaManager.h"
#include "QProcessCommand.h"
#include "QProcessTip.h"
#include "QSettingDialog.h"
#include "QShadowWidget.h"
#include "QSkin.h"
#include "QVideoSettings.h"
#include "RecordTypes.h"
#include "TPushButton.h"
#include "Utilities.h"
#include "ui_QMainWidget.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>

namespace {

// A recording starts only with this much room in the save folder; it is stopped when less is
// left than the recording manager needs to finish it (QMediaManager::lowSpaceLimit).
constexpr qint64 kStartFreeBytes = 1073741824;

// The cameras among the video inputs: the screen source listed first is not one.
QStringList cameraNames()
{
    QStringList names = QDeviceManager::videoInputNames();
    names.removeOne(QStringLiteral("screen-capture-recorder"));
    return names;
}

} // namespace

QMainWidget::QMainWidget(QWidget* parent) : QWidget(parent), ui_(new Ui::QMainWidgetClass)
{
    helpProvider_ = new CHelpProvider(this);
    ui_->setupUi(this);
    QMediaManager::instance();
    QKeyManager::instance();
    QShadowWidget::create(this);
    initialize();
    registerHotKeys();
    // Recordings left by a program or machine that went down, asked about once the window shows.
    QTimer::singleShot(500, this, [this] {
        offerRecovery(QMediaManager::instance()->unfinishedRecordings(),
                      tr("检测到未完成的录像，是否恢复并保存？"));
    });
}

QMainWidget::~QMainWidget()
{
    QCameraManager::instance()->stop();
    QKeyManager::instance()->clearHotKeys();
    QMediaManager::release();
    captureWidget_.reset();
    delete helpProvider_;
    helpProvider_ = nullptr;
    delete floatBar_;
    delete ui_;
}

void QMainWidget::initialize()
{
    const QString name = QGlobalSettings::appName();
    setWindowTitle(name);
    ui_->labelTitle->setText(name);

    setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/main.css")));
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);

    captureWidget_ = std::make_unique<QCaptureWidget>();
    floatBar_ = new QFloatBar();
    processTip_ = new QProcessTip(this);

    helpMenu_ = helpProvider_->initMenu();
    auto* support = new QAction(QIcon(QStringLiteral(":/Images/menuSupport.png")), tr("联系客服"), this);
    connect(support, &QAction::triggered, this, &QMainWidget::onUserContactUs);
    const QList<QAction*> actions = helpMenu_->actions();
    helpMenu_->insertAction(actions.size() > 1 ? actions.at(1) : nullptr, support);
    auto* languages = new QLanguageMenu(helpMenu_);
    helpMenu_->insertMenu(support, languages);
    connect(languages, &QLanguageMenu::changed_later, this,
            [this] { showMessage(tr("新的语言将在下次启动程序时生效。")); });

    const QString titleSheet =
        QSkin::styleSheet(QStringLiteral(":/qss/TPushButton.css"))
            .arg(QStringLiteral("14"), QStringLiteral("#FEFEFE"), QStringLiteral("#00A1FF"),
                 QStringLiteral("#FEFEFE"), QStringLiteral(":/image/btn.customer.png"),
                 QStringLiteral(":/image/btn.customer.png"), QStringLiteral(":/image/btn.menu.png"));
    btnSettings_ = new TPushButton(this);
    btnSettings_->setObjectName(QStringLiteral("BtnSettings"));
    btnMenu_ = new TPushButton(this);
    btnMenu_->setObjectName(QStringLiteral("BtnMenu"));
    for (TPushButton* button : {btnSettings_, btnMenu_}) {
        button->setStyleSheet(titleSheet);
        button->setIconSize(14, 14);
        button->setIconVisible(false);
    }
    btnSettings_->setText(tr("设置"));
    btnMenu_->setText(tr("菜单"));
    ui_->hLayoutTitle->addWidget(btnSettings_);
    ui_->hLayoutTitle->addWidget(btnMenu_);

    // No drop shadow on this window: painted through a graphics effect, the window (or, with the
    // effect on its frame, the progress panel over it) stopped repainting correctly after the
    // low-space question and after a stop. The 4 px margin stays for a compositor's shadow.

    for (const HomeItemInfo& info : QHomeItem::homeItems()) {
        auto* item = new QHomeItem(info);
        connect(item, &QHomeItem::show_message, this, &QMainWidget::showMessage);
        ui_->hLayoutItems->addWidget(item);
    }

    btnSavePath_ = createButton(tr("保存目录"), 12, 14, 4, QStringLiteral("btn_bottom"),
                                QStringLiteral(":/image/label.path.png"));
    btnSavePath_->setObjectName(QStringLiteral("btnSavePath"));
    btnWaterMark_ = createButton(tr("水印设置"), 14, 13, 4, QStringLiteral("btn_bottom"),
                                 QStringLiteral(":/image/label.mark.png"));
    btnWaterMark_->setObjectName(QStringLiteral("btnWaterMark"));
    ui_->hLayoutBottom->addWidget(btnSavePath_);
    ui_->hLayoutBottom->addWidget(btnWaterMark_);

    ui_->hLayoutRecord->setSpacing(27);
    btnStart_ = createButton(tr("开始录制"), 20, 20, 8, QStringLiteral("btn_common"),
                             QStringLiteral(":/image/label.record.png"));
    btnStart_->setObjectName(QStringLiteral("btnStartRecord"));
    btnPause_ = createButton(tr("暂停录制"), 20, 20, 8, QStringLiteral("btn_common"),
                             QStringLiteral(":/image/label.pause.png"));
    btnPause_->setObjectName(QStringLiteral("btnPauseRecord"));
    btnStop_ = createButton(tr("结束录制"), 20, 20, 8, QStringLiteral("btn_stop"),
                            QStringLiteral(":/image/label.stop.png"));
    btnStop_->setObjectName(QStringLiteral("btnStopRecord"));
    for (TPushButton* button : {btnStart_, btnPause_, btnStop_}) {
        // As wide as the caption needs where 124 px cut it.
        button->setMinimumWidth(124);
        button->setFixedHeight(44);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        ui_->hLayoutRecord->addWidget(button);
    }
    btnPause_->hide();
    btnStop_->hide();

    connect(ui_->btnMin, &QPushButton::clicked, this, &QMainWidget::onBtnMin);
    connect(ui_->btnClose, &QPushButton::clicked, this, &QMainWidget::onBtnClose);
    connect(btnMenu_, &TButton::clicked, this, &QMainWidget::onBtnMenu);
    connect(btnSettings_, &TButton::clicked, this, &QMainWidget::onBtnSettings);
    connect(btnStart_, &TButton::clicked, this, &QMainWidget::onBtnStartRecord);
    connect(btnStop_, &TButton::clicked, this, &QMainWidget::onBtnStopRecord);
    connect(btnPause_, &TButton::clicked, this, &QMainWidget::onBtnPauseRcord);
    connect(btnWaterMark_, &TButton::clicked, this, &QMainWidget::onBtnWaterMark);
    connect(btnSavePath_, &TButton::clicked, this, &QMainWidget::onBtnSavePath);

    connect(floatBar_, &QFloatBar::signal_close, this, &QMainWidget::onScreenClose);
    connect(floatBar_, &QFloatBar::signal_stop, this, &QMainWidget::onScreenStop);
    connect(captureWidget_.get(), &QCaptureWidget::selected, this, &QMainWidget::onSelectedArea);
    connect(floatBar_, &QFloatBar::signal_pause, this, [this] { setPauseCaption(true); });
    connect(floatBar_, &QFloatBar::signal_resume, this, [this] { setPauseCaption(false); });
    connect(QMediaManager::instance(), &QMediaManager::record_error, this, &QMainWidget::onRecordError);
    // The desktop stopped sharing its screen: what was recorded is saved as after a stop.
    connect(QMediaManager::instance(), &QMediaManager::cast_ended, this, [this](QString msg) {
        onKeyStop();
        QTimer::singleShot(100, this, [this, msg] { showMessage(msg); });
    });
    connect(QKeyManager::instance(), &QKeyManager::key_start, this, &QMainWidget::onKeyStart);
    connect(QKeyManager::instance(), &QKeyManager::key_stop, this, &QMainWidget::onKeyStop);

    installEventFilter(this);
    ui_->frameTitle->installEventFilter(this);
    qApp->installEventFilter(this);
    setMouseTracking(true);
    ui_->frameTitle->setMouseTracking(true);

    ui_->stackedWidget->setCurrentIndex(0);
    updateDiskLabel();
    QEventManager::instance()->connectSignal(MediaManager, SIGNAL(time_changed(quint32)), this,
                                             SLOT(onTimeChanged(quint32)));
}

TPushButton* QMainWidget::createButton(const QString& text, int iconWidth, int iconHeight, int spacing,
                                       const QString& cls, const QString& icon)
{
    auto* button = new TPushButton(this);
    button->setIconSize(iconWidth, iconHeight);
    button->setText(text);
    button->setSpacing(spacing);
    button->setProperty("class", cls);
    setButtonIcon(button, icon);
    return button;
}

void QMainWidget::setButtonIcon(TPushButton* button, const QString& icon)
{
    button->setStyleSheet(QStringLiteral("QLabel#buttonIcon{border-image:url(%1)}").arg(icon));
}

void QMainWidget::onBtnMin()
{
    showMinimized();
}

void QMainWidget::onBtnClose()
{
    close();
}

void QMainWidget::onBtnMenu()
{
    const int offset = (helpMenu_->sizeHint().width() - btnMenu_->width()) / 2;
    const QPoint point = ui_->frameTitle->mapToGlobal(QPoint(btnMenu_->pos().x(), 0));
    helpMenu_->popup(QPoint(point.x() - offset, point.y() + ui_->frameTitle->height()));
}

void QMainWidget::onBtnSettings()
{
    if (!checkBusy())
        openSettings(0);
}

void QMainWidget::onBtnSavePath()
{
    if (!checkBusy())
        openSettings(0);
}

void QMainWidget::onBtnWaterMark()
{
    if (!checkBusy())
        openSettings(2);
}

void QMainWidget::onUserContactUs()
{
    QCommonMethod::openUrl(QStringLiteral("chatwithus"), QString());
}

void QMainWidget::showMessage(const QString& text)
{
    HMessageBox::message(this, text, tr("提示"), 1);
}

bool QMainWidget::askToChange(const QString& text)
{
    HMessageBox box(this);
    box.setText(text);
    box.setConfirmText(tr("去修改"));
    return box.execForeground() == QDialog::Accepted;
}

bool QMainWidget::checkBusy()
{
    if (QMediaManager::instance()->isIdle())
        return false;
    showMessage(tr("录制过程中，不能更改选项！"));
    return true;
}

void QMainWidget::openSettings(int page)
{
    QSettingDialog dialog(this, page);
    connect(this, &QMainWidget::prepare_screen, &dialog, &QBaseDialog::onClose);
    dialog.execForeground();
    QMarkSettings::refresh();
    QTimer::singleShot(100, this, [this] { updateDiskLabel(); });
}

void QMainWidget::updateDiskLabel()
{
    freeBytes_ = qint64(diskFreeBytes(QVideoSettings::getSavePath()));
    const qint64 recorded = QMediaManager::instance()->backupSize();
    ui_->labelDiskText->setText(
        QStringLiteral("(%1/%2)").arg(formatSize(quint64(recorded)), formatSize(quint64(freeBytes_))));
}

void QMainWidget::registerHotKeys()
{
    QKeyManager::instance()->registerStored();
    // Said once, when the window shows and no other question is open.
    QTimer::singleShot(800, this, &QMainWidget::noticeHeldHotKeys);
}

void QMainWidget::noticeHeldHotKeys()
{
    if (QApplication::activeModalWidget() || !isVisible()) {
        QTimer::singleShot(1000, this, &QMainWidget::noticeHeldHotKeys);
        return;
    }
    QKeyManager* keys = QKeyManager::instance();
    QStringList held;
    if (keys->isHeldElsewhere(0))
        held << QVideoSettings::getKeyStartFirst() + QLatin1Char('+') + QVideoSettings::getKeyStartSecond();
    if (keys->isHeldElsewhere(1))
        held << QVideoSettings::getKeyStopFirst() + QLatin1Char('+') + QVideoSettings::getKeyStopSecond();
    if (held.isEmpty())
        return;
    HMessageBox box(this);
    box.setText(tr("快捷键 %1 已被其它程序占用，按下时不会生效。请在设置中更换。").arg(held.join(tr("、"))));
    box.setButtons(3);
    box.setConfirmText(tr("去设置"));
    const bool change = box.execForeground() == QDialog::Accepted;
    // The other program may have let go meanwhile.
    if (keys->retryHeld() || !change || checkBusy())
        return;
    openSettings(1);
}

bool QMainWidget::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            pressPoint_ = QCursor::pos();
            pressed_ = true;
        }
        break;
    case QEvent::MouseButtonRelease:
        pressed_ = false;
        break;
    case QEvent::MouseMove: {
        const QRect r = geometry();
        const QPoint c = QCursor::pos();
        if (!pressed_) {
            const bool left = c.x() <= r.left() + 3, right = c.x() >= r.right() - 3;
            const bool top = c.y() <= r.top() + 3, bottom = c.y() >= r.bottom() - 3;
            if (left && top)
                edgeZone_ = 13;
            else if (right && top)
                edgeZone_ = 14;
            else if (left && bottom)
                edgeZone_ = 16;
            else if (right && bottom)
                edgeZone_ = 17;
            else if (left)
                edgeZone_ = 10;
            else if (right)
                edgeZone_ = 11;
            else if (top)
                edgeZone_ = 12;
            else if (bottom)
                edgeZone_ = 15;
            else {
                edgeZone_ = 0;
                setCursor(Qt::ArrowCursor);
            }
            break;
        }
        if (!r.contains(pressPoint_)) {
            pressed_ = false;
            break;
        }
        if (edgeZone_ == 0 && watched != ui_->frameTitle) {
            // Only a press on the title bar itself drags; one on a tile or button does not.
            if (!ui_->frameTitle->geometry().contains(ui_->frameTitle->mapFromGlobal(pressPoint_)))
                pressed_ = false;
            break;
        }
        const QPoint position = pos() + (c - pressPoint_);
        pressPoint_ = c;
        if (edgeZone_ == 0)
            move(position);
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void QMainWidget::closeEvent(QCloseEvent* event)
{
    if (HMessageBox::message(this, tr("确定要退出程序吗？"), tr("提示"), 3) != 1)
        event->ignore();
}

void QMainWidget::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    QTimer::singleShot(50, this, [this] {
        if (btnPause_)
            btnPause_->update();
    });
}

void QMainWidget::onBtnStartRecord()
{
    QMediaManager* manager = QMediaManager::instance();
    // A start while a recording still runs or is being saved would be refused by the manager
    // and leave the window minimised with nothing recording.
    if (manager->isFinishing()) {
        showMessage(tr("视频文件正在保存，请稍候再开始录制！"));
        return;
    }
    if (!manager->isIdle())
        return;
    if (freeBytes_ < kStartFreeBytes) {
        if (askToChange(tr("录屏开启失败，请选择大于%1的保存目录。请重新修改后重试！")
                            .arg(formatSize(quint64(kStartFreeBytes)))))
            QTimer::singleShot(50, this, [this] { openSettings(0); });
        return;
    }
    const int mode = QVideoSettings::getMode();
    QProcessCommand::endStrayEncoders();
    if (mode == Area) {
        captureWidget_->showScreens();
        return;
    }
    if (mode == Camera) {
        if (cameraNames().isEmpty()) {
            showMessage(tr("未检测到设备，请安装后再尝试"));
            return;
        }
        QCameraManager::instance()->stop();
    }
    setRecordingLook();
    floatBar_->placeAtCorner();
    floatBar_->startRecording();
    if (mode == Camera ||
        !QGlobalSettings::getBool(QStringLiteral("default"), QStringLiteral("hide_toolbar"), false))
        floatBar_->show();
}

void QMainWidget::onSelectedArea(QRect rect)
{
    QMediaManager::instance()->setRect(rect);
    floatBar_->startRecording();
    floatBar_->placeNearArea(rect);
    setRecordingLook();
    floatBar_->show();
}

void QMainWidget::onBtnPauseRcord()
{
    if (!QMediaManager::instance()->isIdle())
        floatBar_->onBtnState1();
}

void QMainWidget::setPauseCaption(bool paused)
{
    btnPause_->setText(paused ? tr("继续录制") : tr("暂停录制"));
    setButtonIcon(btnPause_, paused ? QStringLiteral(":/image/label.record.png")
                                    : QStringLiteral(":/image/label.pause.png"));
    btnPause_->refreshStyle();
}

void QMainWidget::onKeyStart()
{
    QMediaManager* manager = QMediaManager::instance();
    if (manager->isIdle()) {
        emit prepare_screen();
        onBtnStartRecord();
    } else if (manager->state() != Stopped) {
        // While the file is being saved there is nothing to pause; the bar would take the key
        // as a new start that the manager refuses.
        floatBar_->onBtnState1();
    }
}

void QMainWidget::onKeyStop()
{
    if (!QMediaManager::instance()->isIdle())
        floatBar_->onBtnState2();
}

void QMainWidget::onBtnStopRecord()
{
    onKeyStop();
}

void QMainWidget::onScreenStop()
{
    // Unique: a stop that the manager ignores must not leave a second connection behind,
    // which would save the next recording twice.
    connect(QMediaManager::instance(), &QMediaManager::record_finished, this, &QMainWidget::onRecordStoped,
            Qt::UniqueConnection);
}

void QMainWidget::onRecordStoped(bool, QString)
{
    QMediaManager* manager = QMediaManager::instance();
    if (captureWidget_)
        captureWidget_->closeScreens();
    floatBar_->hide();
    showNormal();
    processTip_->showWaiting();
    QTimer::singleShot(100, processTip_, [this] { processTip_->update(); });
    connect(manager, &QMediaManager::finished, this, &QMainWidget::onRecordFinished, Qt::UniqueConnection);
    manager->save();
    disconnect(manager, &QMediaManager::record_finished, this, &QMainWidget::onRecordStoped);
}

void QMainWidget::onRecordFinished(bool ok, QString msg)
{
    QMediaManager* manager = QMediaManager::instance();
    disconnect(manager, &QMediaManager::finished, this, &QMainWidget::onRecordFinished);
    if (ok) {
        processTip_->showResult();
        QTimer::singleShot(100, this, [this] { updateDiskLabel(); });
        manager->cleanup();
    } else {
        // The waiting panel would otherwise keep spinning behind the message for a file that
        // will not come.
        processTip_->hide();
        HMessageBox::message(this, msg, tr("提示"), 1);
        floatBar_->hide();
        showNormal();
    }
    resetRecordingLook();
}

void QMainWidget::onRecordError(QString msg)
{
    // No stop will come for this recording: a later pause must not be taken for it.
    disconnect(QMediaManager::instance(), &QMediaManager::record_finished, this,
               &QMainWidget::onRecordStoped);
    if (captureWidget_)
        captureWidget_->closeScreens();
    floatBar_->hide();
    showNormal();
    resetRecordingLook();
    // A start the user called off in the desktop's own dialog: nothing to say.
    if (msg.isEmpty())
        return;
    QTimer::singleShot(50, this, [this, msg] {
        // What the runs recorded before the encoder died is still on disk: offer it at once.
        const QString folder = QMediaManager::instance()->workFolder();
        if (QMediaManager::instance()->unfinishedRecordings().contains(folder))
            offerRecovery({folder}, msg + QLatin1Char('\n') + tr("已录制的部分仍可保存，是否保存？"));
        else
            HMessageBox::message(this, msg, tr("提示"), 1);
    });
}

void QMainWidget::offerRecovery(const QStringList& folders, const QString& question)
{
    if (folders.isEmpty() || !QMediaManager::instance()->isIdle())
        return;
    // Cancel keeps the folders for the next start: nothing recorded goes without the user's word.
    if (HMessageBox::message(this, question, tr("提示"), 3) == 1)
        recoverFolders(folders);
}

void QMainWidget::recoverFolders(QStringList folders)
{
    QMediaManager* manager = QMediaManager::instance();
    while (!folders.isEmpty() && !manager->recover(folders.takeFirst())) {
    }
    if (manager->isIdle())
        return;
    // The merge waits while any encoder runs, the camera preview's too; resetRecordingLook()
    // starts the preview again once the save has ended.
    QCameraManager::instance()->stop();
    // As after a stop: the waiting panel, then the result of the save.
    showNormal();
    processTip_->showWaiting();
    QTimer::singleShot(100, processTip_, [this] { processTip_->update(); });
    connect(manager, &QMediaManager::finished, this, &QMainWidget::onRecordFinished, Qt::UniqueConnection);
    if (!folders.isEmpty()) {
        auto* next = new QObject(this);
        connect(manager, &QMediaManager::finished, next, [this, next, folders] {
            next->deleteLater();
            QTimer::singleShot(0, this, [this, folders] { recoverFolders(folders); });
        });
    }
    manager->save();
}

void QMainWidget::onScreenClose()
{
    if (captureWidget_)
        captureWidget_->closeScreens();
    floatBar_->hide();
    showNormal();
}

void QMainWidget::onTimeChanged(uint curTime)
{
    ui_->labelTimeText->setText(formatDuration(curTime));
    updateDiskLabel();
    if (freeBytes_ < QMediaManager::instance()->lowSpaceLimit() && !lowDiskWarned_) {
        lowDiskWarned_ = true;
        QTimer::singleShot(50, this, [this] { handleLowDisk(); });
    }
    btnPause_->update();
    btnStop_->update();
}

void QMainWidget::handleLowDisk()
{
    struct ClearWarned
    {
        bool& warned;
        ~ClearWarned() { warned = false; }
    } clearWarned{lowDiskWarned_};
    floatBar_->pauseRecording();
    floatBar_->hide();
    showNormal();
    if (askToChange(tr("录屏已停止，检测到保存空间不足。请重新修改后重试！")))
        openSettings(0);
    onBtnStopRecord();
}

void QMainWidget::setRecordingLook()
{
    btnStart_->hide();
    btnPause_->show();
    btnStop_->show();
    showMinimized();
}

void QMainWidget::resetRecordingLook()
{
    btnStop_->hide();
    btnPause_->hide();
    // A recording stopped while paused would otherwise start the next one reading "继续录制".
    setPauseCaption(false);
    ui_->labelTimeText->setText(QStringLiteral("00:00:00"));
    btnStart_->show();
    QTimer::singleShot(50, this, [this] {
        ui_->labelTimeText->update();
        btnStart_->update();
        btnPause_->update();
        btnStop_->update();
    });
    if (QVideoSettings::getMode() == Camera)
        QCameraManager::instance()->start(QVideoSettings::getCameraName());
}
