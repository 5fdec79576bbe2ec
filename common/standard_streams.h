// What the programs share about their standard streams: descriptors that must not be taken by
// anything else, and output failures said as failures.
#pragma once

#include <cstdio>
#include <string>

// Opens /dev/null, read-only, on each of descriptors 0, 1 and 2 that is closed, before anything
// opens a file or a connection that could take its number: otherwise a report would be written
// into, say, the X connection. Writes to such a descriptor fail with EBADF, as they would have.
void reserve_standard_descriptors();

// True when a write or flush on out has failed; then it has said "PROGRAM: cannot write WHAT: REASON"
// on standard error, with the reason taken from errno, which the failed flush set.
bool output_failed(std::FILE* out, const char* program, const char* what);

// An argument as an error message echoes it: quoted, and cut short past 60 characters.
std::string quoted_argument(const char* argument);
