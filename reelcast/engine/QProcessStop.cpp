#include "QProcessStop.h"

#include "LogCategories.h"

#include <QProcess>

QProcessStop::QProcessStop(QProcess& process, int graceMs, int finishLimitMs)
    : process_(process), graceMs_(graceMs), finishLimitMs_(finishLimitMs)
{
}

void QProcessStop::poll(qint64 progress)
{
    if (process_.state() == QProcess::NotRunning)
        return;
    if (step_ == 0) {
        step_ = 1;
        asked_.start();
        quiet_.start();
        progress_ = progress;
    } else if (progress != progress_ && asked_.elapsed() < finishLimitMs_) {
        progress_ = progress;
        quiet_.start();
    }
    if (step_ == 1)
        process_.write("q\r\n");
    if (quiet_.elapsed() < graceMs_ || step_ >= 3)
        return;
    ++step_;
    quiet_.start();
    if (step_ == 2) {
        qCWarning(lcEngine) << "process" << process_.processId() << "ignored \"q\", terminating it";
        process_.terminate();
    } else {
        qCWarning(lcEngine) << "process" << process_.processId() << "ignored terminate, killing it";
        process_.kill();
    }
}

bool QProcessStop::finish(const std::function<qint64()>& progress, int pollMs)
{
    // "q", terminate and kill, each with its grace, and one more grace for the kill to land.
    while (process_.state() != QProcess::NotRunning && !process_.waitForFinished(pollMs)) {
        if (step_ >= 3 && quiet_.elapsed() >= graceMs_)
            return false;
        poll(progress ? progress() : 0);
    }
    return true;
}
