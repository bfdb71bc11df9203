#include "QMainApplication.h"

#include "CGlobal.h"
#include "CrashHandler.h"
#include "PlatformProgram.h"
#include "PlatformShell.h"
#include "QCustomUI.h"
#include "QGlobalSettings.h"
#include "QLanguage.h"
#include "QMainWidget.h"
#include "QPath.h"
#include "QSkin.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QResource>
#include <QTranslator>

QMainApplication::QMainApplication(int& argc, char** argv) : QSingleApplication(argc, argv)
{
    // Before anything else can fail.
    installCrashHandler(QCoreApplication::applicationName().toStdWString().c_str());
    const std::wstring folder = platform::programFolder();
    if (!folder.empty())
        QPath::setProgramFolder(QString::fromStdWString(folder));
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
    const QString folder = QCoreApplication::applicationDirPath();
    const QString language = QLanguage::current(folder);
    // Qt's own texts (file dialog, context menus) and formats speak the same language.
    QLocale::setDefault(QLocale(language));
    if (language != QLatin1String("en")) {
        auto* qtTranslator = new QTranslator(this);
        if (qtTranslator->load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"),
                               QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qtTranslator);
        else
            delete qtTranslator;
    }

    const QString file = QGlobalSettings::translationFile(folder);
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
