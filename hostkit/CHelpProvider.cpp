#include "CHelpProvider.h"

#include "QCommonMethod.h"
#include "QCustomUI.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>

CHelpProvider::CHelpProvider(QWidget* parent) : QObject(parent), window_(parent) {}

CHelpProvider::~CHelpProvider()
{
    delete menu_;
}

QMenu* CHelpProvider::initMenu()
{
    if (menu_)
        return menu_;
    // No widget parent: the menu belongs to the provider, not to the window's layout.
    menu_ = new QMenu();
    menu_->setObjectName(QStringLiteral("helpMenu"));
    QAction* help = menu_->addAction(tr("使用帮助"));
    help->setObjectName(QStringLiteral("actionHelp"));
    connect(help, &QAction::triggered, this, &CHelpProvider::showHelp);
    QAction* about = menu_->addAction(tr("关于"));
    about->setObjectName(QStringLiteral("actionAbout"));
    connect(about, &QAction::triggered, this, &CHelpProvider::showAbout);
    return menu_;
}

void CHelpProvider::showHelp()
{
    QCommonMethod::openUrl(QStringLiteral("index"), QString());
}

void CHelpProvider::showAbout()
{
    QMessageBox box(window_);
    box.setWindowTitle(tr("关于"));
    const QString name = window_ ? window_->windowTitle() : QApplication::applicationName();
    box.setText(QStringLiteral("<b>%1</b>").arg(name.toHtmlEscaped()));
    box.setInformativeText(tr("版本 %1\n录制屏幕、摄像头和声音。").arg(QApplication::applicationVersion()));
    const QPixmap logo(QCustomUI::aboutImage());
    if (!logo.isNull())
        box.setIconPixmap(logo.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    box.exec();
}
