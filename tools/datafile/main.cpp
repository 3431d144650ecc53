// vrmt-encrypt: makes the program's encrypted data files (dbase.enc,
// AIG-regcodes.enc) from their plain XML, and reads them back with --decrypt.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/data_crypto.h"

namespace {

const char* const usage =
    "usage: vrmt-encrypt [--key HEX] [--decrypt] INPUT OUTPUT\n"
    "\n"
    "Encrypts INPUT (a plain dbase.xml or AIG-regcodes.xml) into OUTPUT in the\n"
    "format the program reads (dbase.enc, AIG-regcodes.enc). With --decrypt,\n"
    "decrypts INPUT into OUTPUT; a file that was cut or edited is refused and no\n"
    "OUTPUT is written. OUTPUT is replaced only once it is complete.\n"
    "\n"
    "  --key HEX   the key as 64 hexadecimal digits (default: the program's own)\n"
    "  --decrypt   decrypt instead of encrypt\n"
    "  --help      this text\n"
    "\n"
    "Exit status: 0 done, 1 failed (the reason on stderr), 2 wrong arguments.\n";

}  // namespace

int main(int argc, char** argv)
{
    DataKey key = DataDecryptionKey;
    bool decrypt = false;
    std::vector<std::string> files;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::string_view arg = argv[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(usage, stdout);
                return 0;
            }
            if (arg == "--decrypt") {
                decrypt = true;
            } else if (arg == "--key" && i + 1 < argc) {
                key = gf_parseDataKey(argv[++i]);
            } else if (arg.size() > 1 && arg.front() == '-') {
                std::fprintf(stderr, "vrmt-encrypt: unknown option %s\n%s", argv[i], usage);
                return 2;
            } else {
                files.emplace_back(arg);
            }
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrmt-encrypt: %s\n", e.what());
        return 2;
    }
    if (files.size() != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    try {
        if (decrypt)
            gf_decryptFile(key, files[0], files[1]);
        else
            gf_encryptFile(key, files[0], files[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrmt-encrypt: %s: %s\n", files[0].c_str(), e.what());
        return 1;
    }
    return 0;
}
