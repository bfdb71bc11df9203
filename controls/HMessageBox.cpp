#include "HMessageBox.h"

#include "QSkin.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

HMessageBox::HMessageBox(QWidget* parent) : QBaseDialog(parent), parent_(parent)
{
    buildForm();
    initDialog(QStringLiteral(":/qss/MessageBox.css"));

    btnConfirm_->setProperty("class", QStringLiteral("btn_normal"));
    btnCancel_->setProperty("class", QStringLiteral("btn_highlight"));

    connect(btnClose_, &QPushButton::clicked, this, &HMessageBox::onClose);
    connect(btnCancel_, &QPushButton::clicked, this, [this] {
        onClose();
        emit clicked_1();
    });
    connect(btnConfirm_, &QPushButton::clicked, this, [this] {
        onOK();
        emit clicked_2();
    });
}

void HMessageBox::buildForm()
{
    setObjectName(QStringLiteral("HMessageBox"));
    resize(386, 196);
    setWindowTitle(QStringLiteral("HMessageBox"));
    auto* dialogLayout = new QHBoxLayout(this);
    dialogLayout->setSpacing(0);
    dialogLayout->setContentsMargins(4, 4, 4, 4);

    auto* frameMain = new QFrame(this);
    frameMain->setObjectName(QStringLiteral("frameMain"));
    frameMain->setFrameShape(QFrame::StyledPanel);
    frameMain->setFrameShadow(QFrame::Raised);
    dialogLayout->addWidget(frameMain);
    auto* mainLayout = new QVBoxLayout(frameMain);
    mainLayout->setSpacing(0);
    mainLayout->setContentsMargins(0, 0, 0, 0);

    auto* frameTitle = new QFrame(frameMain);
    frameTitle->setObjectName(QStringLiteral("frameTitle"));
    frameTitle->setFixedHeight(30);
    auto* titleLayout = new QHBoxLayout(frameTitle);
    titleLayout->setSpacing(0);
    titleLayout->setContentsMargins(14, 0, 5, 0);
    labelTitle_ = new QLabel(tr("提示"), frameTitle);
    labelTitle_->setObjectName(QStringLiteral("labelTitle"));
    titleLayout->addWidget(labelTitle_);
    titleLayout->addItem(new QSpacerItem(298, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    btnClose_ = new QPushButton(frameTitle);
    btnClose_->setObjectName(QStringLiteral("btnClose"));
    btnClose_->setFixedSize(30, 24);
    btnClose_->setCursor(Qt::PointingHandCursor);
    btnClose_->setFocusPolicy(Qt::NoFocus);
    titleLayout->addWidget(btnClose_);
    mainLayout->addWidget(frameTitle);

    auto* bodyLayout = new QHBoxLayout();
    bodyLayout->setSpacing(6);
    bodyLayout->setContentsMargins(34, 0, 18, 0);
    auto* iconLayout = new QVBoxLayout();
    iconLayout->setSpacing(6);
    iconLayout->setContentsMargins(0, 0, 18, 0);
    labelIcon_ = new QLabel(frameMain);
    labelIcon_->setObjectName(QStringLiteral("labelIcon"));
    labelIcon_->setFixedSize(40, 40);
    iconLayout->addWidget(labelIcon_);
    bodyLayout->addLayout(iconLayout);
    labelMsg_ = new QLabel(frameMain);
    labelMsg_->setObjectName(QStringLiteral("labelMsg"));
    labelMsg_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    labelMsg_->setWordWrap(true);
    bodyLayout->addWidget(labelMsg_);
    mainLayout->addLayout(bodyLayout);

    auto* buttonLayout = new QHBoxLayout();
    buttonLayout->setSpacing(24);
    buttonLayout->setContentsMargins(0, 0, 18, 17);
    buttonLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    btnConfirm_ = new QPushButton(tr("确定"), frameMain);
    btnConfirm_->setObjectName(QStringLiteral("btnConfirm"));
    btnConfirm_->setFixedSize(100, 32);
    btnConfirm_->setCursor(Qt::PointingHandCursor);
    buttonLayout->addWidget(btnConfirm_);
    btnCancel_ = new QPushButton(tr("取消"), frameMain);
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    btnCancel_->setFixedSize(100, 32);
    btnCancel_->setCursor(Qt::PointingHandCursor);
    buttonLayout->addWidget(btnCancel_);
    mainLayout->addLayout(buttonLayout);
}

void HMessageBox::setTitle(const QString& title)
{
    labelTitle_->setText(title);
}

void HMessageBox::setText(const QString& text)
{
    labelMsg_->setText(text);
}

void HMessageBox::setConfirmText(const QString& text)
{
    btnConfirm_->setText(text);
}

void HMessageBox::setButtons(int mask)
{
    btnConfirm_->setVisible(mask & 1);
    btnCancel_->setVisible(mask & 2);
    if (mask == 1)
        QSkin::setProperty(btnConfirm_, "class", QStringLiteral("btn_highlight"));
}

int HMessageBox::message(QWidget* parent, const QString& text, const QString& title, int buttons)
{
    // The box is a child of parent: if parent goes away while the box runs, the box goes with it,
    // so it is held by a guard rather than owned here.
    QPointer<HMessageBox> box = new HMessageBox(parent);
    box->setTitle(title);
    box->setText(text);
    box->setButtons(buttons);
    const int result = box->execForeground();
    delete box.data();
    return result == QDialog::Accepted ? 1 : 0;
}

void HMessageBox::resizeEvent(QResizeEvent* event)
{
    QBaseDialog::resizeEvent(event);
    if (parent_) {
        const QPoint corner((parent_->width() - width()) / 2, (parent_->height() - height()) / 2);
        move(parent_->mapToGlobal(corner));
    }
}
