// The prompt as sudo runs it: the real program on a private X server, driven with xdotool the way a
// user types and clicks, its standard output, standard error and exit status checked.

#include "OstraneTestFiles.hpp"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRect>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kEnglishTitle = "ZelvaneMac Administrator Access";

std::vector<char*> cStrings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// A started child with pipes on its standard output and error (unless closed on purpose).
struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

enum class Stdout { pipe, closed };

Child spawnChild(std::vector<std::string> argv, std::vector<std::string> env, Stdout stdoutMode = Stdout::pipe,
                 int extraWriteFd = -1) {
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (stdoutMode == Stdout::pipe)
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    else
        posix_spawn_file_actions_addclose(&actions, 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    if (extraWriteFd >= 0) posix_spawn_file_actions_adddup2(&actions, extraWriteFd, 3);
    Child child;
    auto args = cStrings(argv);
    auto envp = cStrings(env);
    const int rc = posix_spawnp(&child.pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        return {};
    }
    child.out = outPipe[0];
    child.err = errPipe[0];
    return child;
}

QByteArray drain(int& fd) {
    QByteArray all;
    if (fd < 0) return all;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) all.append(buf, n);
    ::close(fd);
    fd = -1;
    return all;
}

// The raw wait status, or none when the child is still running after `timeout` (it is then killed).
std::optional<int> waitFor(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (Clock::now() < deadline) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (r < 0) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return std::nullopt;
}

struct ToolRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
};

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    return env;
}

std::vector<std::string> withVariable(std::vector<std::string> env, const std::string& name, const std::string& value) {
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
    env.push_back(name + "=" + value);
    return env;
}

