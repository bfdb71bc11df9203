#include "QBaseDialog.h"

#include "PlatformWindow.h"
#include "QCustomShadowEffect.h"
#include "QSkin.h"

#include <QKeyEvent>
#include <QTimer>

QBaseDialog::QBaseDialog(QWidget* parent) : QDialog(parent) {}

int QBaseDialog::execForeground()
{
    platform::setForegroundWindow(static_cast<std::uintptr_t>(winId()));
    return exec();
}

void QBaseDialog::initDialog(const QString& styleSheetPath)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    setProperty("dialog", true);
    installEventFilter(this);
    loadStyleSheet(styleSheetPath);

    auto* shadow = new QCustomShadowEffect(this);
    shadow->setBlurRadius(8);
    shadow->setDistance(1);
    shadow->setColor(QColor(0, 0, 0, 52));
    setGraphicsEffect(shadow);
    update();
}

void QBaseDialog::loadStyleSheet(const QString& path)
{
    setStyleSheet(QSkin::styleSheet(path));
}

void QBaseDialog::onEscape()
{
    reject();
}

void QBaseDialog::onEnter()
{
    accept();
}

void QBaseDialog::onClose()
{
    reject();
}

void QBaseDialog::onOK()
{
    accept();
}

bool QBaseDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Only presses that reach the dialog itself drag it: controls that take the mouse keep it.
    if (watched == this) {
        if (drag_.handle(this, event))
            return true;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Resize:
            // Without a compositor the shadow margin would show black: cut the window to its frame.
            // The layout places the children only after this event, so the cut follows it.
            if (!platform::translucentWindowsShown()) {
                QTimer::singleShot(0, this, [this] {
                    if (!childrenRect().isEmpty())
                        setMask(childrenRegion());
                });
            }
            break;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QBaseDialog::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        onEscape();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        onEnter();
        break;
    default:
        break;
    }
    // Past QDialog, whose own Esc and default-button handling would act a second time.
    QWidget::keyPressEvent(event);
}
