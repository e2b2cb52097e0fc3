#pragma once

// The capacity type and its query live in the platform layer; include that header instead.
#include "Platform/VolumeCapacity.hpp"
