#pragma once
// How long a Windows program file must at least be, read from its headers:
// a download cut short without a length to compare with still shows as a
// file that ends inside its own sections or signature. Platform-free.
#include <cstddef>
#include <cstdint>

// The first bytes of the file (the headers are within its first 64 KB) give
// the end of the furthest section and of the signature. 0: not a program
// file, or headers that do not fit in `size`.
uint64_t ProgramImageEnd(const unsigned char* headers, size_t size);
