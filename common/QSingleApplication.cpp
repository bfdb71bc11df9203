#include "QSingleApplication.h"

#include "PlatformChannel.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTranslator>
#include <QWidget>

QSingleApplication::QSingleApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QSingleApplication::~QSingleApplication()
{
    delete server_;
    server_ = nullptr;
    mainWindow_.reset();
    delete translator_;
    translator_ = nullptr;
}

QString QSingleApplication::serverAddress() const
{
    return QString::fromStdString(platform::localChannelAddress(serverName_.toStdString()));
}

int QSingleApplication::start()
{
    if (connectToRunningInstance())
        return 0;
    listen();
    initialize();
    const int result = runMain();
    release();
    return result;
}

bool QSingleApplication::connectToRunningInstance()
{
    const QString address = serverAddress();
    if (address.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(address, QIODevice::ReadWrite);
    if (!socket.waitForConnected(1000))
        return false;
    sendMessage(&socket);
    socket.disconnectFromServer();
    return true;
}

void QSingleApplication::listen()
{
    const QString address = serverAddress();
    if (address.isEmpty())
        return; // no private place for the channel: run unguarded rather than exposed
    server_ = new QLocalServer(this);
    connect(server_, &QLocalServer::newConnection, this, &QSingleApplication::newLocalConnection);
    if (!server_->listen(address) && server_->serverError() == QAbstractSocket::AddressInUseError) {
        // Left behind by an instance that was killed: nobody answered above.
        QLocalServer::removeServer(address);
        server_->listen(address);
    }
    // The folder is private already; the socket itself is made owner-only as well.
    if (server_->isListening())
        QFile::setPermissions(server_->fullServerName(), QFile::ReadOwner | QFile::WriteOwner);
}

void QSingleApplication::newLocalConnection()
{
    activateMainWindow();
}

void QSingleApplication::handleMessage(const QString&) {}

void QSingleApplication::sendMessage(QLocalSocket*) {}

void QSingleApplication::activateMainWindow()
{
    if (mainWindow_) {
        mainWindow_->showNormal();
        mainWindow_->raise();
        mainWindow_->activateWindow();
    }
    if (server_ && server_->hasPendingConnections()) {
        client_ = server_->nextPendingConnection();
        connect(client_, &QLocalSocket::readyRead, this, &QSingleApplication::onReadyRead);
        connect(client_, &QLocalSocket::disconnected, this, &QSingleApplication::onDisconnected);
    }
}

void QSingleApplication::onReadyRead()
{
    if (client_)
        handleMessage(QString::fromUtf8(client_->readAll()));
}

void QSingleApplication::onDisconnected()
{
    client_ = nullptr;
}

int QSingleApplication::runMain()
{
    return 0;
}

void QSingleApplication::initialize() {}

void QSingleApplication::release() {}
