#pragma once

// The fixture lives in Tests/Support with the other shared test helpers.
#include "Support/QtTestApp.hpp"