ToolRun runToolOn(const std::string& display, std::vector<std::string> argv,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The private X server, one for the whole program: it picks a free display number itself.
class XServer {
public:
    static XServer& shared() {
        static XServer server;
        return server;
    }
    const std::string& display() const { return display_; }
    const std::string& failure() const { return failure_; }

    ~XServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }

private:
    XServer() {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            failure_ = "no pipe";
            return;
        }
        // Without -noreset the server starts afresh each time its last client leaves, and the keys
        // given below would be gone again before the prompt starts.
        Child child = spawnChild({"Xvfb", "-displayfd", "3", "-noreset", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                                 currentEnvironment(), Stdout::pipe, ready[1]);
        ::close(ready[1]);
        if (child.pid <= 0) {
            ::close(ready[0]);
            failure_ = "Xvfb could not be started (./dev setup installs it)";
            return;
        }
        pid_ = child.pid;
        ::close(child.out);
        ::close(child.err);
        pollfd p{ready[0], POLLIN, 0};
        std::string number;
        while (::poll(&p, 1, 15000) > 0) {
            char c;
            if (::read(ready[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(ready[0]);
        if (number.empty()) {
            failure_ = "Xvfb did not report its display";
            return;
        }
        display_ = ":" + number;
        // The test passwords' characters outside the keymap get keys of their own up front.
        const ToolRun mapped = runToolOn(display_, {"/usr/bin/python3", std::string(OSTRANE_TEST_TOOLS) + "/xkeys.py", "udiaeresis"});
        if (!mapped.finished || mapped.exitCode != 0) failure_ = "could not extend the keymap (python3-xlib)";
    }

    pid_t pid_ = -1;
    std::string display_;
    std::string failure_;
};

ToolRun runToolOn(const std::string& display, std::vector<std::string> argv, std::chrono::milliseconds timeout) {
    Child child = spawnChild(std::move(argv), withVariable(currentEnvironment(), "DISPLAY", display));
    ToolRun run;
    if (child.pid <= 0) return run;
    std::optional<int> status = waitFor(child.pid, timeout);
    run.out = drain(child.out).trimmed();
    drain(child.err);
    if (status && WIFEXITED(*status)) {
        run.finished = true;
        run.exitCode = WEXITSTATUS(*status);
    }
    return run;
}

ToolRun runTool(std::vector<std::string> argv, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    return runToolOn(XServer::shared().display(), std::move(argv), timeout);
}

struct PromptResult {
    bool exited = false;       // on its own, with an exit status (not killed by a signal)
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString title;             // the dialog's title as the X server saw it
};

// One run of the prompt from a bundle folder of its own. `drive` gets the dialog's window id.
class PromptRun {
public:
    PromptRun() {
        resources_ = dir_.path() + "/ZelvaneMac.app/Resources";
        QDir().mkpath(resources_);
        QFile::copy(OSTRANE_PROGRAM, resources_ + "/Ostrane");
        QFile::setPermissions(resources_ + "/Ostrane", QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QDir().mkpath(dir_.path() + "/config");
        QDir().mkpath(dir_.path() + "/run");
        QFile::setPermissions(dir_.path() + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env_ = {"PATH=/usr/bin:/bin", "HOME=" + dir_.path().toStdString(),
                "XDG_CONFIG_HOME=" + dir_.path().toStdString() + "/config",
                "XDG_RUNTIME_DIR=" + dir_.path().toStdString() + "/run", "LANG=C.UTF-8",
                "DISPLAY=" + XServer::shared().display()};
        // A sanitizer build of the prompt checks itself with the same settings as the tests.
        for (const std::string& entry : currentEnvironment()) {
            for (const char* name : {"ASAN_OPTIONS=", "LSAN_OPTIONS=", "UBSAN_OPTIONS=", "TSAN_OPTIONS="})
                if (entry.rfind(name, 0) == 0) env_.push_back(entry);
        }
    }

    const QString& resources() const { return resources_; }
    QString settingsFile() const { return dir_.path() + "/config/ZelvaneMac/ZelvaneMac.plist"; }
    void setVariable(const std::string& name, const std::string& value) { env_ = withVariable(env_, name, value); }

    PromptResult run(std::vector<std::string> arguments, const std::function<void(const std::string&)>& drive,
                     Stdout stdoutMode = Stdout::pipe, bool closeOutputBeforeDriving = false) {
        std::vector<std::string> argv{(resources_ + "/Ostrane").toStdString()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        Child child = spawnChild(argv, env_, stdoutMode);
        PromptResult result;
        if (child.pid <= 0) return result;
        if (closeOutputBeforeDriving) ::close(std::exchange(child.out, -1));
        const ToolRun found = runTool({"xdotool", "search", "--sync", "--onlyvisible", "--pid", std::to_string(child.pid)});
        const std::string window = found.out.split('\n').value(0).toStdString();
        if (found.finished && !window.empty()) {
            result.title = QString::fromUtf8(runTool({"xdotool", "getwindowname", window}).out);
            drive(window);
        }
        const std::optional<int> status = waitFor(child.pid, std::chrono::seconds(20));
        result.out = drain(child.out);
        result.err = drain(child.err);
        if (status && WIFEXITED(*status)) {
            result.exited = true;
            result.exitCode = WEXITSTATUS(*status);
        }
        return result;
    }

private:
    QTemporaryDir dir_;
    QString resources_;
    std::vector<std::string> env_;
};

void typeInto(const std::string& window, const std::string& text) {
    runTool({"xdotool", "mousemove", "--window", window, "20", "20"});
    runTool({"xdotool", "windowfocus", "--sync", window});
    if (!text.empty()) runTool({"xdotool", "type", "--delay", "40", text});
}

void pressKey(const std::string& key) { runTool({"xdotool", "key", key}); }

void closeAsWindowManager(const std::string& window) {
    const ToolRun run = runTool({"/usr/bin/python3", std::string(OSTRANE_TEST_TOOLS) + "/xclose.py", window});
    EXPECT_TRUE(run.finished && run.exitCode == 0) << "xclose.py " << window << ": " << run.exitCode;
}

class OstraneProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ::signal(SIGPIPE, SIG_IGN);
        ASSERT_TRUE(XServer::shared().failure().empty()) << XServer::shared().failure();
    }
};

// The window's place and size on the screen, from xdotool.
QRect windowGeometry(const std::string& window) {
    const QByteArray shell = runTool({"xdotool", "getwindowgeometry", "--shell", window}).out;
    int x = -1, y = -1, width = 0, height = 0;
    for (const QByteArray& line : shell.split('\n')) {
        const QList<QByteArray> kv = line.split('=');
        if (kv.size() != 2) continue;
        if (kv[0] == "X") x = kv[1].toInt();
        if (kv[0] == "Y") y = kv[1].toInt();
        if (kv[0] == "WIDTH") width = kv[1].toInt();
        if (kv[0] == "HEIGHT") height = kv[1].toInt();
    }
    return QRect(x, y, width, height);
}

// What the window shows, once its text is drawn: an image of its pixels.
QImage shownPixels(const std::string& window) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot"));
    for (int attempt = 0; attempt < 250; ++attempt) {
        const ToolRun grabbed =
            runTool({"/usr/bin/python3", std::string(OSTRANE_TEST_TOOLS) + "/xgrab.py", window, path.toStdString()});
        if (!grabbed.finished || grabbed.exitCode != 0) return {};
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        const QList<QByteArray> size = file.readLine().trimmed().split(' ');
        const QByteArray pixels = file.readAll();
        const int width = size.value(0).toInt(), height = size.value(1).toInt();
        if (width <= 0 || height <= 0 || pixels.size() < qsizetype(width) * height * 4) return {};
        QImage image(reinterpret_cast<const uchar*>(pixels.constData()), width, height, width * 4, QImage::Format_RGB32);
        // Drawn once the title's dark letters are there.
        int dark = 0;
        for (int y = 0; y < height / 2; ++y)
            for (int x = 0; x < width; ++x) dark += qGray(image.pixel(x, y)) < 80;
        if (dark > 20) return image.copy();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

}  // namespace

// A prompt of any length leaves the dialog on the screen, its field and buttons with it: the
// password typed still reaches standard output.
TEST_F(OstraneProgram, AVeryLongPromptLeavesTheFieldAndButtonsOnTheScreen) {
    std::string words;
    for (int i = 0; i < 10000; ++i) words += "word" + std::to_string(i) + " ";
    std::string lines;
    for (int i = 0; i < 10000; ++i) lines += "line " + std::to_string(i) + "\n";
    const struct {
        const char* name;
        std::string prompt;
    } cases[] = {
        {"one endless word", std::string(100000, 'x')},
        {"endless words", words},
        {"endless lines", lines},
    };
    for (const auto& c : cases) {
        PromptRun prompt;
        QRect shown;
        const PromptResult r = prompt.run({c.prompt}, [&](const std::string& w) {
            shown = windowGeometry(w);
            typeInto(w, "pw");
            pressKey("Return");
        });
        EXPECT_TRUE(QRect(0, 0, 1280, 1024).contains(shown)) << c.name << ": " << shown.x() << "," << shown.y() << " "
                                                             << shown.width() << "x" << shown.height();
        EXPECT_EQ(r.exitCode, 0) << c.name;
        EXPECT_EQ(r.out, "pw") << c.name;
    }
}

// Direction controls in the prompt (a user name holding U+202E) reorder nothing: the dialog shows
// the prompt as it shows one with U+FFFD in their place.
TEST_F(OstraneProgram, DirectionControlsInThePromptReorderNothing) {
    const auto pictureOf = [](const std::string& text) {
        PromptRun prompt;
        QImage picture;
        prompt.run({text}, [&](const std::string& w) {
            picture = shownPixels(w);
            pressKey("Escape");
        });
        return picture;
    };
    const QImage marked = pictureOf("[sudo] password for ab\xEF\xBF\xBD" "cd ef: ");
    ASSERT_FALSE(marked.isNull());
    for (const char* control : {"\xE2\x80\xAE", "\xE2\x81\xA7", "\xE2\x80\x8F"}) {  // U+202E, U+2067, U+200F
        const QImage shown = pictureOf(std::string("[sudo] password for ab") + control + "cd ef: ");
        ASSERT_EQ(shown.size(), marked.size()) << control;
        // The field's caret blinks: pixels may differ in a column a few pixels wide, nowhere else.
        QRect differs;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != marked.pixel(x, y)) differs |= QRect(x, y, 1, 1);
        EXPECT_LE(differs.width(), 3) << "the prompt differs between x " << differs.left() << " and " << differs.right();
        shown.save(QString(OSTRANE_SHOT_FOLDER) + "/ostrane-direction-controls.png");
    }
}

TEST_F(OstraneProgram, OkHandsThePasswordToStandardOutputExactly) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        std::string typed;
    } cases[] = {
        {"blanks and non-ASCII", {"[sudo] password for anna: "}, "pass word \xC3\xBC"},
        {"empty password", {"[sudo] password for anna: "}, ""},
        {"no prompt argument", {}, "hunter2"},
        {"further arguments ignored", {"Password:", "--platform", "offscreen"}, "x y"},
    };
    for (const auto& c : cases) {
        PromptRun prompt;
        const PromptResult r = prompt.run(c.arguments, [&](const std::string& w) {
            typeInto(w, c.typed);
            pressKey("Return");
        });
        EXPECT_EQ(r.title, kEnglishTitle) << c.name;
        EXPECT_TRUE(r.exited) << c.name;
        EXPECT_EQ(r.exitCode, 0) << c.name;
        EXPECT_EQ(r.out, QByteArray::fromStdString(c.typed)) << c.name << ": no line end, nothing else";
        EXPECT_EQ(r.err, "") << c.name;
    }
}

TEST_F(OstraneProgram, CancelAndClosingRefuseWithNothingWritten) {
    const struct {
        const char* name;
        std::function<void(const std::string&)> act;
    } cases[] = {
        {"Escape", [](const std::string&) { pressKey("Escape"); }},
        {"Tab to Cancel and press it", [](const std::string&) { pressKey("Tab"); pressKey("Tab"); pressKey("space"); }},
        {"closed by the window manager", [](const std::string& w) { closeAsWindowManager(w); }},
    };
    for (const auto& c : cases) {
        PromptRun prompt;
        const PromptResult r = prompt.run({"Password:"}, [&](const std::string& w) {
            typeInto(w, "typed");
            c.act(w);
        });
        EXPECT_TRUE(r.exited) << c.name;
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, "") << c.name;
    }
}

TEST_F(OstraneProgram, AnUndeliverablePasswordIsAFailure) {
    const struct {
        const char* name;
        Stdout mode;
        bool readerGone;
        std::string typed;
    } cases[] = {
        {"standard output closed", Stdout::closed, false, "secret"},
        {"standard output closed, empty password", Stdout::closed, false, ""},
        {"nobody reads the pipe", Stdout::pipe, true, "secret"},
    };
    for (const auto& c : cases) {
        PromptRun prompt;
        const PromptResult r = prompt.run({"Password:"}, [&](const std::string& w) {
            typeInto(w, c.typed);
            pressKey("Return");
        }, c.mode, c.readerGone);
        EXPECT_TRUE(r.exited) << c.name << ": a broken pipe must not kill it silently";
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_EQ(r.err, "") << c.name;
    }
}

TEST_F(OstraneProgram, SpeaksTheLanguageOfTheMainProgramOrTheSystem) {
    const struct {
        const char* name;
        QByteArray appleLanguages;  // the main program's choice, empty for none
        std::string lang;           // the system's
        QString table;
        QString title;
    } cases[] = {
        {"pt-BR chosen in the main program", "<string>[\"pt-BR\"]</string>", "C.UTF-8", "pt", "Acesso de Administrador"},
        {"zh-Hant-TW chosen in the main program", "<string>[\"zh-Hant-TW\"]</string>", "C.UTF-8", "zh-Hant", "管理員權限"},
        {"de-CH from the system", "", "de_CH.UTF-8", "de", "Administratorzugriff"},
        {"an unsafe choice is passed over", "<string>[\"../../x\"]</string>", "de_CH.UTF-8", "de", "Administratorzugriff"},
    };
    for (const auto& c : cases) {
        PromptRun prompt;
        ASSERT_TRUE(ostrane_test::writeStringTable(prompt.resources(), c.table,
                                                   {{kEnglishTitle, c.title}, {"OK", "OK"}, {"Cancel", "-"}}));
        if (!c.appleLanguages.isEmpty()) {
            ASSERT_TRUE(ostrane_test::writeSettings(prompt.settingsFile(), "AppleLanguages", c.appleLanguages));
        }
        prompt.setVariable("LANG", c.lang);
        const PromptResult r = prompt.run({"Password:"}, [](const std::string&) { pressKey("Escape"); });
        EXPECT_EQ(r.title, c.title) << c.name;
        EXPECT_EQ(r.exitCode, 1) << c.name;
    }
}

TEST_F(OstraneProgram, CentredOnTheDisplayOfTheMainWindow) {
    PromptRun prompt;
    prompt.setVariable("ZELVANEMAC_WINDOW_FRAME", "100,100,1000,800");
    QRect shown;
    const PromptResult r = prompt.run({"Password:"}, [&](const std::string& w) {
        shown = windowGeometry(w);
        pressKey("Escape");
    });
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_GT(shown.width(), 260);
    EXPECT_NEAR(shown.x(), (1280 - shown.width()) / 2, 1);
    EXPECT_NEAR(shown.y(), (1024 - shown.height()) / 2, 1);
}
