#include "simlink/sim_handover.h"

#include "core/tick_wake.h"

// Never destroyed: the traffic reader is a detached thread that may push while
// the process exits.
std::mutex& simReplyMutex = *new std::mutex;
std::vector<SimReply>& simReplies = *new std::vector<SimReply>;

bool creationFits(const AcCreation& creation)
{
    return creation.callsign.size() < tailNumberField && creation.liveryTitle.size() < containerTitleField &&
           creation.callsign.find('\0') == std::string::npos && creation.liveryTitle.find('\0') == std::string::npos;
}

void pushSimReply(const SimReply& reply)
{
    {
        std::lock_guard lock(simReplyMutex);
        simReplies.push_back(reply);
    }
    wakeTickLoop();
}

std::vector<SimReply> takeSimReplies()
{
    std::lock_guard lock(simReplyMutex);
    std::vector<SimReply> out;
    out.swap(simReplies);
    simReplies.reserve(256);
    return out;
}

void takeSimReplies(std::vector<SimReply>& into)
{
    into.clear();
    std::lock_guard lock(simReplyMutex);
    into.swap(simReplies);
}
