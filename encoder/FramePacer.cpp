#include "FramePacer.h"

#include <algorithm>

FramePacer::Step FramePacer::take(int64_t nowNs)
{
    const int64_t current = std::max(next_, nowNs >= 0 ? nowNs / intervalNs_ : 0);
    Step step;
    if (next_ == 0) {
        step.copies = current + 1;
    } else {
        step.repeats = current - next_;
    }
    next_ = current + 1;
    return step;
}
