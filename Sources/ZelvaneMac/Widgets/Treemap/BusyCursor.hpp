#pragma once

#include <QCursor>

namespace zelvane {

// The one cursor shown over views whose content is being recomputed in the background: a white
// disc of 20 x 20 points with a faint rim and an hourglass, its hot spot in the centre. Made on
// first use (GUI thread) at the screens' highest pixel ratio and kept for the life of the process.
namespace BusyCursor {
const QCursor& shared();
}

// Shows the busy cursor over the whole application for as long as the object lives: one push
// on the application's cursor stack in the constructor, one pop in the destructor, so pushes and
// pops stay balanced whatever path ends the work. GUI thread only.
class ScopedBusyCursor final {
public:
    ScopedBusyCursor();
    ~ScopedBusyCursor();
    ScopedBusyCursor(const ScopedBusyCursor&) = delete;
    ScopedBusyCursor& operator=(const ScopedBusyCursor&) = delete;
};

}  // namespace zelvane
