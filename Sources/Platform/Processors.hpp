#pragma once

namespace zelvane {

// Processors this process may run on (respects CPU affinity and container limits); at least 1.
int activeProcessorCount();

}  // namespace zelvane
