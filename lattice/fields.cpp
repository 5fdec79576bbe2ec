#include "lattice/fields.h"

#include <cassert>

Field scalar_field(const std::string& name) { return {name, {name}, {name}, {}, ' '}; }

Field vector_field(const std::string& name) {
    Field f{name, {}, {}, {}, ','};
    for (const char axis : {'x', 'y', 'z'}) {
        f.columns.push_back(name + "_" + axis);
        f.quantities.push_back(name + " " + axis);
    }
    return f;
}

Fields::Fields(std::vector<Field> list) : fields(std::move(list)) {
    for (const Field& f : fields) {
        assert(f.quantities.size() == f.columns.size());
        assert(f.vti_components.empty() || f.vti_components.size() == f.columns.size());
        firsts.push_back(value_count());
        columns.insert(columns.end(), f.columns.begin(), f.columns.end());
        quantities.insert(quantities.end(), f.quantities.begin(), f.quantities.end());
        shown.insert(shown.end(), f.columns.size(), f.in_text);
    }
}

std::optional<int> Fields::value_named(std::string_view column) const {
    for (std::size_t v = 0; v < columns.size(); ++v) {
        if (columns[v] == column) return int(v);
    }
    return std::nullopt;
}
