#pragma once
// Prints the runs as the console reporter does and keeps, for every
// benchmark, its mean real time per iteration and its counters, so that a
// benchmark's main can print ratios against a baseline measured in the same
// run.

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <string_view>

namespace showsaver::bench {

class TimingReporter : public benchmark::ConsoleReporter {
public:
    struct Result {
        double seconds = 0;      // mean real (or manual) time of one iteration
        double iterations = 0;
        std::map<std::string, double> counters;   // as reported: sums unless the counter says otherwise
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0 || run.error_occurred) continue;
            Result& result = m_results[run.benchmark_name()];
            result.iterations = static_cast<double>(run.iterations);
            result.seconds = run.real_accumulated_time / result.iterations;
            for (const auto& [name, counter] : run.counters) result.counters[name] = counter.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The first benchmark whose full name (with its arguments and options
    // after '/') starts with `prefix`; null when none ran.
    const Result* Find(std::string_view prefix) const {
        auto it = m_results.lower_bound(std::string(prefix));
        return it != m_results.end() && it->first.starts_with(prefix) ? &it->second : nullptr;
    }
    // Its mean seconds per iteration, 0 when it did not run.
    double Seconds(std::string_view prefix) const {
        const Result* result = Find(prefix);
        return result ? result->seconds : 0;
    }

private:
    std::map<std::string, Result> m_results;
};

} // namespace showsaver::bench
