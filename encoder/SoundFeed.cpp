#include "SoundFeed.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <unistd.h>

SoundFeed::SoundFeed(int fd, Format format, int64_t originWallUs)
    : fd_(fd), format_(format), originWallUs_(originWallUs),
      out_(fd < 0 ? std::vector<uint8_t>() : LiveMatroska::header(format.rate, format.channels))
{
}

SoundFeed::~SoundFeed()
{
    if (fd_ >= 0)
        close(fd_);
}

int64_t SoundFeed::frameAt(int64_t ns) const
{
    // Floor, also before the origin, so that neighbouring instants give neighbouring frames.
    const int64_t scaled = ns * format_.rate;
    return scaled >= 0 ? scaled / 1'000'000'000 : -((-scaled + 999'999'999) / 1'000'000'000);
}

void SoundFeed::placeFromServer(const void* data, size_t bytes, int64_t ageUs, int64_t nowNs)
{
    const int64_t nsPerByte = 1'000'000'000 / (int64_t(format_.rate) * format_.bytesPerFrame());
    // Without a timing report the block is taken as just captured.
    const int64_t captured =
        ageUs >= 0 || ageUs < -1 ? nowNs - ageUs * 1000 : nowNs - int64_t(bytes) * nsPerByte;
    place(data, bytes, captured, nowNs);
}

void SoundFeed::place(const void* data, size_t bytes, int64_t capturedNs, int64_t arrivedNs)
{
    const int bpf = format_.bytesPerFrame();
    int64_t frames = int64_t(bytes) / bpf;
    if (frames <= 0)
        return;
    const auto* from = static_cast<const uint8_t*>(data);
    std::lock_guard<std::mutex> lock(mutex_);
    ages_[ageCount_++ % std::size(ages_)] = arrivedNs - capturedNs - frames * 1'000'000'000 / format_.rate;
    const int64_t least = *std::min_element(ages_, ages_ + std::min(ageCount_, std::size(ages_)));
    playoutNs_ = std::clamp(least + kPlayoutDelayNs / 3, kPlayoutDelayNs, kLongestPlayoutDelayNs);
    int64_t at = frameAt(capturedNs);
    if (started_ && std::llabs(at - placedEnd_) <= frameAt(kContiguityNs))
        at = placedEnd_;
    const int64_t end = at + frames;
    // Nothing goes where sound was placed or written already.
    const int64_t floor = pending_.empty() ? written_ : placedEnd_;
    if (at < floor) {
        const int64_t skip = std::min(frames, floor - at);
        frames -= skip;
        if (from)
            from += skip * bpf;
        at = floor;
    }
    started_ = true;
    placedEnd_ = std::max(placedEnd_, end);
    if (frames == 0)
        return;
    if (pending_.empty())
        pendingStart_ = at;
    else if (at > pendingStart_ + int64_t(pending_.size()) / bpf)
        pending_.resize(size_t(at - pendingStart_) * bpf, 0); // a gap the server left: silence
    const size_t size = size_t(frames) * bpf;
    if (from)
        pending_.insert(pending_.end(), from, from + size);
    else
        pending_.resize(pending_.size() + size, 0);
}

void SoundFeed::emit(const uint8_t* data, int64_t frames, bool real)
{
    const int bpf = format_.bytesPerFrame();
    const int64_t blockFrames = format_.rate / 100;
    const size_t blockBytes = size_t(blockFrames) * bpf;
    const size_t limit = size_t(frameAt(kBacklogNs)) * bpf;
    if (fd_ < 0) {
        // Raw samples: no blocks to stamp.
        const size_t size = size_t(frames) * bpf;
        if (out_.size() + size <= limit) {
            if (data)
                out_.insert(out_.end(), data, data + size);
            else
                out_.resize(out_.size() + size, 0);
        }
        written_ += frames;
        if (real)
            real_ += frames;
        return;
    }
    int64_t left = frames;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, blockFrames - int64_t(block_.size()) / bpf);
        if (data) {
            block_.insert(block_.end(), data, data + n * bpf);
            data += n * bpf;
        } else {
            block_.resize(block_.size() + size_t(n) * bpf, 0);
        }
        left -= n;
        written_ += n;
        if (block_.size() == blockBytes) {
            // A reader that has stopped reading misses blocks, not the stream's shape.
            if (out_.size() < limit) {
                const int64_t start = written_ - blockFrames;
                const int64_t wallMs = (originWallUs_ + start * 1'000'000 / format_.rate) / 1000;
                container_.appendBlock(out_, wallMs, block_.data(), block_.size());
            }
            block_.clear();
        }
    }
    if (real)
        real_ += frames;
}

bool SoundFeed::flush()
{
    if (fd_ < 0)
        return true;
    size_t done = 0;
    while (done < out_.size()) {
        const ssize_t n = write(fd_, out_.data() + done, out_.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            gone_ = true;
            out_.clear();
            pending_.clear();
            return false;
        }
    }
    out_.erase(out_.begin(), out_.begin() + done);
    return true;
}

bool SoundFeed::pump(int64_t nowNs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pumpLocked(nowNs, false);
}

bool SoundFeed::finish(int64_t endNs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pumpLocked(endNs, true);
}

void SoundFeed::takeRaw(std::vector<uint8_t>& into)
{
    std::lock_guard<std::mutex> lock(mutex_);
    into.insert(into.end(), out_.begin(), out_.end());
    out_.clear();
}

bool SoundFeed::pumpLocked(int64_t nowNs, bool final)
{
    if (gone_)
        return false;
    const int bpf = format_.bytesPerFrame();
    const int64_t due = frameAt(nowNs);
    if (!pending_.empty()) {
        if (pendingStart_ > written_ && due > written_)
            emit(nullptr, std::min(pendingStart_, due) - written_, false);
        if (pendingStart_ == written_ && due > written_) {
            const int64_t n = std::min(int64_t(pending_.size()) / bpf, due - written_);
            emit(pending_.data(), n, true);
            pending_.erase(pending_.begin(), pending_.begin() + n * bpf);
            pendingStart_ += n;
        }
    }
    // Before the server's first sound there is nothing to wait for: silence goes out at once,
    // so that FFmpeg can start.
    const int64_t late = frameAt(started_ && !final ? nowNs - playoutNs_ : nowNs);
    if (pending_.empty() && written_ < late)
        emit(nullptr, late - written_, false);
    return flush();
}

int64_t SoundFeed::framesOut() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

int64_t SoundFeed::realFramesOut() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return real_;
}
