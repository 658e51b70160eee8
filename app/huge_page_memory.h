#pragma once
// Start-up touches about a gigabyte of fresh memory: the decoded photos and, inside the GL driver,
// the textures they are copied into (64 MiB for each picture-path square). Taken 4 KiB at a time,
// every page costs the kernel a fault and most of start-up goes there; in 2 MiB pages it costs a
// five-hundredth as many, and start-up takes half as long (bench/photos/load_sequence_bench).
//
// Linux hands out such pages to memory marked for them (transparent huge pages in "madvise" mode,
// the usual setting) and glibc's allocator marks all its large blocks, the GL driver's included,
// when its glibc.malloc.hugetlb tunable is 1. Tunables are read only as a process starts, so the
// program starts itself over once with the tunable set. Nothing else changes: the same arguments,
// the same environment besides GLIBC_TUNABLES, the same picture.

// First thing in main. Returns (having done nothing) where there is nothing to gain: not Linux with
// glibc, huge pages switched off or always on anyway, the tunable already set (by the user, or by
// this very call before the restart), or the restart itself failing.
void restart_with_huge_page_memory(char** argv);
