#pragma once
// The program's encrypted data files (dbase.enc, AIG-regcodes.enc) and their
// writer.
//
// Format: libsodium's secretstream (XChaCha20-Poly1305), no additional data.
// A 24-byte stream header, then chunks of at most 4096 plain bytes, each
// sealed with 17 bytes of overhead (at most 4113 bytes a chunk). Every chunk but
// the last holds exactly 4096 plain bytes, because the reader reads 4113-byte
// pieces. The last chunk carries the tag FINAL; a plain text that is a multiple
// of 4096 bytes may end with a full FINAL chunk or with an extra empty one.
//
// The reader takes nothing on trust: the header must be whole, every chunk must
// open, the stream must end with FINAL, and nothing may follow it. A file cut
// or edited anywhere fails, so it never becomes a smaller database.
//
// All functions are safe from any thread (sodium is initialised once).

#include <array>
#include <cstddef>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

namespace pugi {
class xml_document;
}

using DataKey = std::array<unsigned char, 32>;

// The built-in key of both data files.
inline constexpr DataKey DataDecryptionKey{
    0x5e, 0x19, 0xc0, 0xa7, 0xd2, 0xb8, 0x4f, 0x31, 0x60, 0xea, 0x9b, 0xd5, 0xc7, 0x2e, 0x08, 0xf4,
    0xa3, 0x1d, 0x6b, 0x9e, 0x0c, 0x5f, 0x7a, 0x28, 0x14, 0xd3, 0xe9, 0x6b, 0x0f, 0x5c, 0x8a, 0x27,
};

inline constexpr std::size_t dataHeaderBytes = 24;
inline constexpr std::size_t dataChunkPlainBytes = 4096;
inline constexpr std::size_t dataChunkOverheadBytes = 17;

// Decrypts the stream `in` into `out`. Throws std::runtime_error
// "Invalid header or key" (fewer than 24 header bytes, or a header the library
// refuses) or "Decryption failed" (a chunk that does not open with the key, a
// stream ending before its FINAL chunk, bytes after it). Plain bytes of the
// chunks before a failure may already be written to `out`.
void lf_decryptStream(const DataKey& key, std::istream& in, std::ostream& out);

// File to file. Throws std::runtime_error "Could not open input file: {path}",
// "Could not open output file: {path}", or one of the errors above. The output
// is created (or truncated) before the first chunk is read; on a failure what
// was written so far stays (gf_streamDecrypt removes it).
void lf_decryptStream(const DataKey& key, const std::filesystem::path& input, const std::filesystem::path& output);

// Decrypts with the built-in key. On any failure logs
// "gf_streamDecrypt exception: {what}" (followed by ": {input}" unless the text
// is one of "Could not open ... file: {path}"), removes the output and returns false.
bool gf_streamDecrypt(const std::filesystem::path& input, const std::filesystem::path& output);

// Decrypts the data file `enc` whole, in memory, with the built-in key and loads
// the plain text as XML as the start-up's reading does. Empty when that worked;
// else what is wrong ("Decryption failed", "not XML: {reason}", ...). Logs nothing.
std::string gf_loadDataDocument(const std::filesystem::path& enc, pugi::xml_document& doc);

// Removes the file if it exists; a failure is logged as a warning
// "Warning: could not remove {path}, errorcode: {message}". Never throws.
void gf_removeFile(const std::filesystem::path& path);

// Removes a file (gf_removeFile) when the scope ends, however it ends: the
// decrypted plain files exist only while they are read.
class RemoveFileOnExit {
public:
    explicit RemoveFileOnExit(std::filesystem::path path) : path_(std::move(path)) {}
    ~RemoveFileOnExit() { gf_removeFile(path_); }
    RemoveFileOnExit(const RemoveFileOnExit&) = delete;
    RemoveFileOnExit& operator=(const RemoveFileOnExit&) = delete;

private:
    std::filesystem::path path_;
};

// How the writer cuts the plain text. The defaults give the format above;
// the others exist to prove that the reader refuses anything else.
struct EncryptOptions {
    std::size_t chunkBytes = dataChunkPlainBytes;
    // End with an extra empty FINAL chunk instead of tagging the last data chunk
    // (in the format only when the plain text is a multiple of the chunk size).
    bool emptyFinalChunk = false;
};

// Encrypts the stream `in` into `out`. Throws std::runtime_error on a read or
// write error and std::invalid_argument for chunkBytes 0.
void gf_encryptStream(const DataKey& key, std::istream& in, std::ostream& out, const EncryptOptions& options = {});

// File to file, through "<output>.tmp" renamed over the output, so a failure
// leaves an existing output whole. Throws std::runtime_error
// "Could not open input file: {path}", "Could not open output file: {path}",
// "Could not write the output" or "Could not write {path}: {reason}" (the rename).
void gf_encryptFile(const DataKey& key, const std::filesystem::path& input, const std::filesystem::path& output,
                    const EncryptOptions& options = {});

// Decrypts file to file through "<output>.tmp" renamed over the output, so a
// refused input leaves no output and an existing one whole. Throws as
// lf_decryptStream and gf_encryptFile.
void gf_decryptFile(const DataKey& key, const std::filesystem::path& input, const std::filesystem::path& output);

// In memory (tests, fuzzing).
std::string gf_encryptText(const DataKey& key, std::string_view plain, const EncryptOptions& options = {});
// Throws as lf_decryptStream.
std::string gf_decryptText(const DataKey& key, std::string_view cipher);

// A key written as 64 hexadecimal digits (either case); throws
// std::invalid_argument "a key is 64 hexadecimal digits" otherwise.
DataKey gf_parseDataKey(std::string_view hex);
