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

// Calls make(item, slot) for every item below count on a thread per core, and use(item,
// slot) on the calling thread for each item in order as soon as it is made. Each item's
// results are kept in its slot (item % window) from its make to its use: at most window
// items are made ahead of the one in use, so memory stays bounded whatever count is. An
// exception of either stops the work; once the makes under way are done, it is thrown
// again.
using InOrderStep = std::function<void(std::size_t item, std::size_t slot)>;
void ForEachInOrder(std::size_t count, std::size_t window, const InOrderStep& make,
                    const InOrderStep& use);

} // namespace organize
