#pragma once

#include "QSingleApplication.h"

#include <memory>

namespace platform {
class DesktopShortcuts;
}

class QMainApplication : public QSingleApplication
{
    Q_OBJECT
public:
    QMainApplication(int& argc, char** argv);
    ~QMainApplication() override;

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
    // On a Wayland desktop: the two hot keys bound by the desktop where it offers that.
    void bindDesktopShortcuts();

    std::unique_ptr<platform::DesktopShortcuts> shortcuts_;
};
