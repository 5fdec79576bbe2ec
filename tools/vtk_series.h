// The whole lattice in the field's own formats: VTK XML ImageData files and their ParaView
// collection, and the report as CSV. Standard library and POSIX only.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstdio>
#include <string>

#include "lattice/lattice.h"

// One .vti file: every lattice cell is one VTK cell, x the column, y the row, z the plane, so VTK's
// cell order (x fastest) is the lattice's row-by-row order. A world of one plane is a flat image
// (z extent 0 0), which ParaView opens as a coloured slice; a one-cell-thick volume would open as an
// empty outline. Cell arrays smoke, density, velocity and populations (component i is direction i),
// raw appended Float32 with UInt64 headers in the machine's byte order: binary brings inf and NaN
// back exactly, as text would not. The step is the file's TimeValue, so that files opened without
// their collection keep their times.
std::string vti_image(const Lattice& lattice, long step);

// The report as CSV rows "step,column,row,smoke,population_4", after CSV_HEADER.
constexpr const char* CSV_HEADER = "step,column,row,smoke,population_4\n";
void write_csv_report(std::FILE* out, const Lattice& lattice, long step);

// A time series in a folder that belongs to one run at a time: FOLDER/smoke_STEP.vti files,
// FOLDER/smoke.pvd listing them for ParaView with the step as time, and FOLDER/scenario.toml, the
// world that made them. A run stopped at any point, even by SIGKILL, leaves a collection that opens
// with the steps it finished.
class VtkSeries {
public:
    // last_step sizes the step in the file names: 6 digits, more if it needs them, so that the
    // names sort by step.
    VtkSeries(std::string folder, long last_step);
    ~VtkSeries();
    VtkSeries(const VtkSeries&) = delete;
    VtkSeries& operator=(const VtkSeries&) = delete;

    // Creates the folder if missing and locks it for this run: another run is refused while this one
    // lasts. On failure, error says why in one line.
    bool lock(std::string& error);
    // Locks the folder if that is not done, then clears what an earlier run left, its collection
    // first so that nothing looks finished, then its step files and any unfinished temporary files
    // (counted in leftovers_removed), and writes the scenario.
    bool start(const std::string& scenario, std::string& error);
    // Writes the lattice's file for this step, then lists it in the collection.
    bool write(const Lattice& lattice, long step, std::string& error);
    // Once the run is over: the collection rewritten without its spare room.
    bool finish(std::string& error);
    // Writes content as FOLDER/name through a new file of a unique temporary name, renamed over name
    // once whole, so that name holds either its old self or all of content. It never opens an
    // existing file for writing, so a link planted in the folder cannot redirect it.
    bool write_file(const std::string& name, const std::string& content, std::string& error);

    std::string folder;
    int digits;                 // of the step in file names
    int leftovers_removed = 0;  // unfinished files of an interrupted run, removed by start

private:
    bool put_file(const std::string& name, const std::string& content, std::string& error, int* keep_open);
    bool rewrite_collection(std::size_t room, std::string& error);
    std::string shown(const std::string& name) const;  // FOLDER/name as a message shows it

    DIR* directory = nullptr;  // open, and locked, from start on
    // The collection stays open while entries go into the room of spaces before its closing tags.
    int collection = -1;
    std::string entries;  // its DataSet lines so far
    off_t entries_end = 0, room_end = 0;
};
