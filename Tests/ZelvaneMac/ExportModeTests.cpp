#include <gtest/gtest.h>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "QtTestApp.hpp"
#include "TestTrees.hpp"

#include <QImage>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace zelvane;
using fixtures::TempDir;
namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the program in `cwd` with a private preference folder and without any display: the
// program has to find its way to the offscreen platform by itself.
RunResult runProgram(const fs::path& cwd, const std::vector<std::string>& args, const fs::path& configHome) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        for (const char* drop : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "XDG_CONFIG_HOME="})
            if (entry.rfind(drop, 0) == 0) goto skip;
        env.push_back(entry);
    skip:;
    }
    env.push_back("XDG_CONFIG_HOME=" + configHome.string());
    std::vector<std::string> argv = {ZELVANE_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());

    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        if (::chdir(cwd.c_str()) != 0) ::_exit(120);
        std::vector<char*> a, e;
        for (auto& s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : env) e.push_back(s.data());
        e.push_back(nullptr);
        ::execve(a[0], a.data(), e.data());
        ::_exit(121);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    RunResult r;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? r.out : r.err).append(buf, size_t(n));
            }
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Fields of one line; a field in double quotes may hold the delimiter and doubled quotes.
std::vector<std::string> splitRecord(const std::string& line, char delimiter) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back().push_back('"');
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back().push_back(c);
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == delimiter) {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

std::vector<std::vector<std::string>> readRecords(const fs::path& p, char delimiter) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(readAll(p));
    for (std::string line; std::getline(in, line);) rows.push_back(splitRecord(line, delimiter));
    return rows;
}

int64_t toInt(const std::string& s) {
    int64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ExportMode : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(config());
        fs::create_directories(work());
    }
    fs::path config() const { return dir_ / "config"; }
    fs::path work() const { return dir_ / "work"; }
    fs::path tree() const { return dir_ / "tree"; }
    RunResult run(const std::vector<std::string>& args) const { return runProgram(work(), args, config()); }

    // Files with names that need quoting, a hard link, a symbolic link, an empty folder and a
    // folder a few levels down.
    void makeTree() const {
        fixtures::writeFile(tree() / "a.txt", 1000);
        fixtures::writeFile(tree() / "b c.dat", 20000);
        fixtures::writeFile(tree() / "with,comma \"and quotes\".txt", 7);
        fixtures::writeFile(tree() / "sub/big.bin", 300000);
        fixtures::writeFile(tree() / "sub/deeper/deepest/x.txt", 12);
        fixtures::writeFile(tree() / "sub/noext", 5);
        fs::create_hard_link(tree() / "a.txt", tree() / "sub/a-link.txt");
        fs::create_symlink("../a.txt", tree() / "sub/to-a");
        fs::create_directories(tree() / "empty");
    }

    // Every entry below the root, as the export writes its path (folders end in '/').
    std::set<std::string> entriesOnDisk() const {
        std::set<std::string> out = {tree().string() + "/"};
        for (auto it = fs::recursive_directory_iterator(tree()); it != fs::recursive_directory_iterator(); ++it)
            out.insert(it->path().string() + (it->is_directory() && !it->is_symlink() ? "/" : ""));
        return out;
    }

    TempDir dir_;
};

