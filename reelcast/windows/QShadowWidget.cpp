#include "QShadowWidget.h"

#include <QPainter>

namespace {
// Never destroyed before process exit: the tiles' menus keep connections to it.
QShadowWidget* s_instance = nullptr;
} // namespace

QShadowWidget::QShadowWidget(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    // The shade appears while the mode menu is open: taking the activation would close the menu,
    // and catching the pointer would end the hover that shows it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    setWindowFlag(Qt::WindowTransparentForInput);
}

// The main window owns the shade and may end before the menus that reach it do.
QShadowWidget::~QShadowWidget()
{
    if (s_instance == this)
        s_instance = nullptr;
}

void QShadowWidget::create(QWidget* parent)
{
    if (!s_instance)
        s_instance = new QShadowWidget(parent);
}

QShadowWidget* QShadowWidget::instance()
{
    if (!s_instance)
        s_instance = new QShadowWidget(nullptr);
    return s_instance;
}

void QShadowWidget::onShowShadow(QRect rect)
{
    setGeometry(rect);
    update();
    show();
}

void QShadowWidget::onHideShadow()
{
    hide();
}

void QShadowWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 160));
    painter.drawRect(0, 0, width(), height());
    if (QWidget* window = parentWidget()) {
        // Source composition: this punches a fully transparent hole where the main window is.
        const QPoint topLeft = mapFromGlobal(window->pos());
        painter.setBrush(QColor(0, 0, 0, 0));
        painter.drawRect(QRect(topLeft, window->size()));
    }
}
