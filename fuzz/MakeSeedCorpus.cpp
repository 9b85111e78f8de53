// Writes the seed corpus of the fuzz target into a folder: make_seed_corpus <folder>.
#include "SeedCorpus.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }
    int written = 0;
    for (const telv::fuzz::Seed& seed : telv::fuzz::MakeSeedCorpus()) {
        std::ofstream file(folder / seed.name, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(seed.input.data()), static_cast<std::streamsize>(seed.input.size()));
        if (!file) {
            std::fprintf(stderr, "cannot write %s\n", (folder / seed.name).c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seeds in %s\n", written, folder.c_str());
    return 0;
}
