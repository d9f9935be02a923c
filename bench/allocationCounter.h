// Counting the heap allocations this process makes, so that a benchmark can show that a
// decoder or the record builder makes none.
#pragma once

#include <cstdint>

// Allocations since the process started: every operator new and every malloc, calloc and
// realloc, including those the C library makes for itself (stdio buffers, time zone data).
std::uint64_t heapAllocations();

// Whether the count really moves: false in a sanitizer build, whose allocator cannot be
// stood in front of, and wherever the interposition did not take.
bool heapCountingWorks();
