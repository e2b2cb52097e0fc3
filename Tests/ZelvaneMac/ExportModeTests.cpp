#include <gtest/gtest.h>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "QtTestApp.hpp"
#include "TestTrees.hpp"

#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <charconv>
#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

// How the program is started beyond its arguments: what a hostile session or a careless script
// gives it.
struct Launch {
    std::vector<std::string> env;                 // extra "NAME=value" entries
    std::vector<std::pair<int, rlim_t>> limits;   // resource limits, soft and hard alike
    bool unprivileged = false;                    // as another user and group when run as root
    uid_t uid = 65534;                            // that user and group
    bool fromCopy = false;                        // from a copy of the bundle wherever the build lies
    bool stdoutWithoutReader = false;             // standard output a pipe nobody reads

    static Launch withEnv(std::vector<std::string> entries) {
        Launch l;
        l.env = std::move(entries);
        return l;
    }
    static Launch withLimit(int resource, rlim_t value) {
        Launch l;
        l.limits = {{resource, value}};
        return l;
    }
    // The process limit counts every process of the user on the machine: a user of its own,
    // whom nothing else runs as, makes the count this program's alone.
    // Under the address sanitizer its leak check at exit needs a thread of its own, which the
    // limit would refuse.
    static Launch withProcessLimitAsOwnUser(rlim_t value) {
        Launch l = withLimit(RLIMIT_NPROC, value);
        l.unprivileged = true;
        l.uid = uid_t(40000 + ::getpid() % 20000);
        const char* asan = std::getenv("ASAN_OPTIONS");
        l.env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":detect_leaks=0");
        return l;
    }
    // The copy a checkout closed to other users needs (one under /root) is run wherever the
    // checkout lies, so that the program and its libraries are seen to start from it.
    static Launch asOtherUser() {
        Launch l;
        l.unprivileged = true;
        l.fromCopy = true;
        return l;
    }
    static Launch withDeafStdout() {
        Launch l;
        l.stdoutWithoutReader = true;
        return l;
    }
};

// Runs the program in `cwd` with a private preference folder and without any display: the
// program has to find its way to the offscreen platform by itself.
RunResult runProgram(const fs::path& cwd, const std::vector<std::string>& args, const fs::path& configHome,
                     const Launch& launch = {}) {
    // A sanitizer run's suppression files may lie where another user cannot read them.
    if (launch.unprivileged && ::geteuid() == 0) testsupport::shareSanitizerSuppressionsWith(launch.uid);
    std::vector<std::string> dropped = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "XDG_CONFIG_HOME="};
    for (const std::string& entry : launch.env) dropped.push_back(entry.substr(0, entry.find('=') + 1));
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (std::none_of(dropped.begin(), dropped.end(), [&](const std::string& d) { return entry.rfind(d, 0) == 0; }))
            env.push_back(entry);
    }
    env.push_back("XDG_CONFIG_HOME=" + configHome.string());
    env.insert(env.end(), launch.env.begin(), launch.env.end());
    // Another user may not reach the build's own program (a checkout under /root): a copy then.
    std::string program = ZELVANE_PROGRAM;
    if (launch.unprivileged && ::geteuid() == 0) {
        std::string why;
        program = launch.fromCopy ? testsupport::runnableCopyOf(launch.uid, program, &why)
                                  : testsupport::programRunnableBy(launch.uid, program, &why);
        if (program.empty()) return {-1, {}, "cannot run the program as user " + std::to_string(launch.uid) + ": " + why};
    }
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());

    int outPipe[2], errPipe[2], deafPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0 || ::pipe2(deafPipe, O_CLOEXEC) != 0)
        return {};
    ::close(deafPipe[0]);  // before the fork: no process ever holds its reading end
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(launch.stdoutWithoutReader ? deafPipe[1] : outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        // A child that cannot get as far as the program says why on its standard error, which
        // the test shows, and ends with a status of its own (120-123).
        const auto fail = [](const char* step, int status) {
            ::dprintf(2, "test launcher: %s failed: %s\n", step, std::strerror(errno));
            ::_exit(status);
        };
        if (::chdir(cwd.c_str()) != 0) fail("chdir", 120);
        for (const auto& [resource, value] : launch.limits) {
            const rlimit limit{value, value};
            if (::setrlimit(resource, &limit) != 0) fail("setrlimit", 122);
        }
        if (launch.unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(launch.uid, launch.uid, launch.uid) != 0 ||
             ::setresuid(launch.uid, launch.uid, launch.uid) != 0))
            fail("dropping privileges", 123);
        std::vector<char*> a, e;
        for (auto& s : argv) a.push_back(s.data());
        a.push_back(nullptr);
        for (auto& s : env) e.push_back(s.data());
        e.push_back(nullptr);
        ::execve(a[0], a.data(), e.data());
        fail("execve", 121);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    ::close(deafPipe[1]);
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
    RunResult run(const std::vector<std::string>& args, const Launch& launch = {}) const {
        return runProgram(work(), args, config(), launch);
    }
    // Lets user 65534 read the trees and write in the working folder.
    void openToEveryone() const {
        fs::permissions(dir_.path(), fs::perms::all & ~(fs::perms::group_write | fs::perms::others_write));
        fs::permissions(work(), fs::perms::all);
        fs::permissions(config(), fs::perms::all);
    }

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
    // The treemap's background lies under the whole picture: the folders' label strips hold no
    // box and show it, with the white names on it, whatever the PNG is laid over.
    const QImage argb = png.convertToFormat(QImage::Format_ARGB32);
    const QRgb background = treemapBackgroundColor().toQColor().rgb();
    int notOpaque = 0, strip = 0, white = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = argb.pixel(x, y);
            notOpaque += qAlpha(p) != 255;
            strip += (p | 0xff000000u) == background;
            white += qGray(p) > 170 && std::abs(qRed(p) - qGreen(p)) < 20 && std::abs(qGreen(p) - qBlue(p)) < 20;
        }
    EXPECT_EQ(notOpaque, 0);
    EXPECT_GT(strip, 100) << "the label strips";
    EXPECT_GT(white, 10) << "the folder names";
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

