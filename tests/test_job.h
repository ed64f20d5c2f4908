#pragma once
// A run's job for tests: messages to the services in force (a test's recording ones), reports
// to nowhere unless the steps print them.
#include <optional>
#include <string>

#include "batch/runs.h"
#include "herd/services.h"

namespace ovista::testing {

class NoReports : public ReportSink {
public:
    void Put(const HerdReport&, const ReportOutput&) override {}
    bool PrinterInstalled() override { return true; }
    void WriteBenchmarkPdf(const Benchmark&, const std::string&) override {}
};

inline NoReports& NoReportSink() {
    static NoReports reports;
    return reports;
}

// folder: the working folder (a batch's transfer folder); nullopt: the default.
inline BatchJob Job(const RunSteps& steps, std::optional<std::string> folder = std::nullopt,
                    const ReportOutput& output = {}, int jobs = 1, bool traces = true,
                    bool trends = false) {
    BatchJob job(Services(), NoReportSink());
    job.steps = steps;
    job.workingFolder = std::move(folder);
    job.output = output;
    job.jobs = jobs;
    job.traces = traces;
    job.trends = trends;
    return job;
}

}  // namespace ovista::testing
