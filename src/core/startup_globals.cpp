#include "core/startup_globals.h"

// Constant-initialised: usable before and after every dynamic initialiser.
std::atomic<double> rangeNm{kRangeNmAtStart};
std::atomic<std::int32_t> rangeMetres{kRangeMetresAtStart};

SharedText& generatedFileSimulator = *new SharedText("MSFS");  // never destroyed

void resetStartupGlobals()
{
    rangeNm.store(kRangeNmAtStart, std::memory_order_relaxed);
    rangeMetres.store(kRangeMetresAtStart, std::memory_order_relaxed);
    generatedFileSimulator.set("MSFS");
}
