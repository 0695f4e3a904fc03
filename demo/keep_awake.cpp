#include "demo/keep_awake.h"

bool KeepAwakeDecision::Update(float position, bool shown, std::uint64_t nowMs)
{
    if (!lastPosition || position != *lastPosition) {
        lastPosition = position;
        lastMoved = nowMs;
    }
    return shown && nowMs - lastMoved < kStillBeforeSleepMs;
}
