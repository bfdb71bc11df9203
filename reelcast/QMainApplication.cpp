#include "QMainApplication.h"

#include "CGlobal.h"
#include "CrashHandler.h"
#include "PlatformShell.h"
#include "QCustomUI.h"
#include "QGlobalSettings.h"
#include "QMainWidget.h"
#include "QPath.h"
#include "QSkin.h"

#include <QDir>
#include <QFileInfo>
#include <QResource>
#include <QTranslator>

QMainApplication::QMainApplication(int& argc, char** argv) : QSingleApplication(argc, argv)
{
    // Before anything else can fail.
    installCrashHandler(QCoreApplication::applicationName().toStdWString().c_str());
    QDir::setCurrent(QPath::programFolder());
    QGlobalSettings::load(QPath::programFolder() + QStringLiteral("/app.ini"));
    setServerName(QStringLiteral("reelcast_win"));
    QSkin::init();
}

void QMainApplication::initialize()
{
    QResource::registerResource(QPath::programFolder() + QStringLiteral("/skin/skin"), QString());
    CGlobal::init();
    QCustomUI::setAboutImage(QStringLiteral(":/image/logo.about.png"));
    loadLanguage();
}

void QMainApplication::loadLanguage()
{
    const QString file = QGlobalSettings::translationFile(QCoreApplication::applicationDirPath());
    if (!QFileInfo::exists(file))
        return;
    delete translator_;
    translator_ = new QTranslator();
    translator_->load(file);
    QCoreApplication::installTranslator(translator_);
}

int QMainApplication::runMain()
{
    platform::startStartupScript(QPath::programFolder().toStdWString());

    mainWindow_ = QSharedPointer<QMainWidget>::create();
    mainWindow_->show();
    return exec();
}

void QMainApplication::release()
{
    CGlobal::release();
}
