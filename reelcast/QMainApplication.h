#pragma once

#include "QSingleApplication.h"

class QMainApplication : public QSingleApplication
{
    Q_OBJECT
public:
    QMainApplication(int& argc, char** argv);

protected:
    void initialize() override;
    int runMain() override;
    void release() override;
    // "reelcast --toggle" and "reelcast --stop" reach the running instance as the hot keys do,
    // so that a desktop without global hot keys for us can bind them as its own shortcuts.
    void sendMessage(QLocalSocket* socket) override;
    void handleMessage(const QString& message) override;
    void activateMainWindow() override;

private:
    void loadLanguage();
    // Once per user on a desktop without global hot keys for the program: how to bind them.
    void noticeDesktopShortcuts();
};
