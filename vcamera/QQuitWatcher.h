#pragma once

#include <QObject>

// Watches standard input for the line "quit". The end of standard input counts too: the program
// that started the preview has gone and nobody could stop it any more.
class QQuitWatcher : public QObject
{
    Q_OBJECT
public:
    explicit QQuitWatcher(QObject* parent = nullptr);
    // Starts the reader; it lives until the process ends, blocked in its read.
    void start();

signals:
    void quitRequested();
};
