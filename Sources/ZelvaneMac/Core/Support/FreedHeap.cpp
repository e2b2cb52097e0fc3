#include "ZelvaneMac/Core/Support/FreedHeap.hpp"

#include <QThreadPool>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zelvane {

void trimFreedHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void trimFreedHeapInBackground() { QThreadPool::globalInstance()->start([] { trimFreedHeap(); }); }

}  // namespace zelvane
