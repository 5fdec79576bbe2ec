// What the programs share about their standard streams: descriptors that must not be taken by
// anything else, and output failures said as failures.
#pragma once

#include <cstdio>
#include <string>

// Opens /dev/null, read-only, on each of descriptors 0, 1 and 2 that is closed, before anything
// opens a file or a connection that could take its number: otherwise a report would be written
// into, say, the X connection. Where /dev/null cannot be opened, the read end of a pipe whose write
// end is closed stands in. Reads from such a descriptor see the end of input and writes fail with
// EBADF, as they would have. False when one of them is still closed (errno says why): then the
// program must not start.
[[nodiscard]] bool reserve_standard_descriptors();

// True when a write or flush on out has failed; then it has said "PROGRAM: cannot write WHAT: REASON"
// on standard error, with the reason taken from errno, which the failed flush set.
bool output_failed(std::FILE* out, const char* program, const char* what);

// Text (an argument, a path) as an error message echoes it, on one line: quoted, control characters
// and backslashes escaped as in C (\n, \\, \x1b), and cut short past longest bytes, never inside a
// UTF-8 character.
std::string quoted_argument(const char* argument, std::size_t longest = 60);
