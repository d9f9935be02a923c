// Global operator new is replaced and malloc, calloc and realloc are interposed: this
// executable defines them, so the dynamic linker binds every call to them, the C library's own
// calls included, and each one counts and hands on to the C library's allocator under its
// internal name. operator new goes to that allocator directly, so nothing is counted twice.
#include "allocationCounter.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

#include <benchmark/benchmark.h>

#ifndef TAVRIN_COUNT_ALLOCATIONS
#define TAVRIN_COUNT_ALLOCATIONS 1
#endif

#if TAVRIN_COUNT_ALLOCATIONS

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *ptr, std::size_t size);
void __libc_free(void *ptr);
}

namespace {

std::atomic<std::uint64_t> allocations{0};

void noteAllocation() {
    allocations.fetch_add(1, std::memory_order_relaxed);
}

void *allocateOrThrow(std::size_t size) {
    noteAllocation();
    void *p = __libc_malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void *allocateAligned(std::size_t size, std::align_val_t align) {
    noteAllocation();
    auto a = static_cast<std::size_t>(align);
    std::size_t rounded = (size + a - 1) / a * a;
    return std::aligned_alloc(a, rounded == 0 ? a : rounded);
}

}  // namespace

extern "C" void *malloc(std::size_t size) noexcept {
    noteAllocation();
    return __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size) noexcept {
    noteAllocation();
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *ptr, std::size_t size) noexcept {
    noteAllocation();
    return __libc_realloc(ptr, size);
}

extern "C" void free(void *ptr) noexcept {
    __libc_free(ptr);
}

void *operator new(std::size_t size) {
    return allocateOrThrow(size);
}
void *operator new[](std::size_t size) {
    return allocateOrThrow(size);
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    noteAllocation();
    return __libc_malloc(size == 0 ? 1 : size);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept {
    noteAllocation();
    return __libc_malloc(size == 0 ? 1 : size);
}
void *operator new(std::size_t size, std::align_val_t align) {
    void *p = allocateAligned(size, align);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void *operator new[](std::size_t size, std::align_val_t align) {
    void *p = allocateAligned(size, align);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void operator delete(void *p) noexcept {
    __libc_free(p);
}
void operator delete[](void *p) noexcept {
    __libc_free(p);
}
void operator delete(void *p, std::size_t) noexcept {
    __libc_free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
    __libc_free(p);
}
void operator delete(void *p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void *p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}

std::uint64_t heapAllocations() {
    return allocations.load(std::memory_order_relaxed);
}

bool heapCountingWorks() {
    std::uint64_t start = heapAllocations();
    int *fromNew = new int(7);
    benchmark::DoNotOptimize(fromNew);
    delete fromNew;
    bool newCounted = heapAllocations() > start;
    // strdup allocates inside the C library, so this also shows its calls come here.
    start = heapAllocations();
    char *fromLibc = strdup("counted");
    benchmark::DoNotOptimize(fromLibc);
    std::free(fromLibc);
    return newCounted && heapAllocations() > start;
}

#else

std::uint64_t heapAllocations() {
    return 0;
}
bool heapCountingWorks() {
    return false;
}

#endif
