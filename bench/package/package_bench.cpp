// Opening the package and reading its entries, with each zip reader: the
// work global setup and the first frame do before anything renders.
#include <benchmark/benchmark.h>

#include "package/BlobReader.h"
#include "package/Pack.h"
#include "package/Scramble.h"

namespace {

// A package of the usual shape: configuration, script, a few shaders and
// one image-sized entry of noisy, poorly compressible bytes.
const std::vector<uint8_t>& resource() {
    static const std::vector<uint8_t> bytes = [] {
        package::ArchiveEntries entries = {
            {"config.xml", std::vector<uint8_t>(600, 'c')},
            {"fx.js", std::vector<uint8_t>(20000, 'j')},
        };
        for (int i = 0; i < 8; ++i)
            entries.push_back({"pass" + std::to_string(i) + ".frag", std::vector<uint8_t>(4000, 'f')});
        std::vector<uint8_t> image(4 * 1024 * 1024);
        uint32_t state = 12345;
        for (uint8_t& b : image) b = uint8_t((state = state * 1664525u + 1013904223u) >> 29);  // 3 random bits
        entries.push_back({"texture.png", std::move(image)});
        return package::scrambleArchive(package::zipEntries(entries));
    }();
    return bytes;
}

void openAndReadAll(benchmark::State& state, package::ZipOpener opener) {
    const std::vector<uint8_t> table =
        platform::writeResourceTable({{package::kPackageResourceType, package::kPackageResourceName, 0, resource()}});
    const platform::ResourceTable resources = platform::parseResourceTable(table.data(), table.size());
    size_t bytes = 0;
    for (auto _ : state) {
        package::BlobReader reader;
        reader.open(resources, opener);
        for (const wchar_t* name : {L"config.xml", L"fx.js", L"pass3.frag", L"texture.png"})
            bytes += reader.read(name).size();
    }
    state.SetBytesProcessed(int64_t(bytes));
}

void descrambleOnly(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = resource();  // built before timing starts
    for (auto _ : state) benchmark::DoNotOptimize(package::descrambleArchive(bytes.data(), bytes.size()));
    state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}

BENCHMARK(descrambleOnly)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openAndReadAll, libzip, package::openLibzipReader)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(openAndReadAll, inflate, package::openInflateReader)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
