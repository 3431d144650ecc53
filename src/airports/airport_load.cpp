#include "airports/airport_load.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <system_error>

#include "airports/c_numbers.h"
#include "airports/fake_registrations.h"
#include "airports/stand_file.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "platform/fs_path.h"
#include "traffic_service/traffic_reader.h"

std::atomic<bool>& airportFileLoaded = *new std::atomic<bool>(false);
std::atomic<std::int32_t>& rtTrafficWeek = *new std::atomic<std::int32_t>(0);

namespace {

constexpr const char* kReadApf = "gf_readApf";

std::filesystem::path lf_local(const std::string& reference) { return platform::toFsPath(reference); }

bool lf_isLocal(const std::string& reference) { return reference.rfind("airports", 0) == 0; }

// The ICAO code of a reference: its file name without the extension.
std::string lf_icaoOf(const std::string& reference)
{
    return platform::toFsPath(reference).stem().string();
}

void lf_noLearnedFile()
{
    parking_percentage.set(30);
    parking_percentage.enable(false);
    showIntParameterText(parking_percentage);
    logLine(vr::format("{:24}: {}", parking_percentage.name(), parking_percentage.get()));
}

}  // namespace

std::filesystem::path parkAirportCopyPath() { return airportsFolder / "park_airport.xml"; }

std::string lf_downloadFile(const std::string& reference, const std::filesystem::path& target)
{
    const std::string url = downloadFolderUrl() + reference;
    if (downloadToFile(url, target, true)) return {};
    return vr::format("failed to download: '{}'", url);
}

std::string formatQualityPair(std::int32_t qfReal, std::int32_t qfSoft)
{
    if (qfReal < 0 && qfSoft < 0) return "  ";
    if (qfReal < 45) return vr::format("{:2}/{:2}", qfReal, qfSoft);
    return vr::format("{:2}", qfReal);
}

std::string lf_readApfDocument(const pugi::xml_document& doc, const std::string& reference, AirportHeader& header,
                               std::vector<Stand>& stands)
{
    if (!readStandFileMeta(doc)) {
        std::string text = vr::format("{}: refused to load (copyright)", reference);
        logLine(text);
        return text;
    }
    header.rtTrafficWeek = lf_getApfParameterInt(doc, "RT_traffic_week").value_or(0);
    header.publisher = lf_getApfParameterString(doc, "publisher").value_or("");
    const std::optional<std::int32_t> altitude = lf_getApfParameterInt(doc, "altitude");
    if (!altitude) throw std::runtime_error(std::string("Parameter ") + "altitude" + " not found");
    header.altitude = *altitude;
    header.airportName = lf_getApfParameterString(doc, "airport_name").value_or("");

    readAllParkpos(doc.child("parkpositions"), 1, stands);
    header.qf = {lf_getApfParameterInt(doc, "Qf_real").value_or(-1), lf_getApfParameterInt(doc, "Qf_soft").value_or(-1)};
    return {};
}

void lf_numberAndFindConflicts(std::vector<Stand>& stands)
{
    const std::size_t n = stands.size();
    double largest = 0.0;
    bool finite = true;
    for (std::size_t i = 0; i < n; ++i) {
        Stand& s = stands[i];
        s.sid = static_cast<std::uint32_t>(i + 1);
        s.conflictingStands.clear();
        largest = std::max(largest, s.radius);
        finite = finite && std::isfinite(s.latitude) && std::isfinite(s.longitude) && std::isfinite(s.radius);
    }
    auto test = [&](Stand& a, const Stand& b) {
        if (a.sid != b.sid &&
            distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * 1.1 < a.radius + b.radius)
            a.conflictingStands.push_back(b.sid);
    };
    if (!finite) {  // no order to rely on: every pair
        for (Stand& a : stands)
            for (const Stand& b : stands) test(a, b);
    } else {
        // A great-circle distance is never shorter than the latitude difference (one
        // nm per arc minute): sorted by latitude, only neighbours within the largest
        // possible radius sum can overlap; the exact test decides as for every pair.
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return stands[a].latitude < stands[b].latitude; });
        for (std::size_t oi = 0; oi < n; ++oi) {
            Stand& a = stands[order[oi]];
            const double reach = (a.radius + largest) * (1.0 + 1e-9) + 1e-12;
            for (std::size_t oj = oi + 1;
                 oj < n && (stands[order[oj]].latitude - a.latitude) * 60.0 * 1.1 <= reach; ++oj)
                test(a, stands[order[oj]]);
            for (std::size_t oj = oi; oj-- > 0 && (a.latitude - stands[order[oj]].latitude) * 60.0 * 1.1 <= reach;)
                test(a, stands[order[oj]]);
            std::sort(a.conflictingStands.begin(), a.conflictingStands.end());
        }
    }
    for (Stand& s : stands) s.conflictingStands.shrink_to_fit();
}

