#pragma once

#include <cstdint>
#include <cstdio>

// Opens a file for reading only when it is a regular file. The open itself
// never blocks: a FIFO without a writer would otherwise hold the program in
// open() forever, and a device or a directory has no contents to read. Null
// (errno set) for anything else; `size`, when given, receives the file's size.
FILE* openRegularFile(const char* path, uint64_t* size = nullptr);
