// LogLoad of generated logs into the real grid model and list, beside a baseline that
// only reads the file and splits it into records. Run with --benchmark_filter=/100000 etc.
#include "app/ViewsRecordSink.h"
#include "calllog/CallLog.h"
#include "calllog/LogRecordSink.h"
#include "ui/MainWindowViews.h"

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const kHandlings[] = {"Angenommen am S0-Bus",   "Anrufer hat aufgelegt",
                                  "Angenommen am Computer", "Anruf umgeleitet",
                                  "Abbruch durch VSt",      "34"};
const char *const kMsns[] = {"345", "346", "347", "0301234567"};

/// Writes a log of about this many records: calls with random numbers, a start and end
/// marker around every run of calls, some withheld callers and some records without their
/// handling field.
std::uintmax_t writeLog(const fs::path &path, int records)
{
    std::mt19937 rng(4711);
    std::ofstream out(path, std::ios::binary);
    std::string buf;
    char record[160];
    for (int i = 0; i < records; ++i) {
        const int day = 1 + static_cast<int>(rng() % 28), month = 1 + static_cast<int>(rng() % 12);
        const int hour = static_cast<int>(rng() % 24), minute = static_cast<int>(rng() % 60),
                  second = static_cast<int>(rng() % 60);
        const auto kind = rng() % 100;
        if (kind < 4) {
            std::snprintf(record, sizeof record, "#  %02d-%02d-2021 - %02d:%02d:%02d   %s\r\n",
                          month, day, hour, minute, second, kind < 2 ? "Start" : "Ende");
        } else {
            char caller[24] = "";
            if (kind >= 10) {
                const int digits = 6 + static_cast<int>(rng() % 8);
                caller[0] = '0';
                for (int d = 1; d < digits; ++d)
                    caller[d] = static_cast<char>('0' + rng() % 10);
                caller[digits] = 0;
            }
            const char *msn = kMsns[rng() % 4];
            if (kind < 13) // a record without its handling field
                std::snprintf(record, sizeof record, "%s\t%s\t%02d.%02d.2021\t%02d:%02d:%02d\r\n",
                              caller, msn, day, month, hour, minute, second);
            else
                std::snprintf(record, sizeof record,
                              "%s\t%s\t%02d.%02d.2021\t%02d:%02d:%02d\t%s\r\n", caller, msn, day,
                              month, hour, minute, second, kHandlings[rng() % 6]);
        }
        buf += record;
        if (buf.size() > (1 << 20)) {
            out << buf;
            buf.clear();
        }
    }
    out << buf;
    out.close();
    return fs::file_size(path);
}

std::size_t residentBytes()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

double peakRssMiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// Reads the file in 1 MiB blocks and splits it into records; the least any load must do.
std::size_t baselineRead(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const std::size_t size = 1 << 20;
    std::unique_ptr<char[]> buf(new char[size]);
    std::size_t records = 0, longest = 0, current = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf.get(), size);
        if (n <= 0)
            break;
        const char *p = buf.get();
        const char *const end = p + n;
        while (p < end) {
            const auto *nl = static_cast<const char *>(std::memchr(p, '\n', end - p));
            if (!nl) {
                current += static_cast<std::size_t>(end - p);
                break;
            }
            current += static_cast<std::size_t>(nl - p);
            longest = std::max(longest, current);
            current = 0;
            ++records;
            p = nl + 1;
        }
    }
    ::close(fd);
    benchmark::DoNotOptimize(longest);
    return records;
}

