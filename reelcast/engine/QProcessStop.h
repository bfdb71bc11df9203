#pragma once

#include <QElapsedTimer>

#include <functional>

class QProcess;

// Ends a process this program started, within a limit: "q\r\n" on its standard input first
// (repeated at every poll), then terminate, then kill, each step once the process has shown no
// progress for the grace period. Progress is whatever the caller measures (the size and time of
// the file the process still writes): while it changes, the process may still be finishing its
// file and is left to it, but never beyond the finish limit, since a process that ignores "q"
// may write on for ever.
class QProcessStop
{
public:
    static constexpr int kGraceMs = 5000;
    static constexpr int kFinishLimitMs = 60000;

    explicit QProcessStop(QProcess& process, int graceMs = kGraceMs, int finishLimitMs = kFinishLimitMs);

    // One step towards the end; call it at every poll while the process should end.
    void poll(qint64 progress = 0);
    // Polls every `pollMs` until the process has ended; whether it did (false only when not even
    // a kill ended it).
    bool finish(const std::function<qint64()>& progress = {}, int pollMs = 200);
    // 0 nothing asked yet, 1 "q", 2 terminated, 3 killed.
    int step() const { return step_; }

private:
    QProcess& process_;
    int graceMs_;
    int finishLimitMs_;
    QElapsedTimer quiet_;
    QElapsedTimer asked_;
    qint64 progress_ = 0;
    int step_ = 0;
};
