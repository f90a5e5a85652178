#pragma once

// A large result is held in memory first touched row by row, and each page
// touched costs a fault; with transparent huge pages there are 512 times fewer,
// and with the heap grown 64 MiB at a time far fewer calls to the system for
// more (address space only: untouched pages take no memory).
// The C library's allocator takes that setting only when a program starts, so
// this starts the program again, once, with it, unless the environment already
// sets the allocator's tunables or REC_SMALL_PAGES is set. Call it first in
// main(); it returns when no restart took place.
void RestartWithHugePages(char **argv);
