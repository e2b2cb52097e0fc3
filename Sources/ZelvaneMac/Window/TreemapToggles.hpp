#pragma once

#include <QObject>

namespace zelvane {

class Preferences;

// What the treemap draws: allocated rather than logical sizes, file names, the volumes' free
// space. Each window starts from the stored choices; a change is stored for the next window
// while the windows already open keep their own. Main thread only.
class TreemapToggles final : public QObject {
    Q_OBJECT
public:
    TreemapToggles(Preferences& preferences, QObject* parent);

    bool showTreemapAllocatedSize() const { return showTreemapAllocatedSize_; }
    void setShowTreemapAllocatedSize(bool value);
    bool showTreemapFilenames() const { return showTreemapFilenames_; }
    void setShowTreemapFilenames(bool value);
    bool showTreemapFreeSpace() const { return showTreemapFreeSpace_; }
    void setShowTreemapFreeSpace(bool value);

signals:
    void showTreemapAllocatedSizeChanged(bool value);
    void showTreemapFilenamesChanged(bool value);
    void showTreemapFreeSpaceChanged(bool value);

private:
    Preferences& preferences_;
    bool showTreemapAllocatedSize_;
    bool showTreemapFilenames_;
    bool showTreemapFreeSpace_;
};

}  // namespace zelvane