double secondsOf(const std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

void BM_Baseline(benchmark::State &state, const std::string &path, std::uintmax_t size)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(baselineRead(path));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

/// Takes the records and drops them: what the reading and splitting of records costs.
class CountingSink final : public LogRecordSink
{
public:
    std::size_t rows = 0;
    std::size_t bytes = 0;
    void record(std::string_view text) override
    {
        ++rows;
        // Counted twice, as the grid and the list each take the record.
        bytes += 2 * text.size();
    }
};

void BM_ParseOnly(benchmark::State &state, const std::string &path, std::uintmax_t size)
{
    for (auto _ : state) {
        CountingSink sink;
        CallLog(path).LogLoad(sink);
        benchmark::DoNotOptimize(sink.bytes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_LogLoad(benchmark::State &state, const std::string &path, std::uintmax_t size)
{
    using Clock = std::chrono::steady_clock;
    // The baseline in the same run, so the ratio compares like with like.
    Clock::duration baseline{};
    const int kBaselineRuns = 3;
    for (int i = 0; i < kBaselineRuns; ++i) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(baselineRead(path));
        baseline += Clock::now() - t0;
    }
    Clock::duration loading{};
    double memoryOverFile = 0;
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ::malloc_trim(0);
        auto window = std::make_unique<QWidget>();
        auto views = std::make_unique<MainWindowViews>(*window);
        views->SetupCallGrid();
        const std::size_t before = residentBytes();
        CallLog log(path);
        state.ResumeTiming();

        const auto t0 = Clock::now();
        ViewsRecordSink::load(*views, [&](LogRecordSink &sink) { log.LogLoad(sink); });
        loading += Clock::now() - t0;

        state.PauseTiming();
        memoryOverFile = static_cast<double>(residentBytes() - before) / static_cast<double>(size);
        rows = views->GridRowCount() - 1;
        views.reset();
        window.reset();
        state.ResumeTiming();
    }
    const double perLoad = secondsOf(loading) / static_cast<double>(state.iterations());
    const double perBaseline = secondsOf(baseline) / kBaselineRuns;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
    state.counters["load_ms"] = perLoad * 1e3;
    state.counters["baseline_ms"] = perBaseline * 1e3;
    state.counters["ratio_to_baseline"] = perLoad / perBaseline;
    state.counters["mem_over_file"] = memoryOverFile;
    state.counters["file_MiB"] = static_cast<double>(size) / (1 << 20);
    state.counters["rows"] = rows;
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A fixed mmap threshold, as a fresh process has it: otherwise glibc raises it after
    // each freed iteration and later loads look bigger than the program's one load.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    std::string tmpl = (fs::temp_directory_path() / "kw-bench-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = tmpl;
    for (const int records : {10000, 100000, 1000000}) {
        const std::string path = (dir / ("caller-" + std::to_string(records) + ".log")).string();
        const std::string suffix = "/" + std::to_string(records);
        // Files are written only for the sizes the filter selects (the CI run takes one).
        const auto sizeOf = [path, records] {
            if (!fs::exists(path))
                writeLog(path, records);
            return fs::file_size(path);
        };
        benchmark::RegisterBenchmark(("Baseline" + suffix).c_str(), [path,
                                                                     sizeOf](benchmark::State &s) {
            BM_Baseline(s, path, sizeOf());
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ParseOnly" + suffix).c_str(), [path,
                                                                      sizeOf](benchmark::State &s) {
            BM_ParseOnly(s, path, sizeOf());
        })->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LogLoad" + suffix).c_str(), [path,
                                                                    sizeOf](benchmark::State &s) {
            BM_LogLoad(s, path, sizeOf());
        })->Unit(benchmark::kMillisecond);
    }
    // Logs no program writes: one record of 20 MB without a record end, and a sparse file
    // of 1.5 GiB of NUL bytes with one call record at its end.
    const std::string record = (dir / "record-20MB.log").string();
    const std::string sparse = (dir / "sparse-1.5GiB.log").string();
    const auto damaged = [record, sparse](const std::string &path) {
        if (!fs::exists(path)) {
            if (path == record) {
                std::ofstream(path, std::ios::binary) << std::string(20'000'000, '7');
            } else {
                std::ofstream(path, std::ios::binary) << "";
                fs::resize_file(path, 3 * (std::uintmax_t{1} << 29));
                std::ofstream(path, std::ios::binary | std::ios::app)
                    << "\r\n0302\t345\t30.12.2000\t14:05:10\tlast\r\n";
            }
        }
        return fs::file_size(path);
    };
    for (const std::string &path : {record, sparse}) {
        const std::string name = "LogLoad/damaged/" + fs::path(path).stem().string();
        benchmark::RegisterBenchmark(name.c_str(), [path, damaged](benchmark::State &s) {
            BM_LogLoad(s, path, damaged(path));
        })->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
