#pragma once
// Calls that may hang or eat memory, run where that cannot take the test with them: in a child
// process with a time limit and a memory limit above what it holds when it starts.
#include <cstddef>
#include <functional>

// True when `call` returned within `seconds`, having allocated at most about `extra_bytes`
// (a larger allocation fails in the child), without throwing. Under AddressSanitizer the limit
// leaves room for its quarantine as well: a call that takes gigabytes still fails it.
bool returns_within(const std::function<void()>& call, unsigned seconds, size_t extra_bytes);
