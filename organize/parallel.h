#pragma once

#include <cstddef>
#include <functional>

// Work on the folders of a tree shared out among a thread per core: the kernel locks each
// folder on its own, so files deleted in different folders do not wait for each other.
namespace organize {

// Calls work(item) for every item below count, each once, on at most one thread per core.
// An exception stops the handing out of items; once those under way are done, it is
// thrown again.
void ForEachInParallel(std::size_t count, const std::function<void(std::size_t item)>& work);

} // namespace organize
