#include <gtest/gtest.h>

#include <string>

#include "process.h"

namespace {

ProcessResult smoke_steps(std::vector<std::string> args) {
    args.insert(args.begin(), SMOKE_STEPS);
    return run_process(args);
}

TEST(SmokeSteps, RunsOneStepByDefault) {
    const ProcessResult r = smoke_steps({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expected;
    for (int i = 0; i < 10; ++i) expected += "Lattice " + std::to_string(i) + ": 0.000000 / 0.000000\n";
    EXPECT_EQ(r.out, expected + "\n");
}

TEST(SmokeSteps, PrintsOneReportPerStep) {
    const ProcessResult none = smoke_steps({"0"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");

    const ProcessResult r = smoke_steps({"40"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "Lattice 0: "), 40u);
    EXPECT_EQ(count_reports(r.out), 40u);
    // The last report is step 40: populations toward the next column have just arrived.
    EXPECT_NE(r.out.find("Lattice 9: 0.037941 / 0.000546\n\n"), std::string::npos);
    EXPECT_EQ(smoke_steps({"0040"}).out, r.out);
    EXPECT_EQ(smoke_steps({"-0"}).status, 0);
}

TEST(SmokeSteps, RunsIntoInfinityAndNanWithoutCrashing) {
    const ProcessResult r = smoke_steps({"1000"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count_of(r.out, "Lattice 9: "), 1000u);
    EXPECT_NE(r.out.find("inf"), std::string::npos);
    EXPECT_NE(r.out.find("nan"), std::string::npos);
}

TEST(SmokeSteps, HelpGoesToStandardOutput) {
    const ProcessResult r = smoke_steps({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv]\n", 0), 0u);
}

TEST(SmokeSteps, RefusesBadArgumentsWithStatusTwo) {
    const std::string range = "whole number from 0 to 1000000000, not ";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"abc"}, range + "'abc'"},
        {{"1.5"}, range},
        {{""}, range},
        {{"12x"}, range},
        {{"+3"}, range},
        {{"-1"}, range},
        {{"1000000001"}, range},
        {{"99999999999999999999999"}, range},
        {{std::string(100000, '9')}, range + "'" + std::string(60, '9') + "...'\n"},
        {{"--steps"}, "unknown option '--steps'"},
        {{"-x"}, "unknown option '-x'"},
        {{"1", "2"}, "STEPS given twice: '2'"},
        {{"--vtk"}, "--vtk needs a value"},
        {{"--every", "0", "--vtk", "d"}, "K must be a whole number from 1"},
        {{"--every", "2"}, "--every applies to --vtk"},
    };
    for (const auto& [args, problem] : cases) {
        const ProcessResult r = smoke_steps(args);
        const std::string what = args.empty() ? "" : args[0].substr(0, 20);
        EXPECT_EQ(r.status, 2) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err.rfind("smoke-steps: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage: smoke-steps [STEPS] [--vtk DIR] [--every K] [--csv]"), std::string::npos) << r.err;
    }
}

}  // namespace

// Through a shell, so that the program's standard output can be what a test cannot easily give it.
ProcessResult smoke_steps_with_output(const std::string& redirect, const std::string& args) {
    return run_process({"/bin/sh", "-c", "exec \"$0\" " + args + " " + redirect, SMOKE_STEPS});
}

TEST(SmokeSteps, AFailedWriteIsAFailure) {
    for (const std::string args : {"1000", "--help"}) {
        const ProcessResult r = smoke_steps_with_output(">/dev/full", args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.err, "smoke-steps: cannot write to standard output: No space left on device\n") << args;
    }
    // Closed: reports must not land in whatever the program opens next.
    const ProcessResult closed = smoke_steps_with_output(">&-", "2");
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err, "smoke-steps: cannot write to standard output: Bad file descriptor\n");
}
