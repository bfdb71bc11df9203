#pragma once

#include <cstdint>

// The frame slots of a picture stream on the adapter's clock: slot n is due n frame intervals
// after the origin, and every slot gets exactly one frame, so the stream's time is the clock's.
// A grab that comes late leaves the slots it missed to the frame before it.
class FramePacer
{
public:
    // What goes out for one grab: `repeats` copies of the previous frame, then `copies` of the
    // new one.
    struct Step
    {
        int64_t repeats = 0;
        int64_t copies = 1;
    };

    // `intervalNs` > 0.
    explicit FramePacer(int64_t intervalNs) : intervalNs_(intervalNs) {}

    int64_t intervalNs() const { return intervalNs_; }
    // When the next grab is due, counted from the origin.
    int64_t nextDueNs() const { return next_ * intervalNs_; }
    // A grab taken at `nowNs`; it is for the slot that instant falls in, or for the next one when
    // that has been served. The first frame also fills the slots before it: there is no other.
    Step take(int64_t nowNs);
    // Slots served so far.
    int64_t served() const { return next_; }

private:
    const int64_t intervalNs_;
    int64_t next_ = 0;
};
