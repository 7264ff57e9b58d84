// What the fuzz targets share: a check that stays on in every build type (a
// target has to abort on a broken invariant so libFuzzer keeps the input as a
// crash), the input as text and the five fields compared. A fresh launcher
// process on the simulated Windows is a sim::SimScope, whose contract at its
// end (every handle closed, none wrongly, every allocation freed) is a crash
// here too.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "setuplist/setup_list.h"
#include "sim/sim_windows.h"

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)

inline const bool kContractIsChecked = [] {
    sim::contractBroken = [](const std::string& what) {
        std::fprintf(stderr, "simulated Windows: %s\n", what.c_str());
        std::abort();
    };
    return true;
}();

inline std::string_view InputText(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// The five fields of a and b are the same.
inline bool SameFields(const zw::SetupItem& a, const zw::SetupItem& b)
{
    return std::all_of(std::begin(zw::kSetupFields), std::end(zw::kSetupFields), [&](auto f) { return a.*f == b.*f; });
}