TEST_F(ExportMode, WritesTheThreeOutputsWithoutADisplay) {
    makeTree();
    const RunResult r = run({tree().string(), "--export=out/scan_%d_%t.csv", "--exportfiletypes=out/types_%d_%t.csv",
                             "--treemapimagefile=out/map.jpg", "--treemapimagewidth=320", "--treemapimageheight=200"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");

    // Relative paths resolve against the working folder; the missing folder was made; ".jpg"
    // became ".png"; both templates carry the one stamp of the run.
    const auto names = filesIn(work() / "out");
    ASSERT_EQ(names.size(), 3u) << ::testing::PrintToString(names);
    EXPECT_EQ(names[0], "map.png");
    std::smatch scan, types;
    ASSERT_TRUE(std::regex_match(names[1], scan, std::regex(R"(scan_(\d{8})_(\d{6})\.csv)"))) << names[1];
    ASSERT_TRUE(std::regex_match(names[2], types, std::regex(R"(types_(\d{8})_(\d{6})\.csv)"))) << names[2];
    EXPECT_EQ(scan[1].str() + scan[2].str(), types[1].str() + types[2].str());

    // One row per scanned entry, each path once.
    const auto rows = readRecords(work() / "out" / names[1], ',');
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "File Name");
    std::multiset<std::string> exported;
    int64_t fileRowSizes = 0, fileRows = 0;
    for (size_t i = 1; i < rows.size(); ++i) {
        exported.insert(rows[i][0]);
        if (rows[i][0].back() != '/') {
            fileRowSizes += toInt(rows[i][1]);
            ++fileRows;
        }
    }
    const auto onDisk = entriesOnDisk();
    EXPECT_EQ(std::set<std::string>(exported.begin(), exported.end()), onDisk);
    EXPECT_EQ(exported.size(), onDisk.size());
    // Without "sortby" the children come in name order.
    const auto pos = [&](const std::string& rel) {
        for (size_t i = 1; i < rows.size(); ++i)
            if (rows[i][0] == (tree() / rel).string()) return i;
        return size_t(0);
    };
    EXPECT_LT(pos("a.txt"), pos("b c.dat"));
    EXPECT_LT(pos("b c.dat"), pos("with,comma \"and quotes\".txt"));

    // The file-type rows add up to the files of the tree.
    const auto typeRows = readRecords(work() / "out" / names[2], ',');
    ASSERT_GE(typeRows.size(), 2u);
    EXPECT_EQ(typeRows[0], (std::vector<std::string>{"Extension", "File Type", "Percent", "Size", "Allocated", "Files"}));
    int64_t typeSizes = 0, typeFiles = 0;
    double percents = 0;
    std::vector<int64_t> sizes;
    for (size_t i = 1; i < typeRows.size(); ++i) {
        ASSERT_EQ(typeRows[i].size(), 6u);
        sizes.push_back(toInt(typeRows[i][3]));
        typeSizes += sizes.back();
        typeFiles += toInt(typeRows[i][5]);
        percents += std::stod(typeRows[i][2]);
    }
    EXPECT_EQ(typeSizes, fileRowSizes);
    EXPECT_EQ(typeFiles, fileRows);
    EXPECT_NEAR(percents, 100.0, 0.01);
    EXPECT_TRUE(std::is_sorted(sizes.rbegin(), sizes.rend())) << "the default order is largest size first";

    qtTestApp();
    const QImage png(QString::fromStdString((work() / "out/map.png").string()));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(320, 200));
}

TEST_F(ExportMode, TabsSortingFiltersAndSeveralRootsInAnyOrder) {
    makeTree();
    fixtures::writeFile(dir_ / "second/only.txt", 3);
    const std::string second = (dir_ / "second").string();
    // Options before, between and after the folders; a file and a missing path are skipped, as
    // is an unknown option.
    const RunResult r = run({"--sortby=1", second, "--unknown=1", (tree() / "a.txt").string(), tree().string(),
                             (dir_ / "missing").string(), "--export=scan.TSV", "--filter=*.txt | 'b c.dat'",
                             "--filterfullpath=0", "--exportdrivecapacity=0", "--exportfiletypes=types.csv",
                             "--sortbyfiletypes=3"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    const auto rows = readRecords(work() / "scan.TSV", '\t');
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], "File Name");
    EXPECT_GT(rows[0].size(), 3u) << "tab-separated";
    std::vector<std::string> paths;
    for (size_t i = 1; i < rows.size(); ++i) paths.push_back(rows[i][0]);
    const std::string t = tree().string();
    // Roots in command-line order; in each folder the largest first (sizes of the filtered copy:
    // "sub" holds 1,012 bytes of text files, more than "a.txt"); the filter keeps the text files
    // and the quoted name, and the folders that hold them.
    const std::vector<std::string> expected = {
        second + "/",
        second + "/only.txt",
        t + "/",
        t + "/b c.dat",
        t + "/sub/",
        t + "/sub/a-link.txt",
        t + "/sub/deeper/",
        t + "/sub/deeper/deepest/",
        t + "/sub/deeper/deepest/x.txt",
        t + "/a.txt",
        t + "/with,comma \"and quotes\".txt",
    };
    EXPECT_EQ(paths, expected);

    // The file-type CSV sees the filtered trees, its rows ordered by extension.
    const auto typeRows = readRecords(work() / "types.csv", ',');
    ASSERT_EQ(typeRows.size(), 3u);
    EXPECT_EQ(typeRows[1][0], "dat");
    EXPECT_EQ(typeRows[2][0], "txt");
    EXPECT_EQ(typeRows[2][5], "5");
}

