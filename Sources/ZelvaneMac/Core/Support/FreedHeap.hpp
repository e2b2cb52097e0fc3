#pragma once

namespace zelvane {

// Gives the allocator's free pages back to the system, so that what a duplicate search, a freed
// group set or a large copy leaves behind does not stay resident under the peaks that follow. It
// walks the whole heap: background threads only.
void trimFreedHeap();

// The same on the shared thread pool, for the GUI thread once it let go of something large (the
// clipboard's earlier content) or took what a background job made (whose buffers it freed in that
// thread's arena, which the allocator keeps).
void trimFreedHeapInBackground();

}  // namespace zelvane
