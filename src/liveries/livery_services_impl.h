#pragma once
// The liveries subsystem behind core's seam (core/livery_services.h): what the
// simulator link, the live-traffic client and the traffic engine ask of the
// aircraft database (and, later, of the livery tables).
//
// installLiveryServices() installs the one process-wide instance; it is
// idempotent and cheap, and the database reader calls it once its tables are
// filled. The answers read the process-wide tables, which are written only
// before the threads that ask start their work (see liveries/dbase.h), so the
// instance holds no state of its own and takes no lock. The livery calls answer
// from the livery tables (liveries/livery_index.h, liveries/livery_match.h) and,
// like them, run on the worker thread only.

#include "core/livery_services.h"

class LiveryServicesImpl : public LiveryServices {
public:
    AcCategory typeCategory(const std::string& type) override;
    bool isKnownType(const std::string& type) override;
    double halfWingspan(const std::string& type) override;
    double largestHalfWingspan() override;
    std::optional<DbaseRecord> findDbaseRecord(const std::string& registration) override;

    std::optional<LiveryMatch> matchLiveAcLivery(const LiveryRequest& ac) override;
    std::optional<LiveryMatch> matchStaticAcLivery(const LiveryRequest& ac, bool standCargo,
                                                   std::string_view standName) override;
    std::string_view lookupTitleById(std::uint32_t aircraftId) override;
    void rememberTitle(std::uint32_t aircraftId, std::string_view title) override;
    void forgetTitle(std::uint32_t aircraftId) override;
    void clearRememberedTitles() override;
    std::optional<std::string_view> regcodeTitle(const std::string& registration) override;
    bool isBlockedTitle(std::string_view title) override;
    void liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                          const std::string& airline) override;
};

// Installs the process-wide LiveryServicesImpl (never destroyed).
void installLiveryServices();
