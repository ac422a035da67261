// Replays fuzz inputs without libFuzzer, for the plain build: every file
// named on the command line, or in a folder named there, is passed once to
// LLVMFuzzerTestOneInput (after LLVMFuzzerInitialize, where the target has
// one). The seeds and past findings of each target run so as tests, and
// under valgrind (scripts/memcheck.sh).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = fs::absolute(argv[i]);
        if (fs::is_directory(path)) {
            for (const auto& entry : fs::directory_iterator(path))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    // Read everything first: a target's initialisation may change the folder.
    std::vector<std::vector<uint8_t>> inputs;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::fprintf(stderr, "%s\n", files[i].filename().c_str());
        LLVMFuzzerTestOneInput(inputs[i].data(), inputs[i].size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
