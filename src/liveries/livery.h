#pragma once
// One installed AI livery as the scan found it, the list a scan fills, and the
// file that keeps it between start-ups (output/LiveriesScanned.xml).
//
// ScannedLiveries is changed only by the thread that drives the scan (the folder
// walk splices each file's result into it in walk order; the initialisation sorts
// and reads it) and needs no lock. ScannedTitles holds every title handed out since
// the last reset, under its own mutex; lf_resetScanLists empties it after a scan.

#include <cstdint>
#include <list>
#include <mutex>
#include <set>
#include <string>

struct Livery {
    std::string airline;  // ICAO airline code; "ZZZ" unknown airline, "PVT" private aircraft
    std::string model;    // ICAO type code
    std::string title;    // the simulator title
    std::string atcId;    // registration, may be empty
    std::uint32_t folderNumber = 0;  // liveries folder 1..10; 0 when read back from the file
    bool cargo = false;

    Livery() = default;
    Livery(std::string airline, std::string model, std::string title, std::string atcId,
           std::uint32_t folderNumber, bool cargo)
        : airline(std::move(airline)), model(std::move(model)), title(std::move(title)), atcId(std::move(atcId)),
          folderNumber(folderNumber), cargo(cargo)
    {
    }
    Livery(const Livery&) = default;
    Livery& operator=(const Livery&) = default;
    // A move leaves the source empty (its strings cleared, folder 0, pax), whatever
    // the library's strings do.
    Livery(Livery&& other) noexcept;
    Livery& operator=(Livery&& other) noexcept;

    // The empty Livery (what lf_makeLivery gives for a title handed out before).
    bool empty() const { return airline.empty(); }
};

// The Liveries of the current scan, or of LiveriesScanned.xml once read back.
extern std::list<Livery> ScannedLiveries;

// The titles handed out by lf_makeLivery since the last clear.
class ScannedTitleSet {
public:
    // True when the title was not there yet (it is now).
    bool insert(const std::string& title);
    bool contains(const std::string& title) const;
    std::size_t size() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::set<std::string> titles_;
};
extern ScannedTitleSet ScannedTitles;

// The Livery with these values (cargo = !notCargo) when the title was not handed
// out yet since the last reset; the empty Livery otherwise. The test and the
// insertion are one step under the set's mutex.
Livery lf_makeLivery(std::uint32_t folderNumber, const std::string& airline, const std::string& model,
                     bool notCargo, const std::string& title, const std::string& atcId);

// Title, airline, model and atcId equal byte for byte and the same cargo flag;
// the folder number does not count.
bool lf_liveryEquals(const Livery& a, const Livery& b);

// Writes ScannedLiveries to LiveriesScanned.xml (meta header naming "P3D", then
// <liveries> with one <liv> per Livery in list order; attributes airl, type,
// [cargo="true"], title, [atcid]) through a temporary file and a rename, and logs
// "{} liveries in {}". An empty list writes nothing and logs nothing.
void lf_writeLiveriesScanned();
// The text of that file for a list: what the XML library saves for the document
// (meta block, then <liveries>), written straight away.
std::string lf_liveriesScannedText(const std::list<Livery>& liveries);
