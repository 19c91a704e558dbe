// The call list at 10^4 and 10^6 calls: one keystroke of the search (the pass that finds
// the rows kept), "Nur verpasste", and klingelwacht --export of a log of that size.
// Callers come from a pool of 50,000 numbers, a tenth of them with a name, as calls of
// a real line repeat their callers.
#include "app/ExportCommand.h"
#include "ui/CallFilterModel.h"
#include "ui/CallGridModel.h"
#include "ui/CallListControls.h"
#include "ui/MainWindowViews.h"

#include <QApplication>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const kHandlings[] = {"Angenommen am S0-Bus",
                                  "Anrufer hat aufgelegt",
                                  "Angenommen an Nebenstelle 10",
                                  "Verbindung verloren",
                                  "Anrufbeantworter (Nebenstelle 40)",
                                  "34"};

/// Call rows, oldest first.
std::vector<std::string> makeRows(int count)
{
    std::mt19937 rng(4711);
    std::vector<std::string> pool;
    for (int i = 0; i < 50000; ++i) {
        std::string number = (i % 7 == 0) ? "+49 " : "0";
        const int digits = 6 + static_cast<int>(rng() % 7);
        for (int d = 0; d < digits; ++d)
            number += static_cast<char>('0' + rng() % 10);
        pool.push_back(number);
    }
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(count));
    char row[160];
    for (int i = 0; i < count; ++i) {
        std::snprintf(row, sizeof row, "%s\t%s\t%02d.%02d.2026\t%02d:%02d:%02d\t%s",
                      pool[rng() % pool.size()].c_str(), i % 3 ? "345" : "5551234",
                      1 + static_cast<int>(rng() % 28), 1 + static_cast<int>(rng() % 12),
                      static_cast<int>(rng() % 24), static_cast<int>(rng() % 60),
                      static_cast<int>(rng() % 60), kHandlings[rng() % 6]);
        rows.emplace_back(row);
    }
    return rows;
}

std::string nameOf(std::string_view caller)
{
    return caller.size() % 10 == 3 ? "Müller-Lüdenscheidt " + std::string(caller.substr(1, 3))
                                   : std::string();
}

struct Grid
{
    QWidget window;
    MainWindowViews views{window};

    explicit Grid(int count)
    {
        views.SetupCallGrid();
        views.model().setNameResolver(nameOf);
        views.beginBulkInsert();
        for (const std::string &row : makeRows(count))
            views.GridInsertTop(row);
        views.endBulkInsert();
        views.GridRemoveLast();
    }
};

/// One keystroke: the search text grows by a character, as typed, and the kept rows are
/// found anew (the names are known from the first pass on, as after the list was shown).
void BM_SearchKeystroke(benchmark::State &state)
{
    Grid grid(static_cast<int>(state.range(0)));
    CallFilterModel &filter = grid.views.controls().filterModel();
    const std::vector<QString> typed = {"0",      "03",       "030",    "030 1",
                                        "030 12", "+49 30 1", "müller", "5551"};
    filter.setFilter(QStringLiteral("x"), false); // asks for the names once
    std::size_t i = 0;
    for (auto _ : state) {
        filter.setFilter(typed[i++ % typed.size()], false);
        benchmark::DoNotOptimize(filter.rowCount());
    }
    state.counters["shown"] = filter.shownCalls();
}

void BM_MissedOnly(benchmark::State &state)
{
    Grid grid(static_cast<int>(state.range(0)));
    CallFilterModel &filter = grid.views.controls().filterModel();
    bool on = false;
    for (auto _ : state) {
        on = !on;
        filter.setFilter({}, on);
        benchmark::DoNotOptimize(filter.rowCount());
    }
}

void BM_Export(benchmark::State &state)
{
    const fs::path dir =
        fs::temp_directory_path() / ("kw-export-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream log(dir / "caller.log", std::ios::binary);
        for (const std::string &row : makeRows(static_cast<int>(state.range(0))))
            log << row << "\r\n";
    }
    for (auto _ : state) {
        if (exportCalls((dir / "caller.log").string(), (dir / "calls.csv").string(), nameOf) != 0)
            state.SkipWithError("export failed");
    }
    state.counters["csv_MiB"] = static_cast<double>(fs::file_size(dir / "calls.csv")) / (1 << 20);
    fs::remove_all(dir);
}

} // namespace

BENCHMARK(BM_SearchKeystroke)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MissedOnly)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Export)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
