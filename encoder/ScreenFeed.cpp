#include "ScreenFeed.h"

#include "FrameConverter.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

// Fewer, larger writes per frame; the system may grant less.
constexpr int kPipeBytes = 1 << 20;
// How often a source without its first picture is asked again.
constexpr int64_t kReadyPollNs = 2'000'000;

} // namespace

ScreenFeed::ScreenFeed(std::unique_ptr<ScreenSource> source, int fd, int64_t intervalNs,
                       const FeedClock& clock)
    : source_(std::move(source)), fd_(fd), pacer_(intervalNs), clock_(clock)
{
    if (fd_ >= 0) {
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
        fcntl(fd_, F_SETPIPE_SZ, kPipeBytes);
    }
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

ScreenFeed::~ScreenFeed()
{
    stop();
    if (wake_ >= 0)
        close(wake_);
}

void ScreenFeed::start()
{
    thread_ = std::thread([this] { run(); });
}

void ScreenFeed::stop()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        if (write(wake_, &one, sizeof one) < 0) {
            // The counter is full only if it was written before: the thread is told already.
        }
        thread_.join();
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

std::string ScreenFeed::failure() const
{
    return failed_ ? source_->failure() : std::string();
}

ScreenFeed::Frame::Frame(size_t bytes)
{
    // Whole pages: the pipe takes them by reference.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t rounded = (bytes + page - 1) / page * page;
    void* memory = nullptr;
    if (posix_memalign(&memory, page, rounded) == 0) {
        data = static_cast<uint8_t*>(memory);
        size = bytes;
    }
}

ScreenFeed::Frame::~Frame()
{
    std::free(data);
}

int64_t ScreenFeed::consumed() const
{
    int unread = 0;
    if (ioctl(fd_, FIONREAD, &unread) != 0)
        return 0;
    return sent_ - unread;
}

ScreenFeed::Buffer ScreenFeed::acquire(size_t bytes, size_t limit)
{
    // Free: nothing queued refers to it any more and the reader has taken it out of the pipe.
    int64_t taken = -1;
    for (const Buffer& buffer : pool_) {
        if (buffer.use_count() != 1)
            continue;
        if (buffer->sentUpTo > 0 && taken < buffer->sentUpTo)
            taken = consumed();
        if (buffer->sentUpTo <= taken || buffer->sentUpTo == 0)
            return buffer;
    }
    if (pool_.size() >= limit)
        return nullptr;
    auto frame = std::make_shared<Frame>(bytes);
    if (!frame->data)
        return nullptr;
    pool_.push_back(frame);
    return frame;
}

ssize_t ScreenFeed::send(Frame& frame, size_t from)
{
    ssize_t n = -1;
    if (splice_) {
        iovec part{frame.data + from, frame.size - from};
        n = vmsplice(fd_, &part, 1, SPLICE_F_NONBLOCK);
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EPIPE) {
            splice_ = false; // not for this pipe: copy instead
            return send(frame, from);
        }
    } else {
        n = write(fd_, frame.data + from, frame.size - from);
    }
    if (n > 0) {
        sent_ += n;
        frame.sentUpTo = sent_;
    }
    return n;
}

bool ScreenFeed::next(Buffer& frame, int64_t timeoutNs)
{
    std::unique_lock<std::mutex> lock(handOver_);
    if (!handed_.wait_for(lock, std::chrono::nanoseconds(timeoutNs), [this] { return !delivered_.empty(); }))
        return false;
    frame = std::move(delivered_.front());
    delivered_.pop_front();
    return true;
}

void ScreenFeed::run()
{
    const bool here = fd_ < 0;
    const size_t bytes = FrameConverter::frameBytes(source_->width(), source_->height());
    const int64_t byTime = (kQueueNs + pacer_.intervalNs() - 1) / pacer_.intervalNs();
    // Queued frames plus the one being written and the last one kept for repeats.
    const size_t limit =
        std::max<size_t>(
            2, std::min<size_t>(size_t(byTime), (here ? kInProcessQueueBytes : kQueueBytes) / bytes)) +
        2;

    std::deque<Buffer> queue;
    size_t written = 0; // of queue.front()
    Buffer last;
    while (true) {
        const int64_t now = clock_.elapsedNs();
        // A source without its first picture yet serves no slot: the first one fills them.
        const bool waiting = !last && !source_->ready();
        if (now >= pacer_.nextDueNs() && !failed_ && !waiting) {
            const FramePacer::Step step = pacer_.take(now);
            for (int64_t i = 0; i < step.repeats && last; ++i)
                queue.push_back(last);
            Buffer fresh = acquire(bytes, limit);
            if (fresh) {
                const ScreenSource::Grab grab = source_->grabInto(fresh->data);
                if (grab == ScreenSource::Grab::Fresh) {
                    fresh->picture = ++grabs_;
                } else if (grab == ScreenSource::Grab::Same && last) {
                    fresh = nullptr; // the last frame again, without converting it again
                } else if (grab == ScreenSource::Grab::Failed) {
                    failed_ = true;
                    fresh = nullptr;
                } else {
                    fresh->picture = ++grabs_;
                }
            }
            if (!fresh)
                fresh = last;
            for (int64_t i = 0; i < step.copies && fresh; ++i)
                queue.push_back(fresh);
            last = fresh;
            if (failed_) {
                // What was grabbed still goes out; then the stream ends and FFmpeg closes its file.
                queue.push_back(nullptr);
            }
        }

        if (here && !queue.empty()) {
            const bool end = !queue.back();
            {
                std::lock_guard<std::mutex> lock(handOver_);
                delivered_.insert(delivered_.end(), queue.begin(), queue.end());
            }
            framesOut_ += int64_t(queue.size()) - (end ? 1 : 0);
            queue.clear();
            handed_.notify_one();
            if (end)
                return;
        }
        while (!queue.empty()) {
            if (!queue.front()) {
                close(fd_);
                fd_ = -1;
                return;
            }
            Frame& frame = *queue.front();
            const ssize_t n = send(frame, written);
            if (n > 0) {
                written += size_t(n);
                if (written == frame.size) {
                    queue.pop_front();
                    written = 0;
                    ++framesOut_;
                }
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                break;
            } else {
                return; // FFmpeg has stopped reading: it has ended or is ending
            }
        }

        const int64_t wait =
            waiting ? kReadyPollNs : std::max<int64_t>(0, pacer_.nextDueNs() - clock_.elapsedNs());
        const timespec timeout{time_t(wait / 1'000'000'000), long(wait % 1'000'000'000)};
        pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, short(queue.empty() || here ? 0 : POLLOUT), 0}};
        ppoll(fds, 2, failed_ ? nullptr : &timeout, nullptr);
        if (fds[0].revents & POLLIN)
            return;
    }
}
