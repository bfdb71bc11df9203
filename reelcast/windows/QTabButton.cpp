#include "QTabButton.h"

#include "QSkin.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

QTabButton::QTabButton(QWidget* parent) : TButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setProperty("class", QStringLiteral("tab_normal"));
    setCheckable(true);
    setFixedHeight(42);

    m_outerLayout = new QHBoxLayout(this);
    m_outerLayout->setSpacing(6);
    m_outerLayout->setContentsMargins(0, 0, 0, 0);
    m_frame = new QFrame(this);
    m_outerLayout->addWidget(m_frame);
    m_innerLayout = new QHBoxLayout(m_frame);
    m_innerLayout->setSpacing(6);
    m_innerLayout->setContentsMargins(0, 0, 0, 0);
    m_text = new QLabel(QStringLiteral("Button"), m_frame);
    m_text->setObjectName(QStringLiteral("buttonText"));
    m_text->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_text->setProperty("class", QStringLiteral("tab_normal"));
    m_innerLayout->addWidget(m_text);

    installEventFilter(this);
}

bool QTabButton::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && isEnabled()) {
        if (event->type() == QEvent::Enter)
            setClass(QStringLiteral("tab_hover"));
        else if (event->type() == QEvent::Leave && !isChecked())
            setClass(QStringLiteral("tab_normal"));
    }
    return TButton::eventFilter(watched, event);
}

void QTabButton::setChecked(bool on)
{
    TButton::setChecked(on);
    setClass(isChecked() ? QStringLiteral("tab_hover") : QStringLiteral("tab_normal"));
}

void QTabButton::toggle()
{
    setChecked(true);
}

void QTabButton::setText(const QString& text)
{
    m_text->setText(text);
}

QString QTabButton::text() const
{
    return m_text->text();
}

void QTabButton::setClass(const QString& value)
{
    QSkin::setProperty(this, "class", value);
    QSkin::setProperty(m_text, "class", value);
}
