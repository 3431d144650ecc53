#include "airports/stand_learning.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "airports/learned_merge.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/time.h"
#include "core/utils.h"
#include "engine/slot_records.h"
#include "platform/fs_path.h"

LoadedAirport& loadedAirport = *new LoadedAirport;

namespace {

// An option with that index on the weekday (the one a stay went on in).
bool lf_option(const std::vector<SlotRecord>& options, std::uint32_t index, std::uint32_t weekday)
{
    return std::any_of(options.begin(), options.end(),
                       [&](const SlotRecord& r) { return r.optionIndex == index && r.weekday == weekday; });
}

void lf_countUpdate()
{
    ++standUpdateCount;
    StatusPanel& panel = statusPanel();
    const auto shown = static_cast<std::int32_t>(standUpdateCount);
    if (panel.standUpdates.exchange(shown) != shown) repaintStatusPanel();
}

// A new option for the key with the current half hour; the aircraft's entry
// points to it when one was made.
bool lf_newOption(Stand& stand, std::unordered_map<std::uint32_t, StandSighting>& seen, const LearnedAircraft& ac,
                  const std::string& key, std::uint32_t real, std::uint32_t weekday, std::uint32_t slot)
{
    const std::optional<std::uint32_t> index =
        lf_emplaceSlotRecord(stand.options, ac.names, real, weekday, slot, ac.names.callsign, key);
    if (!index) return false;
    seen[ac.names.aircraftId] = {*index, weekday, slot};
    return true;
}

bool lf_addOption(std::uint32_t standId, const LearnedAircraft& ac, std::uint64_t weekdayAndSlot, bool direct,
                  std::uint32_t real)
{
    const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    try {
        const std::string& key = ac.names.registration.empty() ? ac.names.callsign : ac.names.registration;
        if (key.empty()) return false;
        Stand* stand = findStandById(standId);
        if (stand == nullptr) return false;
        auto& seen = real == 1 ? stand->seenReal : stand->seenSoft;
        SlotRecord* found = nullptr;
        for (SlotRecord& r : stand->options) {
            if (r.optionIndex == 0 || r.weekday != weekday || r.reg != key || r.real != real) continue;
            if (r.source == 1) {
                if (!r.slots.test(slot)) return false;  // the airport's own file says otherwise
            } else if (found == nullptr) {
                found = &r;
            }
        }
        if (found == nullptr) {
            // A stay that began on the previous weekday goes on in a new option
            // of this weekday holding the half hours of the stay since midnight.
            auto it = direct ? seen.end() : seen.find(ac.names.aircraftId);
            if (it != seen.end() && it->second.weekday != weekday &&
                fitsTimeSlot(weekdayAndSlot, stand->options, it->second.optionIndex, it->second, ac, key, real)) {
                if (!lf_option(stand->options, it->second.optionIndex, weekday)) return false;
            } else if (!lf_newOption(*stand, seen, ac, key, real, weekday, slot)) {
                return false;
            }
        } else if (found->slots.test(slot)) {
            return false;  // nothing to add
        } else if (direct) {
            found->slots.set(slot);
        } else {
            auto it = seen.find(ac.names.aircraftId);
            if (it == seen.end()) {
                if (!lf_newOption(*stand, seen, ac, key, real, weekday, slot)) return false;
            } else {
                StandSighting& entry = it->second;
                if ((entry.weekday != weekday || entry.halfHour != slot) &&
                    !fitsTimeSlot(weekdayAndSlot, stand->options, entry.optionIndex, entry, ac, key, real)) {
                    if (!lf_newOption(*stand, seen, ac, key, real, weekday, slot)) return false;
                }
                auto again = seen.find(ac.names.aircraftId);
                if (again != seen.end()) {
                    again->second.weekday = weekday;
                    again->second.halfHour = slot;
                }
            }
        }
        lf_countUpdate();
        return true;
    } catch (const std::out_of_range& e) {
        logLineMarked(vr::format("{}: hh_now: {}, {}", "lt_addStandOption", slot, e.what()));
        return false;
    }
}

// Makes the learned file's folder when missing: a path there that is no folder
// raises "exists", a failure to make it "create_directories".
void lf_makeFolderFor(const std::filesystem::path& file)
{
    const std::filesystem::path folder = file.parent_path();
    if (folder.empty()) return;
    std::error_code ec;
    if (std::filesystem::exists(folder, ec)) {
        if (!std::filesystem::is_directory(folder, ec))
            throw std::filesystem::filesystem_error("exists", folder,
                                                    std::make_error_code(std::errc::not_a_directory));
    } else {
        std::filesystem::create_directories(folder);  // throws "create_directories" on failure
    }
}

}  // namespace


