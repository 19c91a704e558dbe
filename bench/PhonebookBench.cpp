// The address books at their expected size: a folder of 10 000 vCards loaded into the index
// (counter read_ratio: the load's time over a plain read of the same files), and a lookup
// of a caller that has an entry, one behind a switchboard and one that gets only a place
// (known before, and seen for the first time).
#include "phonebook/Phonebook.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kCards = 10000;

std::size_t readAll(const fs::path &dir)
{
    std::size_t bytes = 0;
    std::vector<char> buf(1 << 16);
    for (const auto &e : fs::directory_iterator(dir)) {
        if (std::FILE *f = std::fopen(e.path().c_str(), "rb")) {
            for (std::size_t n; (n = std::fread(buf.data(), 1, buf.size(), f)) > 0;)
                bytes += n;
            std::fclose(f);
        }
    }
    return bytes;
}

/// A folder of kCards files of one card each, as vdirsyncer and khard keep them; made once.
const fs::path &cardFolder()
{
    static const fs::path dir = [] {
        const fs::path d =
            fs::temp_directory_path() / ("kw-phonebook-bench-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::mt19937 rng(4711);
        for (int i = 0; i < kCards; ++i) {
            std::ofstream out(d / ("card" + std::to_string(i) + ".vcf"), std::ios::binary);
            out << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" << i << "\r\nN:Müller " << i
                << ";Jürgen;;;\r\nFN:Jürgen Müller " << i << "\r\nTEL;TYPE=cell:+49 170 "
                << 1000000 + i << "\r\nTEL;TYPE=home:030 " << 2000000 + rng() % 7000000
                << "\r\nEMAIL:j" << i << "@example.org\r\nEND:VCARD\r\n";
        }
        std::atexit([] { fs::remove_all(dir); });
        return d;
    }();
    return dir;
}

PhonebookConfig config()
{
    PhonebookConfig c;
    c.vcardPaths = {cardFolder().string()};
    c.areaCode = "030";
    return c;
}

void BM_LoadFolder(benchmark::State &state)
{
    double loadSeconds = 0, readSeconds = 0;
    const PhonebookConfig settings = config(); // writes the folder, outside the timing
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        Phonebook book(settings);
        book.loadNow();
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(book.lookup("01701000000"));
        state.PauseTiming();
        const auto r0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(readAll(cardFolder()));
        const auto r1 = std::chrono::steady_clock::now();
        state.ResumeTiming();
        loadSeconds += std::chrono::duration<double>(t1 - t0).count();
        readSeconds += std::chrono::duration<double>(r1 - r0).count();
    }
    state.counters["read_ratio"] = readSeconds > 0 ? loadSeconds / readSeconds : 0;
    state.counters["read_ms"] = 1000 * readSeconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LoadFolder)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Lookup(benchmark::State &state, const char *caller)
{
    static Phonebook *book = [] {
        auto *b = new Phonebook(config());
        b->setRouterBooks({{"Router: Telefonbuch", {{"Zentrale", "0711 9876-0", "Telefonbuch"}}}});
        b->loadNow();
        return b;
    }();
    for (auto _ : state)
        benchmark::DoNotOptimize(book->displayText(caller));
}
BENCHMARK_CAPTURE(BM_Lookup, entry, "01701004711")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lookup, switchboard, "07119876123")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lookup, place, "0891234567")->Unit(benchmark::kMicrosecond);

// A number no book knows, seen for the first time: the geocoder's own cost.
void BM_FirstPlace(benchmark::State &state)
{
    Phonebook book(config());
    long n = 1000000;
    for (auto _ : state)
        benchmark::DoNotOptimize(book.displayText("089" + std::to_string(n++)));
}
BENCHMARK(BM_FirstPlace)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