// The export mode filters with the same bounded regular expressions as the window: a pattern that
// backtracks without end gives up on a name and leaves it out, and the run ends.
TEST_F(ExportMode, ARunawayFilterPatternGivesUpOnANameAndTheRunEnds) {
    fixtures::writeFile(tree() / "aaaaaaaaaa!", 10);
    fixtures::writeFile(tree() / (std::string(20, 'a') + "!"), 20);
    for (int i = 0; i < 100; ++i) fixtures::writeFile(tree() / "many" / (std::string(30, 'a') + "!" + std::to_string(i)), 1);
    fixtures::writeFile(tree() / "plain.txt", 30);
    const RunResult r = run({tree().string(), "--filter=\\'^(?:(a+)+$|a+!)'\\", "--filterfullpath=0", "--export=out.csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto rows = readRecords(work() / "out.csv", ',');
    std::vector<std::string> paths;
    for (size_t i = 1; i < rows.size(); ++i) paths.push_back(rows[i][0]);
    EXPECT_EQ(paths, (std::vector<std::string>{tree().string() + "/", (tree() / "aaaaaaaaaa!").string()}));
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
        // An empty or folder image path is no file to write (not a hidden ".png").
        {{t, "--treemapimagefile=", "--export=a.csv"},
         {"ZelvaneMac: could not write the treemap image \"\": No such file or directory"},
         {"a.csv"}},
        {{t, "--treemapimagefile=folder", "--export=folder/"},
         {"ZelvaneMac: could not write the CSV export \"folder/\": Is a directory",
          "ZelvaneMac: could not write the treemap image \"folder\": Is a directory"},
         {"folder"}},
        // Folders made for an output that then failed are taken away again.
        {{t, "--export=new/deeper/a.csv", "--exportfiles=0", "--exportfolders=0"},
         {"ZelvaneMac: could not write the CSV export \"new/deeper/a.csv\": both file rows"},
         {}},
        // Two outputs on one file: the second is refused, whichever way it is spelled.
        {{t, "--export=same.csv", "--exportfiletypes=./same.csv", "--treemapimagefile=link-to-same.png",
          "--treemapimagewidth=16", "--treemapimageheight=16"},
         {"ZelvaneMac: could not write the file-type CSV \"./same.csv\": the CSV export is written to the same file",
          "ZelvaneMac: could not write the treemap image \"link-to-same.png\": the CSV export is written to the same file"},
         {"link-to-same.png", "same.csv"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(work());
        fs::create_directories(work());
        { std::ofstream(work() / "blocker") << "a file where a folder is wanted"; }
        if (std::find(c.written.begin(), c.written.end(), "folder") != c.written.end())
            fs::create_directory(work() / "folder");
        if (std::find(c.written.begin(), c.written.end(), "link-to-same.png") != c.written.end())
            fs::create_symlink("same.csv", work() / "link-to-same.png");
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

    // A device takes any number of outputs, one after the other.
    const RunResult r = run({t, "--export=/dev/null", "--exportfiletypes=/dev/null"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
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

// A FIFO where the settings file should be held the export mode in the open for good, before any
// folder was scanned: it is no settings file, the run goes on with the defaults and leaves it be.
// A FIFO as an output is still written in place while something reads it; one that nothing reads
// fails that output after a moment, instead of waiting for a reader for good.
TEST_F(ExportMode, FIFOsAsTheSettingsOrAnOutputNeverHoldTheRun) {
    makeTree();
    fs::create_directories(config() / "ZelvaneMac");
    const fs::path settings = config() / "ZelvaneMac/ZelvaneMac.plist";
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    const fs::path unread = work() / "unread.csv";
    fs::create_directories(work());
    ASSERT_EQ(::mkfifo(unread.c_str(), 0600), 0);
    // Should an open block after all, a writer and a reader come after a while: a failure, not
    // a hang.
    std::atomic<bool> done{false};
    std::thread unblocker([&] {
        for (int i = 0; i < 3000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        if (const int fd = ::open(settings.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); fd >= 0) ::close(fd);
    });
    const RunResult r = run({tree().string(), "--export=out.csv", "--exportfiletypes=" + unread.string()});
    done = true;
    unblocker.join();
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("could not write the file-type CSV \"" + unread.string() + "\": " + std::strerror(ENXIO)),
              std::string::npos)
        << r.err;
    EXPECT_EQ(readRecords(work() / "out.csv", ',').size(), entriesOnDisk().size() + 1) << "the tree was exported";
    struct stat st {};
    ASSERT_EQ(::lstat(settings.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
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

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The CSV rows of an export, keyed by their path.
std::map<std::string, std::vector<std::string>> rowsByPath(const fs::path& csv) {
    std::map<std::string, std::vector<std::string>> out;
    const auto rows = readRecords(csv, ',');
    for (size_t i = 1; i < rows.size(); ++i) out[rows[i][0]] = rows[i];
    return out;
}

size_t columnOf(const fs::path& csv, const std::string& name) {
    const auto header = readRecords(csv, ',').at(0);
    return size_t(std::find(header.begin(), header.end(), name) - header.begin());
}

}  // namespace

// A stale display, a hostile platform choice, few descriptors, few threads, an output pipe that
// closed: the export mode writes what it can and says what it could not, and never aborts.
TEST_F(ExportMode, HostileSessionsLimitsAndClosedPipes) {
    makeTree();
    openToEveryone();
    const std::vector<std::string> all = {tree().string(), "--export=scan.csv", "--exportfiletypes=types.csv",
                                          "--treemapimagefile=map.png", "--treemapimagewidth=64",
                                          "--treemapimageheight=48"};
    const auto expectAllWritten = [&](const RunResult& r, const std::string& what) {
        EXPECT_EQ(r.exitCode, 0) << what << ": " << r.err;
        EXPECT_EQ(r.err, "") << what;
        EXPECT_EQ(filesIn(work()), (std::vector<std::string>{"map.png", "scan.csv", "types.csv"})) << what;
        EXPECT_EQ(rowsByPath(work() / "scan.csv").size(), entriesOnDisk().size()) << what;
        fs::remove(work() / "map.png");
        fs::remove(work() / "scan.csv");
        fs::remove(work() / "types.csv");
    };

    // A display that answers nobody (a stale ssh or tmux session) and a platform that needs it.
    expectAllWritten(run(all, Launch::withEnv({"DISPLAY=:93", "WAYLAND_DISPLAY=wayland-93", "QT_QPA_PLATFORM=xcb"})),
                     "stale display");
    // Few descriptors: no room for an event loop's extra pipes. Left to the plain build: the
    // sanitizers' type check reads /proc/self/maps when its cache misses, and finds no descriptor
    // free for it now and then.
#ifndef __SANITIZE_ADDRESS__
    expectAllWritten(run(all, Launch::withLimit(RLIMIT_NOFILE, 12)), "12 descriptors");
#endif
    // Threads: the scan's own and none for its workers, as a user at the process limit.
    std::string why;
    if (::geteuid() == 0 &&
        testsupport::programRunnableBy(Launch::withProcessLimitAsOwnUser(2).uid, ZELVANE_PROGRAM, &why).empty()) {
        std::cout << "[ SKIPPED  ] the runs as another user: " << why << std::endl;
    } else if (::geteuid() == 0) {
        expectAllWritten(run(all, Launch::withProcessLimitAsOwnUser(2)), "two threads");
        // Not even the scan's thread: the scan fails with its reason, nothing is written.
        const RunResult r = run(all, Launch::withProcessLimitAsOwnUser(1));
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, "ZelvaneMac: the scan failed: Could not start: Resource temporarily unavailable\n");
        EXPECT_TRUE(filesIn(work()).empty());
    }

    // Standard output closed by its reader (a pipe into "head"): that output fails with EPIPE,
    // the others are still written.
    const RunResult r = run({tree().string(), "--export=/dev/stdout", "--exportfiletypes=types.csv",
                             "--treemapimagefile=map.png", "--treemapimagewidth=64", "--treemapimageheight=48"},
                            Launch::withDeafStdout());
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "ZelvaneMac: could not write the CSV export \"/dev/stdout\": Broken pipe\n");
    EXPECT_EQ(filesIn(work()), (std::vector<std::string>{"map.png", "types.csv"}));
}

// Out of address space (a script under "ulimit -v", a tree bigger than the machine), wherever it
// runs short: in the scan, the roll-up, the sort or the export. The run ends with exit code 2 and
// one line on standard error, never an abort, and an earlier file at the export path stays as it
// was. (Address-space limits and the sanitizers' shadow memory do not go together.)
TEST_F(ExportMode, OutOfAddressSpaceFailsWithItsLineAndKeepsTheEarlierFile) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "an address-space limit leaves no room for the sanitizers' shadow memory";
#endif
    // 20,000 files in 200 folders: some tens of MiB of tree beside the program itself.
    for (int d = 0; d < 200; ++d) {
        const fs::path folder = tree() / ("folder " + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < 100; ++f) {
            const int fd = ::open((folder / ("file-with-a-longer-name-" + std::to_string(f) + ".dat")).c_str(),
                                  O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    const std::string earlier = "an earlier export\n";
    const auto runWithin = [&](rlim_t mebibytes) {
        fixtures::writeFile(work() / "scan.csv", earlier);
        return run({tree().string(), "--export=scan.csv", "--sortby=1"}, Launch::withLimit(RLIMIT_AS, mebibytes << 20));
    };
    ASSERT_EQ(runWithin(4096).exitCode, 0);
    // From where the program's libraries no longer fit (the loader's own failure) to well past
    // where the tree does; how much a run needs varies with the threads it gets.
    int failures = 0, written = 0;
    for (rlim_t limit = 80; limit <= 224; limit += 4) {
        const RunResult r = runWithin(limit);
        SCOPED_TRACE("limit " + std::to_string(limit) + " MiB: " + r.err);
        if (r.exitCode == 127 && r.err.find("error while loading shared libraries") != std::string::npos) continue;
        if (r.exitCode == 0) {
            ++written;
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(rowsByPath(work() / "scan.csv").size(), 1u + 200 + 20000);
            continue;
        }
        ++failures;
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
        EXPECT_EQ(r.err.rfind("ZelvaneMac: ", 0), 0u);
        EXPECT_EQ(readAll(work() / "scan.csv"), earlier);
        EXPECT_EQ(filesIn(work()), std::vector<std::string>{"scan.csv"}) << "nothing left beside it";
    }
    EXPECT_GT(failures, 0) << "no limit ran short";
    EXPECT_GT(written, 0) << "no limit let the tree through";
}

// What a careless script passes: values the program does not understand, folders that are not
// there, relative folders, names with line breaks. Each is named once on standard error; the run
// goes on with the documented meaning.
TEST_F(ExportMode, ArgumentsNotUnderstoodAreNamedAndRelativeFoldersBecomeAbsolute) {
    makeTree();
    fixtures::writeFile(dir_ / "second/only.txt", 3);
    const RunResult r = runProgram(
        dir_.path(),
        {"tree", "./second/", "missing", "gone\nwith a line break", "--export=work/scan.csv",
         "--exportfolders=yes", "--treemapimagewidth=abc", "--sortby=99999999999999999999", "--exportfiles=TRUE",
         "--exportutctime=", "--exportmaxdepth=-2"},
        config());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> expected = {
        "ZelvaneMac: the value \"yes\" of --exportfolders is not understood (1, 0, true or false); it is taken as false",
        "ZelvaneMac: the value \"\" of --exportutctime is not understood (1, 0, true or false); it is taken as false",
        "ZelvaneMac: the value \"99999999999999999999\" of --sortby is not a whole number in the 64-bit range; the "
        "default 0 is used",
        "ZelvaneMac: the value \"abc\" of --treemapimagewidth is not a whole number in the 64-bit range; the default "
        "1920 is used",
        "ZelvaneMac: skipped \"missing\": No such file or directory",
        "ZelvaneMac: skipped \"gone\\nwith a line break\": No such file or directory",
    };
    EXPECT_EQ(linesOf(r.err), expected);

    // Folder rows were switched off ("yes" is false), file rows kept; the roots are absolute, so
    // an import reads back the real paths.
    const auto rows = rowsByPath(work() / "scan.csv");
    EXPECT_TRUE(rows.count(tree().string() + "/sub/big.bin"));
    EXPECT_TRUE(rows.count((dir_ / "second/only.txt").string()));
    for (const auto& [path, row] : rows) {
        EXPECT_EQ(path.front(), '/') << path;
        EXPECT_NE(path.back(), '/') << path;
        EXPECT_EQ(path.find("/./"), std::string::npos) << path;
    }
}

// A root that may not be read fails the run (a script must not take it for an empty folder); a
// subfolder that may not be read is exported as an empty folder and named on standard error. A
// folder that may be listed but not entered is one that may not be read: its files are not
// exported as files of 0 bytes dated 1970.
TEST_F(ExportMode, FoldersThatCannotBeReadAreNamedAndAnUnreadableRootFailsTheRun) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to drop to another user";
    if (std::string why; testsupport::runnableCopyOf(Launch::asOtherUser().uid, ZELVANE_PROGRAM, &why).empty())
        GTEST_SKIP() << why;
    makeTree();
    fixtures::writeFile(dir_ / "private/secret.txt", 5);
    openToEveryone();
    fixtures::writeFile(tree() / "listed/secret.txt", 5000);
    fixtures::writeFile(tree() / "listed/inner/deeper.txt", 7000);
    fs::permissions(dir_ / "private", fs::perms::owner_all);
    fs::permissions(tree() / "sub/deeper", fs::perms::none);
    fs::permissions(tree() / "listed", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);

    const RunResult failed =
        run({(dir_ / "private").string(), tree().string(), "--export=scan.csv"}, Launch::asOtherUser());
    ASSERT_EQ(failed.exitCode, 2) << failed.err;
    const auto failedLines = linesOf(failed.err);
    ASSERT_FALSE(failedLines.empty());
    EXPECT_EQ(std::set<std::string>(failedLines.begin(), failedLines.end()),
              (std::set<std::string>{
                  "ZelvaneMac: could not read the folder \"" + (dir_ / "private").string() + "\": Permission denied",
                  "ZelvaneMac: could not read the folder \"" + (tree() / "sub/deeper").string() +
                      "\": Permission denied",
                  "ZelvaneMac: could not read the folder \"" + (tree() / "listed").string() + "\": Permission denied",
                  "ZelvaneMac: the scan failed; nothing was written"}));
    EXPECT_EQ(failedLines.back(), "ZelvaneMac: the scan failed; nothing was written");
    EXPECT_TRUE(filesIn(work()).empty());

    const RunResult partly = run({tree().string(), "--export=scan.csv"}, Launch::asOtherUser());
    ASSERT_EQ(partly.exitCode, 0) << partly.err;
    const auto partlyLines = linesOf(partly.err);
    EXPECT_EQ(std::set<std::string>(partlyLines.begin(), partlyLines.end()),
              (std::set<std::string>{
                  "ZelvaneMac: could not read the folder \"" + (tree() / "sub/deeper").string() + "\": Permission denied",
                  "ZelvaneMac: could not read the folder \"" + (tree() / "listed").string() + "\": Permission denied"}));
    EXPECT_EQ(partlyLines.size(), 2u);
    const auto rows = rowsByPath(work() / "scan.csv");
    ASSERT_TRUE(rows.count((tree() / "sub/deeper").string() + "/"));
    EXPECT_FALSE(rows.count((tree() / "sub/deeper/deepest").string() + "/"));
    ASSERT_TRUE(rows.count((tree() / "listed").string() + "/"));
    EXPECT_EQ(rows.at((tree() / "listed").string() + "/").at(1), "0");
    const std::string inside = (tree() / "listed").string() + "/";
    for (const auto& [path, row] : rows)
        EXPECT_FALSE(path.size() > inside.size() && path.rfind(inside, 0) == 0)
            << path << " is inside the folder that could not be read";
    fs::permissions(tree() / "sub/deeper", fs::perms::owner_all);
    fs::permissions(tree() / "listed", fs::perms::owner_all);
}

// The drive columns add up the way df shows a volume: what the user can still write, what only
// the administrator may use, the rest used. A root named by bytes that are not UTF-8 has them too.
// File types are told apart by their exact bytes.
TEST_F(ExportMode, DriveColumnsLikeDfAndExtensionsByTheirBytes) {
    const fs::path odd = dir_ / "caf\xE9";
    fixtures::writeFile(odd / "a.\xff", 10);
    fixtures::writeFile(odd / "b.\xfe", 20);
    fixtures::writeFile(odd / "c.\xfe", 1);
    const RunResult r = run({odd.string(), "--export=scan.csv", "--exportfiletypes=types.csv", "--sortbyfiletypes=1"});
    ASSERT_EQ(r.exitCode, 0) << r.err;

    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(odd.c_str(), &vfs), 0);
    const int64_t unit = int64_t(vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize);
    const auto rows = rowsByPath(work() / "scan.csv");
    ASSERT_TRUE(rows.count(odd.string() + "/"));
    const auto& root = rows.at(odd.string() + "/");
    const fs::path csv = work() / "scan.csv";
    const int64_t capacity = toInt(root.at(columnOf(csv, "DRIVECAPACITY")));
    const int64_t free = toInt(root.at(columnOf(csv, "FREESPACE")));
    const int64_t used = toInt(root.at(columnOf(csv, "USEDSPACE")));
    const int64_t reserved = toInt(root.at(columnOf(csv, "RESERVEDSPACE")));
    EXPECT_EQ(capacity, int64_t(vfs.f_blocks) * unit);
    EXPECT_EQ(free + used + reserved, capacity);
    EXPECT_EQ(reserved, int64_t(vfs.f_bfree - vfs.f_bavail) * unit);
    EXPECT_NEAR(double(free), double(int64_t(vfs.f_bavail) * unit), 256.0 * 1024 * 1024);

    const auto types = readRecords(work() / "types.csv", ',');
    ASSERT_EQ(types.size(), 3u);
    EXPECT_EQ(types[1][0], "\xfe");
    EXPECT_EQ(types[1][3], "21");
    EXPECT_EQ(types[2][0], "\xff");
    EXPECT_EQ(types[2][3], "10");
}
