#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <QMimeData>

#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FileContents.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Actions/ActionServices.hpp"

namespace zelvane::testing {

// Names Linux allows and that break careless code: bytes that are not UTF-8, quotes, a newline, a
// leading dash, a backslash, markup.
const std::vector<std::string>& hostileNames();

inline void writeText(const std::filesystem::path& path, const std::string& text) { testsupport::writeFile(path, text); }
inline std::string readText(const std::filesystem::path& path) { return testsupport::readFile(path); }
inline bool pathExists(const std::filesystem::path& p) { return testsupport::existsNoFollow(p); }

// Every path under `root` with its content (files), link target (links) or "<dir>".
std::set<std::string> snapshot(const std::filesystem::path& root);

// The child of `folder` with exactly these name bytes.
FileNode* child(FileNode* folder, const std::string& nameBytes);

struct RecordedStart {
    std::string program;
    std::vector<std::string> arguments;
    std::string workingDirectory;
};

// Records what the actions ask of the desktop.
class RecordingDesktop final : public DesktopServices {
public:
    std::vector<QUrl> opened;
    std::vector<QList<QUrl>> shown;
    std::vector<QList<QUrl>> propertiesShown;
    std::vector<RecordedStart> started;
    std::unique_ptr<QMimeData> clipboard;
    bool fileManagerAnswers = true;
    std::string terminal = "/usr/bin/x-terminal-emulator";

    bool opens = true;  // a program opens what is asked
    using DesktopServices::openUrl;
    bool openUrl(const QUrl& url, OpenFailure& failure, std::function<void(const OpenFailure&)>) override {
        if (opens) opened.push_back(url);
        else failure.program.clear();
        return opens;
    }
    bool showItems(const QList<QUrl>& urls) override {
        if (fileManagerAnswers) shown.push_back(urls);
        return fileManagerAnswers;
    }
    bool showItemProperties(const QList<QUrl>& urls) override {
        if (fileManagerAnswers) propertiesShown.push_back(urls);
        return fileManagerAnswers;
    }
    int startError = 0;  // what starting a program fails with
    std::string terminalProgram() override { return terminal; }
    std::string ownProgram() override { return "/opt/zelvane/ZelvaneMac"; }
    int startDetached(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& workingDirectory) override {
        if (startError) return startError;
        started.push_back({program, arguments, workingDirectory});
        return 0;
    }
    void setClipboard(QMimeData* data) override { clipboard.reset(data); }
};

// Answers alerts from a script (true proceeds) and records them; an alert beyond the script is
// answered with "Cancel".
class ScriptedPrompter final : public ActionPrompter {
public:
    std::deque<bool> answers;
    std::vector<AlertRequest> asked;
    bool ask(const AlertRequest& alert) override {
        asked.push_back(alert);
        if (answers.empty()) return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    // The panels of work under way: their texts, and Cancel pressed as one with this text appears.
    std::vector<QString> panels;
    QString cancelPanelSaying;
    std::shared_ptr<void> showProgress(const QString& text, std::function<void()> cancel) override {
        panels.push_back(text);
        if (text == cancelPanelSaying) cancel();
        return {};
    }
    std::vector<QString> messages() const {
        std::vector<QString> out;
        for (const auto& a : asked) out.push_back(a.message);
        return out;
    }
};

}  // namespace zelvane::testing
