#pragma once

#include <QApplication>
#include <QPointer>
#include <QSharedPointer>
#include <QString>

class QLocalServer;
class QLocalSocket;
class QTranslator;
class QWidget;

// Keeps the program to one running instance per user and fixes the order of its life:
// initialize(), runMain(), release().
class QSingleApplication : public QApplication
{
    Q_OBJECT
public:
    QSingleApplication(int& argc, char** argv);
    ~QSingleApplication() override;

    virtual int start();

    // The address the channel listens on (a socket path on Linux).
    QString serverAddress() const;

public slots:
    virtual void newLocalConnection();

protected:
    virtual void handleMessage(const QString& message);
    virtual void sendMessage(QLocalSocket* socket);
    virtual void activateMainWindow();
    virtual int runMain();
    virtual void initialize();
    virtual void release();

    void setServerName(const QString& name) { serverName_ = name; }

protected slots:
    void onReadyRead();
    void onDisconnected();

protected:
    // Declared in this order so that destruction removes the server first, then the
    // main window, then the translator.
    QTranslator* translator_ = nullptr;
    QSharedPointer<QWidget> mainWindow_;
    QLocalServer* server_ = nullptr;

private:
    bool connectToRunningInstance();
    void listen();

    QString serverName_;
    QPointer<QLocalSocket> client_;
};