std::string gf_readApf(const std::string& reference, AirportHeader& header)
{
    try {
        if (reference.empty()) return vr::format("{}: xml is empty", kReadApf);
        const ParkAirportInfo park = currentParkAirport();
        if (park.code.empty()) return vr::format("{}: no park airport set", kReadApf);

        std::filesystem::path path;
        if (lf_isLocal(reference)) {
            path = lf_local(reference);
        } else {
            path = parkAirportCopyPath();
            if (std::string error = lf_downloadFile(reference, path); !error.empty()) return error;
        }
        handmadeMark = false;
        pugi::xml_document doc;
        if (!doc.load_file(path.c_str()))
            return vr::format("{}: could not load file: {}", reference, platform::pathText(path));

        AirportHeader read;
        std::vector<Stand> loaded;
        if (std::string error = lf_readApfDocument(doc, reference, read, loaded); !error.empty()) return error;
        doc.reset();

        std::filesystem::path learned = learnedFilePath(reference, read.publisher);
        std::error_code ec;
        if (!learned.empty() && !std::filesystem::exists(learned, ec)) {
            // Earlier versions saved by the publisher alone; the next save moves it.
            const std::filesystem::path earlier = learnedFolderOf(read.publisher) / airportFileName(lf_icaoOf(reference));
            if (std::filesystem::exists(earlier, ec)) learned = earlier;
        }
        if (learned.empty() || !std::filesystem::exists(learned, ec)) {
            lf_noLearnedFile();
        } else {
            lf_readLearned(learned, read, loaded);
            read.qf = computeQualityFactors(loaded);
            parking_percentage.enable(true);
            if (handmadeMark) logLine("A handmade airport file overruled the archived file!");
            if (PARK_FAKE.get()) lf_makeFakeRegistrations(lf_icaoOf(reference), loaded);
        }

        lf_numberAndFindConflicts(loaded);
        const auto count = static_cast<std::int32_t>(loaded.size());
        replaceStands(std::move(loaded));
        header = std::move(read);
        rtTrafficWeek = header.rtTrafficWeek;

        const std::string quality = formatQualityPair(header.qf.first, header.qf.second);
        logLine(vr::format("Airport file read from '{}' for {}",
                           handmadeMark ? platform::pathText(learned) : reference, header.airportName));
        logLineIndented(vr::format("{:24}: {}", "publisher", header.publisher));
        logLineIndented(vr::format("{:24}: {} ft", "altitude", header.altitude));
        logLineIndented(vr::format("{:24}: {}", "num_parkpos", count));
        logLineIndented(vr::format("{:24}: {}", "quality factor", quality));
        logLineIndented(vr::format("{:24}: {}", "RT traffic week", rtTrafficWeek.load()));

        StatusPanel& panel = statusPanel();
        panel.standCount = count;
        panel.airportPublisher.set(header.publisher);
        panel.airportHandmade = handmadeMark.load();
        panel.airportQuality.set(quality);
        panel.weekNumber = header.rtTrafficWeek;
        repaintStatusPanel();
        airportFileLoaded.exchange(true);
        FLUSH_STATIC.enable();
        setCurrentParkAirportElevation(header.altitude);
        trafficReader().setReferenceElevation(static_cast<double>(header.altitude));
        return {};
    } catch (const std::exception& e) {
        return vr::format("{}: {}", kReadApf, e.what());
    }
}

double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& standName)
{
    std::filesystem::path downloaded;
    try {
        const std::string reference = locateArchivedAirport(icao);
        if (reference.empty()) return 100.0;
        std::filesystem::path path;
        if (lf_isLocal(reference)) {
            path = lf_local(reference);
        } else {
            path = airportsFolder / "airport.xml";
            if (!lf_downloadFile(reference, path).empty()) return 100.0;
            downloaded = path;
        }
        pugi::xml_document doc;
        const bool loaded = bool(doc.load_file(path.c_str()));
        if (!downloaded.empty()) std::filesystem::remove(downloaded);  // throws "remove" on failure
        downloaded.clear();
        if (!loaded) return 100.0;
        double best = 100.0;
        bool found = false;
        for (pugi::xml_node pos = doc.child("parkpositions").child("parkpos"); pos; pos = pos.next_sibling("parkpos")) {
            const double d = distanceNm(position, {leadingDoubleOrZero(pos.attribute("latitude").as_string()),
                                                   leadingDoubleOrZero(pos.attribute("longitude").as_string())});
            if (!found || d < best) {
                best = d;
                standName = pos.attribute("id").as_string();
                found = true;
            }
        }
        return found ? best : 100.0;
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
        if (!downloaded.empty()) {
            std::error_code ec;
            std::filesystem::remove(downloaded, ec);
        }
        return 100.0;
    }
}

bool lf_checkArchivedForOfflineLearning(const std::string& icao)
{
    if (!isPlainAirportCode(icao)) {
        logLineMarked(vr::format("{} not suitable for offline learning: not an airport code", icao));
        return false;
    }
    // A name of our own in the working folder: a user's "<ICAO>.xml" stays.
    const std::filesystem::path probe = std::filesystem::path(".vrmt_offline_" + icao + ".xml");
    const std::string url = downloadFolderUrl() + archivedReference(icao);
    bool suitable = false;
    if (const DownloadResult got = downloadFile(url, probe, true); got != DownloadResult::done) {
        // The site's "not archived" is an answer, not a fault: only a download
        // that could not be made is marked.
        const std::string text = vr::format("Failed to download {}", url);
        if (got == DownloadResult::notOnSite)
            logLine(text);
        else
            logLineMarked(text);
    } else {
        pugi::xml_document doc;
        if (!doc.load_file(probe.c_str())) {
            logLineMarked(vr::format("Failed to load {}", url));
        } else {
            auto present = [&](const char* name) {
                const std::optional<std::int32_t> v = lf_getApfParameterInt(doc, name);
                return v && *v >= 0;
            };
            const std::optional<std::int32_t> week = lf_getApfParameterInt(doc, "RT_traffic_week");
            suitable = (present("Qf_real") || present("Qf_soft")) && week && *week >= 27;
        }
    }
    std::error_code ec;
    std::filesystem::remove(probe, ec);
    if (!suitable) logLine(vr::format("{} not suitable for offline learning", icao));
    return suitable;
}
