#pragma once

#include <QObject>
#include <QString>

#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/TreeViewParts.hpp"
#include "ZelvaneMac/Window/TreeViewTabModel.hpp"

namespace zelvane {

class ScanState;

// Which parts of the Tree View tab a change of the window's state makes out of date. It
// subscribes to the parts of the state the tab shows and names the tab's parts each change
// touches (`partsChanged`); it keeps what the tab reads from the preferences, gathers the commands
// for the outline and keeps the live monitor's last batch until the outline and the treemap take
// them. Main thread only.
class TreeViewTabChanges final : public QObject {
    Q_OBJECT
public:
    // The parts of the tab that are brought up to date separately.
    enum Part : unsigned {
        arrangementPart = 1,
        placeholderPart = 2,
        outlinePart = 4,
        typesPart = 8,
        treemapPart = 16,
        stripPart = 32,
        everyPart = 63,
    };

    explicit TreeViewTabChanges(const TreeViewParts& parts, QObject* parent = nullptr);

    // The views whose own selection changes are not handed back to them (compared, never read).
    void setSelectionOrigins(const QObject* outline, const QObject* treemap);
    // The outline commands gathered since the last call, which hands them over.
    OutlineCommands takeOutlineCommands();
    // The live monitor's last batch; the revision tells the views a batch is new.
    int liveRevision() const { return liveRevision_; }
    const NodeList& liveChanged() const { return liveChanged_; }

    // What the tab reads from the preferences, as they are now.
    const TreeViewTabSettings& settings() const { return settings_.current(); }

signals:
    void partsChanged(unsigned parts);

private:
    void subscribe();
    void touch(unsigned parts) { emit partsChanged(parts); }
    void takeScanState(const ScanState& s);
    void dropNodesOutside(const KeptTrees& kept);

    TreeViewParts parts_;
    SettingsWatcher<TreeViewTabSettings> settings_;
    const QObject* outlineOrigin_ = nullptr;
    const QObject* treemapOrigin_ = nullptr;
    bool placeholderShowsScanning_ = false;
    OutlineCommands pendingOutline_;
    int liveRevision_ = 0;
    NodeList liveChanged_;
};

}  // namespace zelvane
