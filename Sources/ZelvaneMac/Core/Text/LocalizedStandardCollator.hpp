#pragma once

// The collator lives in the engine, which sorts trees with it; include that header instead.
#include "ScanEngine/Support/LocalizedStandardCollator.hpp"
