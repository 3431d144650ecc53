#include "engine/timed_queues.h"

#include <algorithm>

std::deque<AcCreation>& liveCreationQueue = *new std::deque<AcCreation>;
std::deque<AcCreation>& staticCreationQueue = *new std::deque<AcCreation>;
std::deque<std::uint32_t>& removalDeque = *new std::deque<std::uint32_t>;
std::vector<std::uint32_t>& pendingCreationIds = *new std::vector<std::uint32_t>([] {
    std::vector<std::uint32_t> v;
    v.reserve(64);
    return v;
}());

void lf_pushCreation(std::deque<AcCreation>& queue, const AcCreation& creation)
{
    queue.push_back(creation);
}

bool isCreationPending(std::deque<AcCreation>& queue, std::string_view callsign, std::uint32_t aircraftId)
{
    if (callsign.empty()) return false;
    return std::erase_if(queue, [&](const AcCreation& c) {
               return c.callsign == callsign && c.aircraftId == aircraftId;
           }) > 0;
}

void clearTimedQueues()
{
    // Replaced by empty ones, so a long run's growth is given back.
    std::deque<AcCreation>().swap(liveCreationQueue);
    std::deque<AcCreation>().swap(staticCreationQueue);
    std::deque<std::uint32_t>().swap(removalDeque);
    pendingCreationIds.clear();
}