TEST_F(ExportMode, PreconditionsEndWithCodeOneAndTheirMessage) {
    makeTree();
    const std::string noFolder = "ZelvaneMac: no valid folder path given to scan.\n";
    const std::string file = (tree() / "a.txt").string(), missing = (dir_ / "missing").string();
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--export=x.csv"}, noFolder},
        // Every argument skipped is named, and why.
        {{"--treemapimagefile=m.png", file, missing},
         "ZelvaneMac: skipped \"" + file + "\": Not a directory\nZelvaneMac: skipped \"" + missing +
             "\": No such file or directory\n" + noFolder},
        {{"--exportfiletypes=", "-" + tree().string()}, noFolder},
    };
    for (const auto& [args, err] : cases) {
        const RunResult r = run(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(r.err, err) << args[0];
    }
    EXPECT_TRUE(filesIn(work()).empty());

    // Without any output option the graphical mode is asked for, which needs a display.
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{}, {tree().string()}, {tree().string(), "--EXPORT=x.csv"}}) {
        const RunResult r = run(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find("no display to open a window on"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(filesIn(work()).empty());
}

TEST_F(ExportMode, EveryOutputNotWrittenIsReportedAndTheOthersStillRun) {
    makeTree();
    const std::string t = tree().string();
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> messages;  // beginnings of the lines on standard error, in order
        std::vector<std::string> written;   // files in the working folder afterwards
    };
    const std::vector<Case> cases = {
        {{t, "--export=a.csv", "--exportfiles=0", "--exportfolders=0", "--exportfiletypes=t.csv"},
         {"ZelvaneMac: could not write the CSV export \"a.csv\": both file rows and folder rows are switched off"},
         {"t.csv"}},
        {{t, "--treemapimagefile=m.png", "--treemapimagewidth=0", "--export=a.csv"},
         {"ZelvaneMac: could not write the treemap image \"m.png\": the size 0 x 1080 is not between"},
         {"a.csv"}},
        {{t, "--treemapimagefile=m", "--treemapimageheight=-5"},
         {"ZelvaneMac: could not write the treemap image \"m.png\": the size 1920 x -5"},
         {}},
        {{t, "--treemapimagefile=m.png", "--treemapimagewidth=40000", "--treemapimageheight=10"},
         {"ZelvaneMac: could not write the treemap image \"m.png\": the size 40000 x 10"},
         {}},
        {{t, "--treemapimagefile=m.png", "--treemapimagewidth=30000", "--treemapimageheight=30000"},
         {"ZelvaneMac: could not write the treemap image \"m.png\": the size 30000 x 30000"},
         {}},
        // A path whose folder is a file cannot be made or written; an empty path counts as given.
        {{t, "--export=", "--exportfiletypes=blocker/t.csv", "--treemapimagefile=m.png", "--treemapimagewidth=16",
          "--treemapimageheight=16"},
         {"ZelvaneMac: could not write the CSV export \"\": No such file or directory",
          "ZelvaneMac: could not write the file-type CSV \"blocker/t.csv\": Not a directory"},
         {"blocker", "m.png"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(work());
        fs::create_directories(work());
        { std::ofstream(work() / "blocker") << "a file where a folder is wanted"; }
        const RunResult r = run(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args[1];
        std::vector<std::string> lines;
        std::istringstream in(r.err);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), c.messages.size()) << r.err;
        for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind(c.messages[i], 0), 0u) << lines[i];
        auto expected = c.written;
        if (std::find(expected.begin(), expected.end(), "blocker") == expected.end()) expected.push_back("blocker");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(filesIn(work()), expected) << c.args[1];
    }
}

TEST_F(ExportMode, DeepOutputFoldersAndStoredSettingsOfAnyShape) {
    makeTree();
    {
        // A palette and extension lists shorter than the 13 slots, as a hand-edited or
        // administrator-written file may hold; free-space boxes need the last slot.
        Preferences prefs(QString::fromStdString((config() / "ZelvaneMac/ZelvaneMac.plist").string()));
        prefs.set(PreferenceKeys::treemapPaletteColorsJSON, QStringLiteral("[\"FF0000\"]"));
        prefs.set(PreferenceKeys::treemapExtensionListsJSON, QStringLiteral("[\"txt\"]"));
        prefs.set(PreferenceKeys::treemapColorBySize, false);
        prefs.set(PreferenceKeys::byteSizeDisplayMode, 99);
        ASSERT_EQ(prefs.synchronize(), QString());
    }
    const RunResult r = run({"--treemapimagefile=new/deeper/map.PNG", tree().string(), "--treemapimagefreespace=1",
                             "--treemapimageshowallocated=1", "--treemapimagewidth=64", "--treemapimageheight=48"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    qtTestApp();
    const QImage png(QString::fromStdString((work() / "new/deeper/map.PNG").string()));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.size(), QSize(64, 48));
    EXPECT_EQ(filesIn(work() / "new/deeper"), std::vector<std::string>{"map.PNG"});
}

}  // namespace

TEST_F(ExportMode, RootFolderWhoseNameIsNotUTF8IsScannedByItsBytes) {
    const fs::path odd = dir_ / "caf\xE9-latin1";
    fixtures::writeFile(odd / "inside.txt", 4321);
    const RunResult r = run({odd.string(), "--export=out/odd.csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ifstream in(work() / "out/odd.csv", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    // The root row names the folder by its exact bytes and carries the file's size.
    EXPECT_NE(text.str().find("\"" + odd.string() + "/\",4321,"), std::string::npos) << text.str();
}
