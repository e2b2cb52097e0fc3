#pragma once

#include <QObject>
#include <QString>

#include <unordered_set>

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
// for the outline and gathers the nodes the live monitor changed until the outline takes them (two
// batches in one turn of the event loop both reach it). Main thread only.
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
    // The nodes the live monitor changed since the outline last took them, each once; the
    // revision tells the views a change is new. Past `kLiveChangedListed` nodes the list is let go
    // and `liveChangedMany` says so: the outline then redraws every row it shows.
    static constexpr size_t kLiveChangedListed = 20'000;
    int liveRevision() const { return liveRevision_; }
    const NodeList& liveChanged() const { return liveChanged_; }
    bool liveChangedMany() const { return liveChangedMany_; }
    // The outline took the changes gathered so far: later ones start a new list.
    void liveChangesTaken();

    // What the tab reads from the preferences, as they are now.
    const TreeViewTabSettings& settings() const { return settings_.current(); }

signals:
    void partsChanged(unsigned parts);

private:
    void subscribe();
    void touch(unsigned parts) { emit partsChanged(parts); }
    void takeScanState(const ScanState& s);
    void dropNodesOutside(const KeptTrees& kept);
    void addLiveChanges(const NodeList& changed);

    TreeViewParts parts_;
    SettingsWatcher<TreeViewTabSettings> settings_;
    const QObject* outlineOrigin_ = nullptr;
    const QObject* treemapOrigin_ = nullptr;
    bool placeholderShowsScanning_ = false;
    OutlineCommands pendingOutline_;
    int liveRevision_ = 0;
    NodeList liveChanged_;
    std::unordered_set<const FileNode*> liveChangedSeen_;  // the nodes of `liveChanged_`
    bool liveChangedMany_ = false;
};

}  // namespace zelvane
