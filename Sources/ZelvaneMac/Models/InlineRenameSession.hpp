#pragma once

#include <QString>

#include <functional>

namespace zelvane {

// The in-place rename of one row, without the widgets: idle, or editing with the starting text and
// the two functions of the edit. An edit ends exactly once, whichever way it ends (Return, Escape,
// the field losing focus); an end that finds the session idle does nothing, so the focus change
// caused by ending does not end it twice. GUI thread only.
class InlineRenameSession final {
public:
    using Commit = std::function<bool(const QString& newName)>;  // true when the rename was done
    using Ended = std::function<void()>;

    // Starts editing, replacing the functions of an edit still running (which then never ends).
    void begin(const QString& original, Commit commit, Ended ended);
    bool isEditing() const { return editing_; }
    QString originalText() const { return original_; }

    // Ends the edit. The commit function runs only when `commit` is true and the text differs
    // from the starting one (exactly, no trimming), and at most once. `show` receives the text the
    // cell shows afterwards: the new name when it was accepted, else the starting one. Then the end
    // function runs. Returns false when no edit was running.
    bool end(bool commit, const QString& newText, const std::function<void(const QString&)>& show);

private:
    bool editing_ = false;
    QString original_;
    Commit commit_;
    Ended ended_;
};

}  // namespace zelvane
