// The field's VTK XML formats as text: ImageData files of a model's cells and the ParaView
// collection that lists them. Encoding only: files and folders are vtk_series.h's.
#pragma once

#include <string>

#include "lattice/fields.h"
#include "lattice/lattice.h"

// One .vti file: every cell is one VTK cell, x the column, y the row, z the plane, so VTK's cell
// order (x fastest) is the cells' row-by-row order. A world of one plane is a flat image (z extent
// 0 0), which ParaView opens as a coloured slice; a one-cell-thick volume would open as an empty
// outline. A cell array per field, named as the field, with its components (and their names where
// the field has them); the first field is the image's scalars. Raw appended Float32 with UInt64
// headers in the machine's byte order: binary brings inf and NaN back exactly, as text would not.
// The step is the file's TimeValue, so that files opened without their collection keep their times.
std::string vti_image(const Fields& fields, const Extent& extent, const CellValues& values, long step);
// The smoke lattice's: arrays smoke, density, velocity and populations (component i is direction i).
std::string vti_image(const Lattice& lattice, long step);

// A collection is COLLECTION_HEAD, an entry per file, COLLECTION_TAIL. It carries no binary data,
// so it has no byte order: the same text on every machine.
constexpr const char* COLLECTION_HEAD =
    "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"1.0\">\n  <Collection>\n";
constexpr const char* COLLECTION_TAIL = "  </Collection>\n</VTKFile>\n";
// The line that lists file at time step.
std::string collection_entry(long step, const std::string& file);
