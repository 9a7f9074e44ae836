// The memory behind an apply's five arrays (frequencies, S11, S21, S12,
// S22), kept in the thread's SessionState from one apply to the next so
// that a repeated apply neither allocates nor faults in fresh pages. It is
// plain data, like the state around it: one block from malloc and its size
// in points, released with the state (QVZ_close, thread end, unload).
#ifndef QVZ_SWEEP_STORAGE_H
#define QVZ_SWEEP_STORAGE_H

#include <cstddef>
#include <cstdint>

#include "complex_value.h"

namespace qvz {

struct SweepStorage {
    void* block;
    std::size_t capacity;  // points the block holds
};

// Above this many points the block is given back after the apply rather
// than kept: a rare huge sweep should not pin tens of megabytes.
constexpr std::int32_t kKeptSweepMaxPoints = 200001;

struct SweepArrays {
    double* frequencies;
    ComplexValue* s11;
    ComplexValue* s21;
    ComplexValue* s12;
    ComplexValue* s22;
};

// Arrays of n points (n >= 0), every element zero, growing the block when it
// is too small. False when memory is exhausted (the storage is then empty).
bool PrepareSweepArrays(SweepStorage& storage, std::int32_t n, SweepArrays& arrays);

// After an apply of n points: gives the block back when n is above
// kKeptSweepMaxPoints.
void TrimSweepStorage(SweepStorage& storage, std::int32_t n);

// Gives the block back; the storage is empty afterwards.
void ReleaseSweepStorage(SweepStorage& storage);

}  // namespace qvz

#endif
