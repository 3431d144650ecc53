// Compiled scenery files come from any add-on: any bytes must go through the
// header check and the airport reader in bounds, and end. Links and generated
// files are replaced by a recorder that checks what it is given.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "airports/bgl_reader.h"
#include "airports/scan_log.h"

namespace {

class Recorder : public BglAirportHandler {
public:
    explicit Recorder(bool linked) : linked_(linked) {}
    bool linkAirport(ScannedAirport& airport, int& count, const std::string& path) override
    {
        airport.bglPath = path;
        airport.publisher = linked_ ? "Pub" : "unknown";
        count = linked_ ? 2 : 0;
        return linked_;
    }
    void generateAirportFile(ScannedAirport& airport) override
    {
        if (airport.icao.size() != 4) std::abort();
        for (const Stand& s : airport.stands) {
            if (!std::isfinite(s.latitude) || !std::isfinite(s.longitude) || !std::isfinite(s.heading) ||
                !std::isfinite(s.radius) || s.suffixMark)
                std::abort();
        }
    }

private:
    bool linked_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    lf_checkBGLstream(in, size);
    std::vector<std::string> log;
    ScanLogCapture capture(log);
    Recorder recorder(size % 2 == 1);
    lf_processBGLbytes(data, size, "fuzz.bgl", recorder);
    return 0;
}
