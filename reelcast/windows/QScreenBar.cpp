#include "QScreenBar.h"

#include <QFile>
#include <QHBoxLayout>
#include <QPushButton>

QScreenBar::QScreenBar(QWidget* parent)
    : QFrame(parent), m_btnApply(new QPushButton(tr("完成"), this)),
      m_btnCancel(new QPushButton(tr("取消"), this)), m_layout(new QHBoxLayout(this))
{
    setFixedSize(150, 36);
    setObjectName("screenBar");
    setCursor(Qt::ArrowCursor);
    hide();

    QFile css(":/qss/ScreenBar.css");
    if (css.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(css.readAll()));

    m_layout->setContentsMargins(2, 2, 2, 2);
    m_layout->setSpacing(2);
    for (QPushButton* button : {m_btnApply, m_btnCancel}) {
        button->setFixedSize(60, 28);
        button->setCursor(Qt::PointingHandCursor);
        m_layout->addWidget(button);
    }
    m_btnApply->setObjectName("btnApply");
    m_btnCancel->setObjectName("btnCancel");

    connect(m_btnApply, &QPushButton::clicked, this, &QScreenBar::apply);
    connect(m_btnCancel, &QPushButton::clicked, this, &QScreenBar::reject);
}

QScreenBar::~QScreenBar() = default;