bool lt_addStandOption(std::uint32_t standId, const LearnedAircraft& ac, std::uint64_t weekdayAndSlot, bool extend)
{
    return lf_addOption(standId, ac, weekdayAndSlot, !extend, 1);
}

bool addStandOptionPT(std::uint32_t standId, const LearnedAircraft& ac, std::uint64_t weekdayAndSlot, bool extend,
                      bool extra)
{
    return lf_addOption(standId, ac, weekdayAndSlot, !extend && !extra, 0);
}

bool fitsTimeSlot(std::uint64_t weekdayAndSlot, std::vector<SlotRecord>& options, std::uint32_t optionIndex,
                  StandSighting& entry, const LearnedAircraft& ac, const std::string& key, std::uint32_t real)
{
    if (optionIndex == 0) return true;
    const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    if (entry.weekday == weekday && entry.halfHour == slot) return true;
    const std::int32_t limit = ac.cargo ? 12 : ac.heavy ? 8 : 6;
    const std::int32_t d = weekHalfHours(entry.weekday, entry.halfHour, weekday, slot);
    if (d < 1 || d >= limit) return false;
    if (entry.weekday == weekday) {
        std::vector<std::uint32_t> slots;
        for (std::uint32_t s = slot; s > entry.halfHour; --s) slots.push_back(s);  // back = oldest
        updateOptions(options, slots, optionIndex);
        lf_setSlotsForId(options, optionIndex, ac.names.callsign);
    } else {
        const std::optional<std::uint32_t> made =
            lf_emplaceSlotRecord(options, ac.names, real, weekday, slot, ac.names.callsign, key);
        if (made) {
            lf_buildSlotRecords(options, weekdayAndSlot, ac.names.callsign, static_cast<std::uint32_t>(d) + 1,
                                optionIndex, *made);
            entry.optionIndex = *made;
        }
    }
    entry.weekday = weekday;
    entry.halfHour = slot;
    return true;
}

std::string standName(std::uint32_t standId)
{
    if (standId == 0) return "sid==0?";
    const Stand* s = findStandById(standId);
    return s ? s->name : "unknown";
}

bool saveAirportFile()
{
    const ParkAirportInfo park = currentParkAirport();
    const bool handmade = handmadeMark.load();
    std::filesystem::path path;
    try {
        AirportFile file;
        file.airportName = loadedAirport.airportName;
        file.publisher = loadedAirport.publisher;
        file.altitude = loadedAirport.altitude;
        file.stands.reserve(stands.size());
        for (const Stand& s : stands) {
            Stand copy = s;
            std::erase_if(copy.options, [handmade](const SlotRecord& r) { return r.fake || (!handmade && r.source == 1); });
            // Options taken out of play (index 0) are kept: renumbered as the renewal does.
            std::uint32_t index = 1;
            for (SlotRecord& r : copy.options) r.optionIndex = index++;
            if (handmade || !copy.options.empty() || copy.manual || copy.radiusChange || copy.cargoChange)
                file.stands.push_back(std::move(copy));
        }
        if (handmade) {
            // Of what is written: the invented records are not.
            const auto qf = computeQualityFactors(file.stands);
            file.qfReal = qf.first;
            file.qfSoft = qf.second;
        }
        // Where the loader looks for it (gf_readApf).
        path = learnedFilePath(loadedAirport.reference, loadedAirport.publisher);
        if (path.empty()) path = learnedFolderOf(loadedAirport.publisher) / airportFileName(park.code);
        lf_makeFolderFor(path);
        if (writeParkpositions(file, path, StandFileMode::learned)) {
            showMessage(vr::format("{}{} '{}' saved with {} update{} {}", timeOfDay(), handmade ? " handmade" : "",
                                   platform::pathText(path), standUpdateCount,
                                   gf_pluralSuffix(standUpdateCount),
                                   parkParametersChanged ? "and one or more parameter changes" : ""),
                        true);
            standUpdateCount = 0;
            parkParametersChanged = false;
            return true;
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {}", "saveAirportFile", e.what()));
    }
    showMessage(vr::format("{} saving '{}' did not succeed", timeOfDay(),
                           path.empty() ? park.code : platform::pathText(path)),
                true);
    return false;
}
