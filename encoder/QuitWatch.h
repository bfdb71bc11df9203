#pragma once

// Notices a "q" waiting on a pipe that another process reads (FFmpeg's inherited standard
// input) without taking it away: the bytes are duplicated with tee(2) and looked at.
class QuitWatch
{
public:
    explicit QuitWatch(int fd);
    ~QuitWatch();
    QuitWatch(const QuitWatch&) = delete;
    QuitWatch& operator=(const QuitWatch&) = delete;

    // Whether a "q" is waiting now. Always false when `fd` is not a pipe.
    bool seen();

private:
    const int fd_;
    int copy_[2] = {-1, -1};
};
