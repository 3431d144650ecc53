#include <cstdio>
#include <cstring>

#include "core/fmt.h"

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(vr::format("Vormeth {}", VRMT_VERSION).c_str());
        return 0;
    }
    return 0;
}
