#include <gtest/gtest.h>

#include "ZelvaneMac/Core/FileTypes/FileTypesCSVExporter.hpp"

using namespace zelvane;

namespace {

TEST(FileTypeDescription, KnownUnknownAndEmptyExtensions) {
    EXPECT_EQ(fileTypeDescription(""), "(No Extension)");
    // Types the MIME database knows are described by it, not by the fallback.
    for (const char* ext : {"png", "pdf", "txt", "mp4", "zip"}) {
        const QString d = fileTypeDescription(ext);
        EXPECT_FALSE(d.isEmpty()) << ext;
        EXPECT_NE(d, QString(ext).toUpper() + " File") << ext;
    }
    EXPECT_EQ(fileTypeDescription("xyzzy"), "XYZZY File");
    // Full upper-case mapping, the same in every locale.
    EXPECT_EQ(fileTypeDescription(QString::fromUtf8("stra\xc3\x9f" "e9")), "STRASSE9 File");
    EXPECT_EQ(fileTypeDescription("qqqi"), "QQQI File");
    EXPECT_EQ(fileTypeDescription("a\"b"), "A\"B File");
}

}  // namespace

#include "TestTrees.hpp"

#include <QLocale>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string readAll(const std::filesystem::path& p) { return zelvane::testsupport::readFile(p); }

const std::string kHeader = "Extension,File Type,Percent,Size,Allocated,Files\n";

TEST(FileTypesCSVText, RowsQuotingAndPercentBasis) {
    EXPECT_EQ(fileTypesCSVText({}, false), kHeader);

    const std::vector<ExtensionStats> rows = {
        {"", 1000, 4096, 2},
        {"q\"q", 3000, 0, 1},
        {"xyzzy", 4000, 12288, 5},
    };
    // Shares of the sizes although the flag's other sum would give different numbers.
    EXPECT_EQ(fileTypesCSVText(rows, false), kHeader +
                                                 "\"\",\"(No Extension)\",12.500,1000,4096,2\n"
                                                 "\"q\"\"q\",\"Q\"\"Q File\",37.500,3000,0,1\n"
                                                 "\"xyzzy\",\"XYZZY File\",50.000,4000,12288,5\n");
    EXPECT_EQ(fileTypesCSVText(rows, true), kHeader +
                                                "\"\",\"(No Extension)\",25.000,1000,4096,2\n"
                                                "\"q\"\"q\",\"Q\"\"Q File\",0.000,3000,0,1\n"
                                                "\"xyzzy\",\"XYZZY File\",75.000,4000,12288,5\n");
    // A sum below 1 gives 0 for every row; negative sizes stay signed.
    EXPECT_EQ(fileTypesCSVText(std::vector<ExtensionStats>{{"qqa", 0, -5, 0}}, true), kHeader + "\"qqa\",\"QQA File\",0.000,0,-5,0\n");
    // Sums that would overflow 64 bits saturate instead of wrapping into negative shares.
    const auto big = fileTypesCSVText(std::vector<ExtensionStats>{{"qqa", INT64_MAX, 0, 1}, {"qqb", INT64_MAX, 0, 1}}, false);
    EXPECT_NE(big.find("\"qqa\",\"QQA File\",100.000,"), std::string::npos) << big;
}

TEST(FileTypesCSVText, DecimalPointWhateverTheLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const std::string text = fileTypesCSVText(std::vector<ExtensionStats>{{"qqa", 1, 0, 1}, {"qqb", 2, 0, 1}}, false);
    QLocale::setDefault(saved);
    EXPECT_NE(text.find(",33.333,"), std::string::npos) << text;
    EXPECT_NE(text.find(",66.667,"), std::string::npos) << text;
}

TEST(FileTypesCSVExport, WritesReplacesAndReportsFailures) {
    fixtures::TempDir dir;
    const std::string path = (dir / "types.csv").string();
    {
        std::ofstream old(path);
        old << "an older and much longer file that must not leave a tail behind\n";
    }
    ASSERT_FALSE(exportFileTypesToCSV(std::vector<ExtensionStats>{{"qqa", 2, 4, 1}}, false, path));
    EXPECT_EQ(readAll(path), kHeader + "\"qqa\",\"QQA File\",100.000,2,4,1\n");

    // A missing folder or a folder in the way is a failure with the reason, and leaves no file.
    const auto missing = exportFileTypesToCSV({}, false, (dir / "no/such/types.csv").string());
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->underlyingErrno, ENOENT);
    std::filesystem::create_directory(dir / "taken");
    const auto taken = exportFileTypesToCSV({}, false, (dir / "taken").string());
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->underlyingErrno, EISDIR);
    // Only the written file and the folder are left: no temporary files behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 2);
}

}  // namespace
