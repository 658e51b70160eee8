#pragma once
// Every operator new of the test program counted, for tests that check that something allocates
// nothing. Linking this in replaces the program's operator new and delete.
//
// AddressSanitizer owns operator new itself (and the GL driver's LLVM pairs its own new with the
// program's delete), so the count is taken in the build without it only.
namespace alloctest {

bool counting();               // false under AddressSanitizer: skip the test then
long allocations_so_far();     // operator new calls since the program started, on any thread

}  // namespace alloctest
