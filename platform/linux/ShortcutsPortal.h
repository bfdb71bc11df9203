#pragma once

#include "PlatformDesktopShortcuts.h"

#include <QDBusMessage>
#include <QObject>
#include <QString>

class PortalRequests;

// The desktop's GlobalShortcuts portal: CreateSession, BindShortcuts with the program's actions,
// then the Activated signal of that session. Interface thread only.
class ShortcutsPortal : public QObject
{
    Q_OBJECT
public:
    explicit ShortcutsPortal(QObject* parent = nullptr);
    ~ShortcutsPortal() override;

    void bind(const std::vector<platform::DesktopShortcuts::Action>& actions, std::function<void(bool)> ready,
              std::function<void(const std::string&)> activated);

private slots:
    void onActivated(const QDBusMessage& message);

private:
    void createSession();
    void bindShortcuts();
    void finish(bool bound);

    PortalRequests* requests_;
    std::vector<platform::DesktopShortcuts::Action> actions_;
    std::function<void(bool)> ready_;
    std::function<void(const std::string&)> activated_;
    QString session_;
};
