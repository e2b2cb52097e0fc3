#pragma once

#include <QObject>
#include <QString>

#include "ZelvaneMac/Window/ContentTab.hpp"

namespace zelvane {

class FileTypeStatistics;
class Preferences;
class ScanViewModel;
class ViewCommands;
class VolumeChoice;

// The window's own reactions, without widgets: the tab shown (stored for the next window), the
// title with the marker of what kind of roots were chosen, and the colour ranks of the file
// types. Handlers are attached in the constructor in the order the window runs them; later
// handlers of the same signal run after earlier ones.
class MainWindowController final : public QObject {
    Q_OBJECT
public:
    MainWindowController(Preferences& preferences, ScanViewModel& viewModel, const VolumeChoice& volumeChoice,
                         FileTypeStatistics& fileTypes, ViewCommands& commands, QObject* parent = nullptr);

    ContentTab selectedTab() const { return selectedTab_; }
    void setSelectedTab(ContentTab value);

    QString windowTitle() const;

    // Shows the stored tab without taking the File View's search focus: the flag is set, the tab
    // restored, and the flag cleared on the next turn of the event loop.
    void restoreStoredTab();
    bool isRestoringSelectedTab() const { return isRestoringSelectedTab_; }

    // The palette slot of each extension: the twelve largest by allocated size when colouring by
    // size, else the slots the extension lists give.
    void recomputeColorRank();

signals:
    void selectedTabChanged(zelvane::ContentTab value);
    void windowTitleChanged(const QString& title);

private:
    void handleSelectedTabChange(ContentTab tab);
    void refreshTitle();

    Preferences& preferences_;
    ScanViewModel& viewModel_;
    const VolumeChoice& volumeChoice_;
    FileTypeStatistics& fileTypes_;
    ViewCommands& commands_;
    ContentTab selectedTab_ = ContentTab::treeView;
    bool isRestoringSelectedTab_ = false;
    QString title_;
};

}  // namespace zelvane
