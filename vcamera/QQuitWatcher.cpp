#include "QQuitWatcher.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

QQuitWatcher::QQuitWatcher(QObject* parent) : QObject(parent) {}

void QQuitWatcher::start()
{
    QPointer<QQuitWatcher> self(this);
    std::thread([self]() {
        char line[256];
        std::string text;
        while (std::fgets(line, sizeof line, stdin)) {
            text += line;
            if (text.empty() || text.back() != '\n')
                continue;
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            if (text == "quit")
                break;
            text.clear();
        }
        // Either "quit" or the end of input.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self]() {
                if (self)
                    emit self->quitRequested();
            },
            Qt::QueuedConnection);
    }).detach();
}
