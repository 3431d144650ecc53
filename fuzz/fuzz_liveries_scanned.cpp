// LiveriesScanned.xml is written by the program but may be edited, cut or
// replaced by hand: any bytes either give liveries or a user error, never a crash.
#include <cstddef>
#include <cstdint>

#include <pugixml.hpp>

#include "core/errors.h"
#include "liveries/livery.h"
#include "liveries/livery_init.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pugi::xml_document doc;
    if (!doc.load_buffer(data, size)) return 0;  // the reader's code 51
    try {
        lf_readLiveriesScannedDocument(doc, "LiveriesScanned.xml");
        for (const Livery& l : ScannedLiveries)
            if (l.folderNumber != 0) __builtin_trap();
    } catch (const qxv::UserErrorException&) {
    }
    ScannedLiveries.clear();
    return 0;
}
