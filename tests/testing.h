// Helpers shared by the tests: a temporary folder, a float's bits, a file's contents, a count of
// occurrences, and a world of a given shape.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "lattice/lattice.h"
#include "lattice/world.h"

inline std::uint32_t bits(float f) {
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

// A fresh folder for one test's files, removed with it.
struct TemporaryFolder {
    std::filesystem::path path;
    TemporaryFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "smoke-test.XXXXXX").string();
        if (!mkdtemp(name.data())) throw std::runtime_error("cannot make a folder " + name + ": " + std::strerror(errno));
        path = name;
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    // Writes a file in the folder and gives its path.
    std::string file(const std::string& name, const std::string& text) const {
        std::filesystem::create_directories((path / name).parent_path());
        std::ofstream(path / name) << text;
        return *this / name;
    }
};

inline std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names in a folder, sorted.
inline std::vector<std::string> names_in(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// How many times what occurs in text, without overlaps; reports end with an empty line.
inline std::size_t occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}
inline std::size_t reports_in(const std::string& out) { return occurrences(out, "\n\n"); }

// What lattice.report() prints.
inline std::string report_text(const Lattice& lattice) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    lattice.report(out);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

// A world of a given shape and sources, its other settings the defaults'.
inline World world_of(int columns, int rows, int planes, std::vector<Source> sources, int report_row = 0) {
    World world;
    world.columns = columns;
    world.rows = rows;
    world.planes = planes;
    world.sources = std::move(sources);
    world.report_row = report_row;
    return world;
}

// The steps a .pvd collection lists, failing the test unless it is whole: its head, entries with
// only white space between them, and its tail.
inline std::vector<long> listed_steps(const std::string& text) {
    const std::string head = "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"1.0\">\n  <Collection>\n";
    const std::string tail = "  </Collection>\n</VTKFile>\n";
    std::vector<long> steps;
    EXPECT_EQ(text.rfind(head, 0), 0u);
    EXPECT_GE(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail);
    std::size_t at = head.size();
    for (std::size_t start; (start = text.find("<DataSet", at)) != std::string::npos;) {
        EXPECT_EQ(text.find_first_not_of(" \n", at), start) << "at " << at;
        steps.push_back(std::stol(text.substr(text.find("timestep=\"", start) + 10)));
        at = text.find("/>\n", start) + 3;
    }
    EXPECT_EQ(text.find_first_not_of(" \n", at), text.size() - tail.size() + 2);
    return steps;
}

#ifdef SMOKE_STEPS
#include "harness/process.h"

inline ProcessResult smoke_steps(std::vector<std::string> args) {
    args.insert(args.begin(), SMOKE_STEPS);
    return run_process(args);
}
#endif
