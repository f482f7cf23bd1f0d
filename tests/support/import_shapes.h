// PE files with import directories of hostile size, for the tests and the
// benchmarks (both must see the same shapes).
#pragma once
#include <cstdint>
#include <vector>

// Where the import section of these files starts (RVA); image base 0x400000.
inline constexpr uint32_t kShapeIdataRva = 0x10000;

// `count` descriptors, each naming a module of its own, whose thunk lists
// start at the descriptor itself and run on through the rest of the table:
// no dword of the table is zero before the terminating descriptor's name.
std::vector<uint8_t> buildOverlappingDescriptors(uint32_t count);

// `modules` descriptors with `perModule` functions each, every function
// imported by a name of its own ("F" and a running number).
std::vector<uint8_t> buildManyImports(uint32_t modules, uint32_t perModule);
