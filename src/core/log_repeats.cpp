#include "core/log_repeats.h"

#include <utility>

#include "core/fmt.h"
#include "core/log.h"

RepeatedLines::RepeatedLines(std::string file, std::size_t keep) : file_(std::move(file)), keep_(keep) {}

RepeatedLines::~RepeatedLines() { finish(); }

bool RepeatedLines::admit(std::string_view kind)
{
    auto it = counts_.find(kind);
    if (it == counts_.end()) it = counts_.emplace(std::string(kind), 0).first;
    return ++it->second <= keep_;
}

void RepeatedLines::logMarked(std::string_view kind, std::string_view text)
{
    if (admit(kind)) logLineMarked(text);
}

void RepeatedLines::finish()
{
    for (auto& [kind, count] : counts_) {
        if (count > keep_)
            logLineMarked(vr::format("{}: {} more '{}' lines not logged", file_, count - keep_, kind));
        count = 0;
    }
}
