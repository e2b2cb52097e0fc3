#pragma once

namespace zelvane {

class PortableMode;
class UpdateChecker;

// The application-wide objects every window observes. The program makes one of each and hands
// them to each window it opens; a window made without them (tests) simply has none.
struct AppServices {
    UpdateChecker* updateChecker = nullptr;
    PortableMode* portableMode = nullptr;
};

}  // namespace zelvane
