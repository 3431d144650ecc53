#include "liveries/data_crypto.h"

#include <sodium.h>

#include <pugixml.hpp>

#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "core/fmt.h"
#include "core/log.h"
#include "platform/fs_path.h"

namespace {

static_assert(dataHeaderBytes == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(dataChunkOverheadBytes == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(DataDecryptionKey.size() == crypto_secretstream_xchacha20poly1305_KEYBYTES);

constexpr std::size_t cipherChunkBytes = dataChunkPlainBytes + dataChunkOverheadBytes;

void lf_initSodium()
{
    static const int result = sodium_init();  // thread-safe once; 1 when already done
    if (result < 0) throw std::runtime_error("libsodium could not be initialised");
}

// Reads up to `size` bytes; fewer only at the end of the stream.
std::size_t lf_readUpTo(std::istream& in, unsigned char* data, std::size_t size)
{
    in.read(reinterpret_cast<char*>(data), static_cast<std::streamsize>(size));
    if (in.bad()) throw std::runtime_error("Decryption failed");
    return static_cast<std::size_t>(in.gcount());
}

void lf_write(std::ostream& out, const unsigned char* data, std::size_t size)
{
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("Could not write the output");
}

}  // namespace

void lf_decryptStream(const DataKey& key, std::istream& in, std::ostream& out)
{
    lf_initSodium();
    unsigned char header[dataHeaderBytes];
    crypto_secretstream_xchacha20poly1305_state state;
    if (lf_readUpTo(in, header, sizeof header) != sizeof header ||
        crypto_secretstream_xchacha20poly1305_init_pull(&state, header, key.data()) != 0)
        throw std::runtime_error("Invalid header or key");

    std::vector<unsigned char> cipher(cipherChunkBytes);
    std::vector<unsigned char> plain(dataChunkPlainBytes);
    for (;;) {
        const std::size_t n = lf_readUpTo(in, cipher.data(), cipher.size());
        // No bytes left before FINAL: a cut stream.
        if (n == 0) throw std::runtime_error("Decryption failed");
        unsigned long long plainSize = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainSize, &tag, cipher.data(), n,
                                                       nullptr, 0) != 0)
            throw std::runtime_error("Decryption failed");
        lf_write(out, plain.data(), static_cast<std::size_t>(plainSize));
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) break;
    }
    // Nothing may follow the FINAL chunk.
    if (in.peek() != std::istream::traits_type::eof()) throw std::runtime_error("Decryption failed");
    out.flush();
    if (!out) throw std::runtime_error("Could not write the output");
}

void lf_decryptStream(const DataKey& key, const std::filesystem::path& input, const std::filesystem::path& output)
{
    std::ifstream in(input, std::ios::binary);
    if (!in) throw std::runtime_error("Could not open input file: " + platform::pathText(input));
    std::ofstream out(output, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Could not open output file: " + platform::pathText(output));
    lf_decryptStream(key, in, out);
    out.close();
    if (!out) throw std::runtime_error("Could not write the output");
}

bool gf_streamDecrypt(const std::filesystem::path& input, const std::filesystem::path& output)
{
    try {
        const DataKey key = DataDecryptionKey;
        lf_decryptStream(key, input, output);
        return true;
    } catch (const std::exception& e) {
        // The user has two such files: the line says which one failed (the
        // texts of a file that cannot be opened name it already).
        const std::string what = e.what();
        const std::string file = platform::pathText(input);
        if (what.rfind("Could not open", 0) != 0)
            logLine(vr::format("{} exception: {}: {}", "gf_streamDecrypt", what, file));
        else
            logLine(vr::format("{} exception: {}", "gf_streamDecrypt", what));
    }
    gf_removeFile(output);
    return false;
}

std::string gf_loadDataDocument(const std::filesystem::path& enc, pugi::xml_document& doc)
{
    std::ifstream in(enc, std::ios::binary);
    if (!in) return "cannot be opened";
    std::ostringstream cipher;
    cipher << in.rdbuf();
    if (in.bad()) return "cannot be read";
    std::string plain;
    try {
        plain = gf_decryptText(DataDecryptionKey, cipher.str());
    } catch (const std::exception& e) {
        return e.what();
    }
    const pugi::xml_parse_result result = doc.load_buffer(plain.data(), plain.size());
    if (!result) return vr::format("not XML: {}", result.description());
    return {};
}

void gf_removeFile(const std::filesystem::path& path)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(path, ec);
    if (ec || !std::filesystem::exists(status)) return;
    if (!std::filesystem::remove(path, ec) && ec)
        logLineMarked(vr::format("Warning: could not remove {}, errorcode: {}", platform::pathText(path), ec.message()));
}

