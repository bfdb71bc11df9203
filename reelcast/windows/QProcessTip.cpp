#include "QProcessTip.h"

#include "PlatformShell.h"
#include "QCustomShadowEffect.h"
#include "QMediaManager.h"
#include "QSkin.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QTimerEvent>
#include <QUrl>
#include <QVBoxLayout>

namespace {
// Process-wide and never reset: a new waiting state goes on where the last one stopped.
int s_frame = 1;
constexpr int frameCount = 12;
} // namespace

QProcessTip::QProcessTip(QWidget* parent) : QWidget(parent)
{
    buildForm();
    setAttribute(Qt::WA_TranslucentBackground);
    // Frameless only: with the main window as parent it is a child drawn over its content.
    setWindowFlags(Qt::FramelessWindowHint);
    setStyleSheet(QSkin::styleSheet(QStringLiteral(":/qss/ProcessTip.css")));
    btnOpenFolder_->setProperty("class", QStringLiteral("btn_normal"));
    btnPlayVideo_->setProperty("class", QStringLiteral("btn_highlight"));

    auto* shadow = new QCustomShadowEffect(this);
    shadow->setBlurRadius(8);
    shadow->setDistance(4);
    shadow->setColor(QColor(0, 0, 0, 32));
    setGraphicsEffect(shadow);

    connect(btnClose_, &QPushButton::clicked, this, &QWidget::hide);
    connect(btnOpenFolder_, &QPushButton::clicked, this, &QProcessTip::onBtnOpenFolder);
    connect(btnPlayVideo_, &QPushButton::clicked, this, &QProcessTip::onBtnPlayVideo);
    hide();
}

void QProcessTip::buildForm()
{
    setObjectName(QStringLiteral("QProcessTip"));
    resize(396, 294);
    auto* outer = new QHBoxLayout(this);
    outer->setSpacing(0);
    outer->setContentsMargins(8, 8, 8, 8);
    auto* frameMain = new QFrame(this);
    frameMain->setObjectName(QStringLiteral("frameMain"));
    frameMain->setFrameShape(QFrame::StyledPanel);
    frameMain->setFrameShadow(QFrame::Raised);
    outer->addWidget(frameMain);

    auto* column = new QVBoxLayout(frameMain);
    column->setSpacing(0);
    column->setContentsMargins(0, 0, 0, 0);

    auto* frameTitle = new QFrame(frameMain);
    frameTitle->setObjectName(QStringLiteral("frameTitle"));
    frameTitle->setFixedHeight(30);
    frameTitle->setFrameShape(QFrame::StyledPanel);
    frameTitle->setFrameShadow(QFrame::Raised);
    auto* titleRow = new QHBoxLayout(frameTitle);
    titleRow->setSpacing(0);
    titleRow->setContentsMargins(14, 0, 5, 0);
    labelTitle_ = new QLabel(tr("提示"), frameTitle);
    labelTitle_->setObjectName(QStringLiteral("labelTitle"));
    titleRow->addWidget(labelTitle_);
    titleRow->addItem(new QSpacerItem(292, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    btnClose_ = new QPushButton(frameTitle);
    btnClose_->setObjectName(QStringLiteral("btnClose"));
    btnClose_->setFixedSize(30, 24);
    btnClose_->setCursor(Qt::PointingHandCursor);
    btnClose_->setFocusPolicy(Qt::NoFocus);
    titleRow->addWidget(btnClose_);
    column->addWidget(frameTitle);

    auto* imageRow = new QHBoxLayout();
    imageRow->setSpacing(6);
    imageRow->setContentsMargins(-1, 48, -1, 35);
    labelImage2_ = new QLabel(frameMain);
    labelImage2_->setObjectName(QStringLiteral("labelImage2"));
    labelImage2_->setFixedSize(64, 64);
    imageRow->addWidget(labelImage2_);
    labelImage1_ = new QLabel(frameMain);
    labelImage1_->setObjectName(QStringLiteral("labelImage1"));
    labelImage1_->setFixedSize(64, 64);
    imageRow->addWidget(labelImage1_);
    column->addLayout(imageRow);

    auto* textRow = new QHBoxLayout();
    textRow->setSpacing(6);
    textRow->setContentsMargins(-1, -1, -1, 0);
    labelText1_ = new QLabel(frameMain);
    labelText1_->setObjectName(QStringLiteral("labelText1"));
    textRow->addWidget(labelText1_, 0, Qt::AlignHCenter | Qt::AlignTop);
    column->addLayout(textRow);

    auto* buttonRow = new QHBoxLayout();
    buttonRow->setSpacing(24);
    buttonRow->setContentsMargins(-1, -1, -1, 26);
    buttonRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    btnOpenFolder_ = new QPushButton(tr("打开目录"), frameMain);
    btnOpenFolder_->setObjectName(QStringLiteral("btnOpenFolder"));
    btnPlayVideo_ = new QPushButton(tr("播放视频"), frameMain);
    btnPlayVideo_->setObjectName(QStringLiteral("btnPlayVideo"));
    for (QPushButton* button : {btnOpenFolder_, btnPlayVideo_}) {
        button->setFixedSize(100, 32);
        button->setCursor(Qt::PointingHandCursor);
        buttonRow->addWidget(button);
    }
    buttonRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    column->addLayout(buttonRow);
}

void QProcessTip::showWaiting()
{
    // One animation timer at a time: a second waiting state must not leave the first running.
    if (timerId_ == 0)
        timerId_ = startTimer(100, Qt::CoarseTimer);
    btnOpenFolder_->hide();
    btnPlayVideo_->hide();
    labelImage1_->hide();
    labelImage2_->show();
    labelText1_->setText(tr("正在生成视频文件，请耐心等待..."));
    show();
}

void QProcessTip::showResult()
{
    if (timerId_ != 0) {
        killTimer(timerId_);
        timerId_ = 0;
    }
    labelImage2_->hide();
    btnOpenFolder_->show();
    btnPlayVideo_->show();
    labelImage1_->show();
    labelText1_->setText(tr("视频文件已生成"));
    show();
}

void QProcessTip::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != timerId_)
        return;
    if (s_frame > frameCount)
        s_frame = 1;
    labelImage2_->setStyleSheet(QStringLiteral("border-image:url(:/animation/%1.png)").arg(s_frame));
    ++s_frame;
}

void QProcessTip::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (QWidget* window = parentWidget())
        move((window->width() - width()) / 2, (window->height() - height()) / 2);
}

void QProcessTip::onBtnOpenFolder()
{
    const QString path = QMediaManager::instance()->savedFile();
    if (!path.isEmpty())
        platform::revealFile(path.toStdWString());
}

void QProcessTip::onBtnPlayVideo()
{
    const QString path = QMediaManager::instance()->savedFile();
    if (!path.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
