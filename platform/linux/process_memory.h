#pragma once

// How this process's heap is kept, set once at start-up.
namespace platform::linux_edition {

// Keeps memory the program frees for its next allocations instead of handing it back to
// the system after each one. A walk over boxes frees a folder's working memory before the
// next folder takes as much again: handed back, every page of it is made anew, one fault
// each, which under a hypervisor costs more than the work done in it.
void KeepFreedMemory();

} // namespace platform::linux_edition
