// marrowdex-initdb PATH: creates a fresh knowledge database at PATH, never over an existing file.

#include "store/fresh_database.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "usage: marrowdex-initdb PATH\n"
                             "Creates a new, empty Marrowdex database at PATH. An existing file is never touched.\n");
        return 2;
    }
    const std::string path = argv[1];
    std::string error;
    if (!mwdx::CreateFreshDatabase(path, &error)) {
        std::fprintf(stderr, "marrowdex-initdb: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
