#pragma once

#include <QProcess>

// An encoder process that inherits one descriptor of ours: the desktop's screen-cast remote,
// which the program it runs reads the screen from.
class QCastProcess : public QProcess
{
    Q_OBJECT
public:
    explicit QCastProcess(QObject* parent = nullptr) : QProcess(parent) {}

    // The descriptor to hand down; -1 for none. It stays ours to close.
    void setInheritedDescriptor(int fd) { fd_ = fd; }

protected:
    void setupChildProcess() override;

private:
    int fd_ = -1;
};
