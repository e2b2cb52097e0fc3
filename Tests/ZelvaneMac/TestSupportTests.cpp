#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QStandardItemModel>
#include <filesystem>
#include <fstream>

#include "ModelTester.hpp"
#include "QtTestApp.hpp"
#include "TempFolder.hpp"

using namespace zelvane::testsupport;
namespace fs = std::filesystem;

namespace {

// A table whose cells name the wrong parent: the kind of fault the checker exists for.
class BrokenListModel final : public QStandardItemModel {
public:
    BrokenListModel() : QStandardItemModel(3, 1) {}
    QModelIndex parent(const QModelIndex& child) const override {
        return child.isValid() ? index(0, 0) : QModelIndex();
    }
};

}  // namespace

TEST(TestSupport, ModelTesterPassesASoundModelAndReportsABrokenOne) {
    qtTestApp();
    {
        QStandardItemModel sound(4, 2);
        ModelTester tester(&sound);
        sound.insertRow(1);
        sound.removeRows(0, 2);
        EXPECT_TRUE(tester.complaints().isEmpty());
    }
    BrokenListModel broken;
    EXPECT_NONFATAL_FAILURE({ ModelTester tester(&broken); }, "item model check");
}

TEST(TestSupport, TempFoldersGoWithEverythingInThem) {
    std::string kept;
    {
        TempFolder folder("zelvane-support", "/no/such/base");  // falls back to the temporary folder
        kept = folder.path();
        ASSERT_TRUE(fs::is_directory(kept));
        fs::create_directories(folder / "a/b/c");
        for (const std::string& name : hostileNames()) std::ofstream(folder / ("a/" + name)) << "x";
        fs::create_symlink("/", folder / "a/to-root");
        fs::create_symlink(folder / "a", folder / "a/b/loop");
        ASSERT_EQ(::chmod((folder / "a/b").c_str(), 0), 0);  // a folder nobody may enter
        EXPECT_EQ(std::distance(fs::directory_iterator(folder / "a"), fs::directory_iterator()),
                  std::ptrdiff_t(hostileNames().size() + 2));
    }
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_TRUE(fs::exists("/"));
    EXPECT_EQ(runInChild([] { return 7; }), 7);
    EXPECT_EQ(runUnprivileged([] { return ::geteuid() == 0 ? 1 : 0; }), 0);
}
