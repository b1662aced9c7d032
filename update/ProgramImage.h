#pragma once
// What a Windows program's headers tell: how long its file must at least be
// (a download cut short without a length to compare with still shows as a
// file that ends inside its own sections or signature), and whether it
// carries a signature at all. Platform-free.
#include <cstddef>
#include <cstdint>

// The first bytes of the file (the headers are within its first 64 KB) give
// the end of the furthest section and of the signature. 0: not a program
// file, or headers that do not fit in `size`.
uint64_t ProgramImageEnd(const unsigned char* headers, size_t size);

// True only for a program's headers whose certificate table (the place of an
// Authenticode signature) is absent or empty; false for a signed program and
// for bytes that do not read as a program's headers.
bool HasNoCertificateTable(const unsigned char* headers, size_t size);