void gf_encryptStream(const DataKey& key, std::istream& in, std::ostream& out, const EncryptOptions& options)
{
    if (options.chunkBytes == 0) throw std::invalid_argument("chunk size 0");
    lf_initSodium();
    unsigned char header[dataHeaderBytes];
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.data());
    lf_write(out, header, sizeof header);

    std::vector<unsigned char> plain(options.chunkBytes);
    std::vector<unsigned char> cipher(options.chunkBytes + dataChunkOverheadBytes);
    auto push = [&](std::size_t n, unsigned char tag) {
        unsigned long long size = 0;
        crypto_secretstream_xchacha20poly1305_push(&state, cipher.data(), &size, plain.data(), n, nullptr, 0, tag);
        lf_write(out, cipher.data(), static_cast<std::size_t>(size));
    };
    std::size_t n = lf_readUpTo(in, plain.data(), plain.size());
    for (;;) {
        const bool last = n < plain.size() || in.peek() == std::istream::traits_type::eof();
        if (!last) {
            push(n, crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
            n = lf_readUpTo(in, plain.data(), plain.size());
            continue;
        }
        if (options.emptyFinalChunk) {
            if (n > 0) push(n, crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
            push(0, crypto_secretstream_xchacha20poly1305_TAG_FINAL);
        } else {
            push(n, crypto_secretstream_xchacha20poly1305_TAG_FINAL);
        }
        break;
    }
    out.flush();
    if (!out) throw std::runtime_error("Could not write the output");
}

namespace {

// Runs `write` on "<output>.tmp" and renames that over the output; on any
// failure the temporary file is removed and the output left as it was.
template <class Write>
void lf_writeThroughTemporary(std::istream& in, const std::filesystem::path& output, Write write)
{
    std::filesystem::path temporary = output;
    temporary += ".tmp";
    try {
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            if (!out) throw std::runtime_error("Could not open output file: " + platform::pathText(output));
            write(in, out);
            out.close();
            if (!out) throw std::runtime_error("Could not write the output");
        }
        std::filesystem::rename(temporary, output);
    } catch (const std::filesystem::filesystem_error& e) {
        std::error_code ec;
        std::filesystem::remove(temporary, ec);
        throw std::runtime_error(vr::format("Could not write {}: {}", platform::pathText(output), e.code().message()));
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(temporary, ec);
        throw;
    }
}

std::ifstream lf_openInput(const std::filesystem::path& input)
{
    std::ifstream in(input, std::ios::binary);
    if (!in) throw std::runtime_error("Could not open input file: " + platform::pathText(input));
    return in;
}

}  // namespace

void gf_encryptFile(const DataKey& key, const std::filesystem::path& input, const std::filesystem::path& output,
                    const EncryptOptions& options)
{
    std::ifstream in = lf_openInput(input);
    lf_writeThroughTemporary(in, output,
                             [&](std::istream& i, std::ostream& o) { gf_encryptStream(key, i, o, options); });
}

void gf_decryptFile(const DataKey& key, const std::filesystem::path& input, const std::filesystem::path& output)
{
    std::ifstream in = lf_openInput(input);
    lf_writeThroughTemporary(in, output, [&](std::istream& i, std::ostream& o) { lf_decryptStream(key, i, o); });
}

std::string gf_encryptText(const DataKey& key, std::string_view plain, const EncryptOptions& options)
{
    std::istringstream in{std::string(plain)};
    std::ostringstream out;
    gf_encryptStream(key, in, out, options);
    return std::move(out).str();
}

std::string gf_decryptText(const DataKey& key, std::string_view cipher)
{
    std::istringstream in{std::string(cipher)};
    std::ostringstream out;
    lf_decryptStream(key, in, out);
    return std::move(out).str();
}

DataKey gf_parseDataKey(std::string_view hex)
{
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    DataKey key{};
    if (hex.size() != key.size() * 2) throw std::invalid_argument("a key is 64 hexadecimal digits");
    for (std::size_t i = 0; i < key.size(); ++i) {
        const int hi = digit(hex[2 * i]);
        const int lo = digit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) throw std::invalid_argument("a key is 64 hexadecimal digits");
        key[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    return key;
}
