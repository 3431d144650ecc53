#include "liveries/data_crypto.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/support/scratch_folder.h"

namespace {

// Plain text of `size` bytes that differs from chunk to chunk.
std::string plainText(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    return text;
}

const DataKey otherKey = gf_parseDataKey("00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff");

TEST(DataCrypto, RoundTrips)
{
    struct Row {
        const char* name;
        std::size_t size;
        bool emptyFinal;
        std::size_t cipherSize;
    };
    const Row rows[] = {
        {"empty", 0, false, 24 + 17},
        {"one byte", 1, false, 24 + 18},
        {"one full chunk", 4096, false, 24 + 4113},
        {"one full chunk and an empty final one", 4096, true, 24 + 4113 + 17},
        {"one byte more than a chunk", 4097, false, 24 + 4113 + 18},
        {"ten thousand bytes", 10000, false, 24 + 4113 + 4113 + 1825},
        {"two full chunks and an empty final one", 8192, true, 24 + 4113 + 4113 + 17},
        {"empty with an empty final chunk", 0, true, 24 + 17},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string plain = plainText(row.size);
        const std::string cipher = gf_encryptText(DataDecryptionKey, plain, {dataChunkPlainBytes, row.emptyFinal});
        EXPECT_EQ(cipher.size(), row.cipherSize);
        std::string back;
        EXPECT_NO_THROW(back = gf_decryptText(DataDecryptionKey, cipher));
        EXPECT_TRUE(back == plain);
    }
}

TEST(DataCrypto, FilesRoundTripWithTheBuiltInKey)
{
    ScratchFolder dir;
    const std::string plain = plainText(10000);
    writeWholeFile(dir / "plain.xml", plain);
    gf_encryptFile(DataDecryptionKey, dir / "plain.xml", dir / "data.enc");
    EXPECT_FALSE(std::filesystem::exists(dir / "data.enc.tmp"));
    EXPECT_EQ(std::filesystem::file_size(dir / "data.enc"), 10075u);
    ASSERT_TRUE(gf_streamDecrypt(dir / "data.enc", dir / "out.xml"));
    EXPECT_EQ(readWholeFile(dir / "out.xml"), plain);
}

// Every damaged or foreign file is refused, its partial output removed, and
// the reason logged.
TEST(DataCrypto, FaultsFailAndRemoveTheOutput)
{
    const std::string good = gf_encryptText(DataDecryptionKey, plainText(10000));
    struct Row {
        const char* name;
        std::function<std::string()> file;  // the .enc bytes; none: no file at all
        std::string logged;                 // after "gf_streamDecrypt exception: "
    };
    const Row rows[] = {
        {"wrong key", [] { return gf_encryptText(otherKey, plainText(10000)); }, "Decryption failed"},
        {"a flipped byte in the header",
         [&] {
             std::string s = good;
             s[5] ^= 1;
             return s;
         },
         "Decryption failed"},
        {"a flipped byte in the second chunk",
         [&] {
             std::string s = good;
             s[24 + 4113 + 100] ^= 0x40;
             return s;
         },
         "Decryption failed"},
        {"the last chunk missing", [&] { return good.substr(0, 24 + 4113 + 4113); }, "Decryption failed"},
        {"cut inside the last chunk", [&] { return good.substr(0, good.size() - 1); }, "Decryption failed"},
        {"a byte after the final chunk", [&] { return good + "x"; }, "Decryption failed"},
        {"a chunk after the final chunk",
         [&] { return good + gf_encryptText(DataDecryptionKey, "more").substr(24); }, "Decryption failed"},
        {"the header only", [&] { return good.substr(0, 24); }, "Decryption failed"},
        {"an empty file", [] { return std::string(); }, "Invalid header or key"},
        {"ten bytes", [] { return std::string(10, 'x'); }, "Invalid header or key"},
        {"8192-byte chunks",
         [] { return gf_encryptText(DataDecryptionKey, plainText(10000), {8192, false}); }, "Decryption failed"},
        {"a short chunk before an empty final chunk",
         [] { return gf_encryptText(DataDecryptionKey, plainText(10000), {dataChunkPlainBytes, true}); },
         "Decryption failed"},
        {"a single 8192-byte chunk", [] { return gf_encryptText(DataDecryptionKey, plainText(5000), {8192, false}); },
         "Decryption failed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchLog log;
        const ScratchFolder& dir = log.folder();
        writeWholeFile(dir / "data.enc", row.file());
        writeWholeFile(dir / "out.xml", "old content");
        EXPECT_FALSE(gf_streamDecrypt(dir / "data.enc", dir / "out.xml"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out.xml"));
        // The line names the file, as the user has two of them.
        EXPECT_EQ(log.lines(), std::vector<std::string>{"gf_streamDecrypt exception: " + row.logged + ": " +
                                                        (dir / "data.enc").string()});
    }
}

TEST(DataCrypto, MissingFiles)
{
    ScratchLog log;
    const ScratchFolder& dir = log.folder();
    EXPECT_FALSE(gf_streamDecrypt(dir / "none.enc", dir / "out.xml"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.xml"));
    writeWholeFile(dir / "data.enc", gf_encryptText(DataDecryptionKey, "x"));
    EXPECT_FALSE(gf_streamDecrypt(dir / "data.enc", dir / "no such folder" / "out.xml"));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "gf_streamDecrypt exception: Could not open input file: " + (dir / "none.enc").string(),
                               "gf_streamDecrypt exception: Could not open output file: " +
                                   (dir / "no such folder" / "out.xml").string(),
                           }));
}

TEST(DataCrypto, EncryptingAFileThatCannotBeWrittenKeepsTheOldOne)
{
    ScratchFolder dir;
    writeWholeFile(dir / "plain.xml", "abc");
    EXPECT_THROW(gf_encryptFile(DataDecryptionKey, dir / "none.xml", dir / "data.enc"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(dir / "data.enc"));
    std::filesystem::create_directory(dir / "data.enc");  // a folder cannot be replaced by the rename
    EXPECT_THROW(gf_encryptFile(DataDecryptionKey, dir / "plain.xml", dir / "data.enc"), std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "data.enc"));
    EXPECT_FALSE(std::filesystem::exists(dir / "data.enc.tmp"));
}

TEST(DataCrypto, RemoveFile)
{
    ScratchLog log;
    const ScratchFolder& dir = log.folder();
    writeWholeFile(dir / "a.xml", "x");
    gf_removeFile(dir / "a.xml");
    gf_removeFile(dir / "a.xml");  // absent: nothing, no line
    EXPECT_FALSE(std::filesystem::exists(dir / "a.xml"));
    std::filesystem::create_directories(dir / "full" / "inner");
    gf_removeFile(dir / "full");
    EXPECT_TRUE(std::filesystem::exists(dir / "full"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("===> Warning: could not remove " + (dir / "full").string() + ", errorcode: ", 0),
              0u);
}

TEST(DataCrypto, ParseKey)
{
    EXPECT_EQ(gf_parseDataKey("5e19c0a7d2b84f3160ea9bd5c72e08f4a31d6b9e0c5f7a2814d3e96b0f5c8a27"), DataDecryptionKey);
    EXPECT_EQ(gf_parseDataKey("5E19C0A7D2B84F3160EA9BD5C72E08F4A31D6B9E0C5F7A2814D3E96B0F5C8A27"), DataDecryptionKey);
    for (const char* bad : {"", "5e19", "5e19c0a7d2b84f3160ea9bd5c72e08f4a31d6b9e0c5f7a2814d3e96b0f5c8a2",
                            "5e19c0a7d2b84f3160ea9bd5c72e08f4a31d6b9e0c5f7a2814d3e96b0f5c8a2g",
                            "5e19c0a7d2b84f3160ea9bd5c72e08f4a31d6b9e0c5f7a2814d3e96b0f5c8a2700"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(gf_parseDataKey(bad), std::invalid_argument);
    }
}

}  // namespace
