#pragma once

#include "HostkitGlobal.h"

#include <QObject>
#include <QPointer>

class QMenu;
class QWidget;

// Hands out the help menu of a window: a help page and an about box. The window may add
// entries of its own; the menu lives as long as the provider.
class HOSTKIT_EXPORT CHelpProvider : public QObject
{
    Q_OBJECT
public:
    explicit CHelpProvider(QWidget* parent);
    ~CHelpProvider() override;

    QMenu* initMenu();

public slots:
    void showHelp();
    void showAbout();

private:
    QWidget* window_;
    QMenu* menu_ = nullptr;
};
