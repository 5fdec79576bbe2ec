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
    EXPECT_EQ(r.out.rfind("usage: smoke-steps [STEPS]\n", 0), 0u);
}

TEST(SmokeSteps, RefusesBadArgumentsWithStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"abc"}, "whole number"},
        {{"1.5"}, "whole number"},
        {{""}, "whole number"},
        {{"12x"}, "whole number"},
        {{"+3"}, "whole number"},
        {{"-1"}, "negative"},
        {{"1000000001"}, "at most 1000000000"},
        {{"99999999999999999999999"}, "at most 1000000000"},
        {{"--steps"}, "unknown option '--steps'"},
        {{"-x"}, "unknown option '-x'"},
        {{"1", "2"}, "at most one argument"},
    };
    for (const auto& [args, problem] : cases) {
        const ProcessResult r = smoke_steps(args);
        const std::string what = args.empty() ? "" : args[0];
        EXPECT_EQ(r.status, 2) << what;
        EXPECT_EQ(r.out, "") << what;
        EXPECT_EQ(r.err.rfind("smoke-steps: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage: smoke-steps [STEPS]"), std::string::npos) << r.err;
    }
}

}  // namespace
