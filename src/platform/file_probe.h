#pragma once
// Reading files straight from the system: the first bytes of a file that other
// programs may have open, to guess what it holds; and a file opened for reading
// without a stream's buffer, for readers that take a head first and then the
// rest (the airport scan opens each scenery file once).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace platform {

struct FileStart {
    int openError = 0;       // the system's error code when the file could not be opened, else 0
    bool readError = false;  // opened, but reading failed
    std::string bytes;       // the bytes read
};

// Opens an existing file for reading (shared with other readers and writers)
// and reads at most `maxBytes` from its start. A folder counts as a file that
// cannot be opened.
FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes);

// An existing file opened for reading (shared with other readers and writers),
// closed with the object. One thread at a time.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::filesystem::path& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // The system's error code when the file could not be opened (a folder gives
    // the code for "is a folder"), else 0.
    int openError() const { return openError_; }
    bool isOpen() const { return openError_ == 0; }
    // The size in bytes now; nullopt when the file is not open or its size is not known.
    std::optional<std::uint64_t> size() const;
    // Reads from where the last read ended into `into` until `bytes` are read,
    // the file ends or reading fails: the count read.
    std::size_t read(void* into, std::size_t bytes);
    // A read of this file failed (not open, or the system refused it).
    bool readFailed() const { return readFailed_; }

private:
    int fd_ = -1;
    int openError_ = 0;
    bool readFailed_ = false;
};

}  // namespace platform
