// The data files come from a download: any bytes must be refused or decrypted
// without a crash, the writer and the reader must agree on every text, and any
// document handed to the database reader must give tables or code 61.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "core/errors.h"
#include "liveries/data_crypto.h"
#include "liveries/dbase.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    // As an encrypted file: refused (almost always) or decrypted, never more.
    try {
        const std::string plain = gf_decryptText(DataDecryptionKey, bytes);
        if (plain.size() > size) std::abort();
    } catch (const std::runtime_error&) {
    }
    // As a plain text: encrypted and decrypted back to the same bytes.
    if (gf_decryptText(DataDecryptionKey, gf_encryptText(DataDecryptionKey, bytes)) != bytes) std::abort();

    // As the database document.
    pugi::xml_document doc;
    if (!doc.load_buffer(data, size)) return 0;
    try {
        gf_readDbaseDocument(doc);
    } catch (const qxv::UserErrorException&) {
        if (!KnownTypes.empty() || !DbaseRecords.empty()) std::abort();  // a failed read leaves nothing
        return 0;
    }
    for (const auto& [registration, record] : DbaseRecords) {
        if (registration.empty()) std::abort();
        if (!dbaseFindRecord(registration)) std::abort();
    }
    for (const std::string& type : KnownTypes) {
        dbaseTypeCategory(type);
        const double span = dbaseHalfWingspan(type);
        if (!(span >= 0.0) || span > maxHalfWingspan * (1 + 1e-12)) std::abort();
    }
    findShortCode(bytes);
    gf_isIcaoAirline(bytes);
    resetDbaseTables();
    return 0;
}
