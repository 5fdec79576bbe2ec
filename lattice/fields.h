// What a model's cell holds, described once for every output that shows cells: the survey, the
// probe's CSV, the cell line, the viewer's cell panel and the .vti arrays. A model gives its list of
// fields and a way to read a cell at a place; the outputs take both and know nothing of its cells.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lattice/world.h"

// One quantity of a cell: a scalar, a vector or a set of values, with the names each output needs.
struct Field {
    std::string name;                     // one word: "smoke", "velocity", "populations"
    std::vector<std::string> columns;     // a name per component as a table's header has it: "f4"
    std::vector<std::string> quantities;  // a name per component as a sentence has it: "population 4"
    std::vector<std::string> vti_components;  // the .vti array's component names; empty: none
    char separator = ' ';                 // between this field's figures in a line of text
    // Shown in text (the probe, the cell line, the panel); otherwise in the .vti alone, as a flag
    // that helps in ParaView and would only clutter a line.
    bool in_text = true;
    int components() const { return int(columns.size()); }
};

Field scalar_field(const std::string& name);
// Components NAME_x, NAME_y, NAME_z (column, row, plane), written "X,Y,Z" in a line.
Field vector_field(const std::string& name);

// The fields of a model's cell, in order. A cell's values are their components one after another:
// value v is component v - first_value(f) of field f.
class Fields {
public:
    explicit Fields(std::vector<Field> fields);

    const std::vector<Field>& list() const { return fields; }
    int value_count() const { return int(columns.size()); }
    int first_value(std::size_t field) const { return firsts[field]; }
    // Names of value v; v must be below value_count().
    const std::string& column_name(int v) const { return columns[std::size_t(v)]; }
    const std::string& quantity_name(int v) const { return quantities[std::size_t(v)]; }
    bool in_text(int v) const { return shown[std::size_t(v)]; }
    // The value whose column is named so, if any.
    std::optional<int> value_named(std::string_view column) const;

private:
    std::vector<Field> fields;
    std::vector<int> firsts;
    std::vector<std::string> columns, quantities;
    std::vector<bool> shown;
};

// The cells of a world: columns x rows x planes.
struct Extent {
    int columns, rows, planes;
    std::size_t cells() const { return std::size_t(columns) * std::size_t(rows) * std::size_t(planes); }
};

// Writes the values of count cells of a row, from the cell at first on along the row (column
// first.column + count - 1 at most the last): value_count() of them for each cell in the fields'
// order, cell after cell. A row at a time, so that a whole lattice costs few calls.
using CellValues = std::function<void(const Place& first, int count, float* values)>;
