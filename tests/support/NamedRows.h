// Rows of a parameterised table, named: the name is the test's own (RowName)
// and what GoogleTest prints for the row (PrintTo), rather than the row's raw
// bytes, which differ from build to build.
#pragma once

#include <concepts>
#include <ostream>
#include <string>

namespace testrows {

struct Named {
    const char* name;
};

// Found by argument-dependent lookup through the row's base.
template <std::derived_from<Named> Row>
void PrintTo(const Row& row, std::ostream* out) {
    *out << row.name;
}

struct RowName {
    template <class Info>
    std::string operator()(const Info& info) const {
        return info.param.name;
    }
};

}  // namespace testrows
