#include "QMainApplication.h"

#include "CGlobal.h"
#include "CSetting.h"
#include "CrashHandler.h"
#include "HMessageBox.h"
#include "PlatformDesktopShortcuts.h"
#include "PlatformProgram.h"
#include "PlatformSession.h"
#include "PlatformShell.h"
#include "QCustomUI.h"
#include "QGlobalSettings.h"
#include "QKeyManager.h"
#include "QLanguage.h"
#include "QMainWidget.h"
#include "QPath.h"
#include "QSkin.h"
#include "QVideoSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QResource>
#include <QTimer>
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

QMainApplication::~QMainApplication() = default;

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
    if (platform::waylandSession())
        bindDesktopShortcuts();
    return exec();
}

void QMainApplication::bindDesktopShortcuts()
{
    auto trigger = [](const QString& first, const QString& second) {
        return (first + QLatin1Char('+') + second).toUpper().toStdString();
    };
    shortcuts_ = std::make_unique<platform::DesktopShortcuts>();
    shortcuts_->bind(
        {{"start-pause", tr("开始或暂停录制").toStdString(),
          trigger(QVideoSettings::getKeyStartFirst(), QVideoSettings::getKeyStartSecond())},
         {"stop", tr("停止录制").toStdString(),
          trigger(QVideoSettings::getKeyStopFirst(), QVideoSettings::getKeyStopSecond())}},
        [this](bool bound) {
            QKeyManager::instance()->setBinding(bound ? QKeyManager::Binding::Desktop
                                                      : QKeyManager::Binding::Unavailable);
            if (!bound)
                QTimer::singleShot(1000, this, [this] { noticeDesktopShortcuts(); });
        },
        [](const std::string& id) {
            if (id == "start-pause")
                QKeyManager::instance()->onKeyStart();
            else if (id == "stop")
                QKeyManager::instance()->onKeyStop();
        });
}

void QMainApplication::noticeDesktopShortcuts()
{
    const QString group = QStringLiteral("wayland");
    const QString key = QStringLiteral("shortcut_notice");
    if (CSetting::getInt(group, key, 0) != 0 || !mainWindow_)
        return;
    CSetting::setValue(group, key, 1);
    HMessageBox::message(mainWindow_.data(),
                         tr("此桌面不提供全局快捷键。请在桌面的键盘设置中把“reelcast --toggle”（开始/暂停）"
                            "和“reelcast --stop”（停止）设为快捷键。"),
                         tr("提示"), 1);
}

void QMainApplication::sendMessage(QLocalSocket* socket)
{
    const QStringList arguments = QCoreApplication::arguments();
    QByteArray command;
    if (arguments.contains(QStringLiteral("--toggle")))
        command = "toggle\n";
    else if (arguments.contains(QStringLiteral("--stop")))
        command = "stop\n";
    if (command.isEmpty())
        return;
    socket->write(command);
    socket->waitForBytesWritten(1000);
}

void QMainApplication::handleMessage(const QString& message)
{
    if (message.trimmed() == QLatin1String("toggle"))
        QKeyManager::instance()->onKeyStart();
    else if (message.trimmed() == QLatin1String("stop"))
        QKeyManager::instance()->onKeyStop();
}

void QMainApplication::activateMainWindow()
{
    if (!server_ || !server_->hasPendingConnections()) {
        QSingleApplication::activateMainWindow();
        return;
    }
    // A command arrives at once and must not bring the window up over a recording; a plain
    // second start sends nothing and goes, and then the window comes to the front.
    QLocalSocket* socket = server_->nextPendingConnection();
    auto commanded = QSharedPointer<bool>::create(false);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, commanded] {
        const QString message = QString::fromUtf8(socket->readAll());
        if (message.trimmed().isEmpty())
            return;
        *commanded = true;
        handleMessage(message);
    });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket, commanded] {
        if (!*commanded)
            QSingleApplication::activateMainWindow();
        socket->deleteLater();
    });
}

void QMainApplication::release()
{
    CGlobal::release();
}
