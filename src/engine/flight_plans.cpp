#include "engine/flight_plans.h"

#include <chrono>
#include <fstream>

#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "engine/ac_records.h"
#include "platform/clock.h"

namespace fs = std::filesystem;

namespace {

struct FolderState {
    fs::path folder;
    TreeRemover remover;
};

FolderState& lf_state()
{
    static auto* s = new FolderState;
    return *s;
}

bool lf_exists(const fs::path& p)
{
    std::error_code ec;
    const bool e = fs::exists(p, ec);
    if (ec) throw fs::filesystem_error("exists", p, ec);
    return e;
}

const char* lf_flightRule(AcCategory c)
{
    switch (c) {
    case AcCategory::Buzjets:
    case AcCategory::Large:
    case AcCategory::Heavy: return "IFR";
    default: return "VFR";
    }
}

}  // namespace

fs::path flightPlanFolder()
{
    const FolderState& s = lf_state();
    return s.folder.empty() ? dataFolderPath() / "orig_dest" : s.folder;
}

std::string xmlEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
        }
    }
    return out;
}

std::string flightPlanText(const AcIdentity& identity)
{
    return vr::format("{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                      "<SimBase.Document Type=\"AceXML\" version=\"4,3\">", "<FlightPlan.FlightPlan>", "<FPType>",
                      lf_flightRule(identity.category), "</FPType>", "<DepartureID>", xmlEscaped(identity.origin),
                      "</DepartureID>", "<DestinationID>", xmlEscaped(identity.destination), "</DestinationID>",
                      "</FlightPlan.FlightPlan>", "</SimBase.Document>") +
           "\n";
}

bool gf_writeFlightPlan(const fs::path& path, const AcIdentity& identity)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << flightPlanText(identity);
    out.close();
    return static_cast<bool>(out);
}

fs::path gf_flightPlanFileName(std::uint32_t objectId) { return vr::format("{}.pln", objectId); }

bool gf_createFlightPlanFolder()
{
    const fs::path base = dataFolderPath();
    FolderState& s = lf_state();
    s.folder = base / "orig_dest";
    std::error_code ec;
    if (!lf_exists(base)) fs::create_directories(base, ec);
    if (!lf_exists(s.folder)) fs::create_directory(s.folder, ec);
    return lf_exists(s.folder);
}

bool gf_removeFlightPlanFolder()
{
    const fs::path folder = flightPlanFolder();
    if (!lf_exists(folder)) return true;
    const TreeRemover remover = lf_state().remover;
    std::error_code ec;
    for (int attempt = 1; attempt <= 10; ++attempt) {
        ec.clear();
        if (remover)
            remover(folder, ec);
        else
            fs::remove_all(folder, ec);
        if (!ec) break;
        if (ec != std::errc::directory_not_empty && ec != std::errc::permission_denied) break;
        if (attempt < 10) platform::sleepFor(std::chrono::milliseconds(50));
    }
    if (ec) logLine(vr::format("gf_removeFlightPlanFolder: {}", ec.message()));
    return !lf_exists(folder);
}

void setTreeRemover(TreeRemover remover) { lf_state().remover = std::move(remover); }
