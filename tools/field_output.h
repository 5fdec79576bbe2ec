// The whole lattice in the field's own formats: VTK XML ImageData files and their ParaView
// collection, and the report as CSV. Standard library only.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "lattice/lattice.h"

// One .vti file: every lattice cell is one VTK cell, x the column, y the row, z the plane, so VTK's
// cell order (x fastest) is the lattice's row-by-row order. Cell arrays smoke, density, velocity and
// populations (component i is direction i), raw appended Float32 with UInt64 headers in the
// machine's byte order: binary brings inf and NaN back exactly, as text would not.
std::string vti_image(const Lattice& lattice);

struct SeriesFile {
    long step;
    std::string name;  // relative to the collection's folder
};

// The .pvd collection that lets ParaView open the files as one time series, step as time.
std::string pvd_collection(const std::vector<SeriesFile>& files);

// The report as CSV rows "step,column,row,smoke,population_4", after CSV_HEADER.
constexpr const char* CSV_HEADER = "step,column,row,smoke,population_4\n";
void write_csv_report(std::FILE* out, const Lattice& lattice, long step);

// A time series in one folder: FOLDER/smoke_STEP.vti files and FOLDER/smoke.pvd listing them,
// rewritten after each file so that a run stopped at any point still opens, with what it wrote.
class VtkSeries {
public:
    explicit VtkSeries(std::string folder) : folder(std::move(folder)) {}

    // Creates the folder if missing and removes a collection left there by an earlier run, so that
    // a run that fails before its first file leaves none behind. On failure, error says why.
    bool start(std::string& error);
    // Writes the lattice's file for this step, then the collection.
    bool write(const Lattice& lattice, long step, std::string& error);

    std::string folder;
    std::vector<SeriesFile> files;  // written so far
};

// Writes content to path through path + ".part", renamed over path once whole, so that path is
// either its old self or complete. On failure: false, the part removed, and error names the path.
bool write_file_atomically(const std::string& path, const std::string& content, std::string& error);
