// Chunks are written on a thread of their own: this program also runs under ThreadSanitizer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <thread>

#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "CSVTestSupport.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using namespace zelvane::testing;

namespace {

const CSVExportOptions kEverything = everyColumn(false, true);

const CSVExportOptions kBase{.exportFiles = true,
                             .exportFolders = true,
                             .exportFileID = false,
                             .exportDates = false,
                             .exportFolderSizes = false,
                             .splitFilename = false,
                             .exportDriveCapacity = false,
                             .exportPercentOfParent = false,
                             .maxDepth = 0,
                             .useTabDelimiter = false,
                             .useUTC = true};

// /Users/a/ holding b.txt (1 byte), sub/c (a hard link of 2 bytes) and an empty file whose name
// holds a double quote and a comma.
struct SampleTree {
    testsupport::TreeBuilder tree;
    FileNode* root;
    FileNode* b;
    FileNode* sub;
    FileNode* c;
    FileNode* q;

    SampleTree() {
        root = tree.root("/Users/a", packedUTC(2024, 3, 5, 7, 8, 9));
        root->fileID = 10;
        b = tree.file(root, "b.txt", 1, 4096, packedUTC(2023, 12, 31, 23, 59, 59));
        b->fileID = 11;
        b->dosAttributes = 3;
        sub = tree.folder(root, "sub", packedUTC(2020, 1, 2, 3, 4, 5));
        sub->fileID = 12;
        c = tree.file(sub, "c", 2, 4096, packedUTC(2020, 1, 2, 3, 4, 5));
        c->fileID = 13;
        c->setDoNotCountAllocated(true);
        c->setLastAccessDate(referenceSecondsFromUnix(86400.0));
        c->setCreatedDate(referenceSecondsFromUnix(2 * 86400.0));
        q = tree.file(root, "q\"x,y.TXT", 0, 0, kPackedUnixEpoch);
        q->fileID = 14;
        root->aggregateSizes();
    }
};

VolumeCapacity capacity500(const FileNode&) { return {500, 200}; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        out.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    return out;
}

std::string firstColumn(const std::string& line) { return line.substr(0, line.find("\",") + 1); }

}  // namespace

TEST(CSVExport, WritesEveryColumnGroupInItsFixedOrder) {
    SampleTree t;
    TempDir dir;
    std::vector<FileNode*> roots{t.root};
    ASSERT_FALSE(exportToCSV(roots, kEverything, false, capacity500, dir / "out.csv"));
    const std::string expected =
        "File Name,Size,Allocated,Modified,Attributes,Files,Folders,FILEID,PARENTFILEID,LASTACCESSDATE,CREATEDDATE,"
        "FOLDERSIZE,FOLDERALLOCATED,ROOT,FOLDERNAME,FILENAME,FILEEXT,PERCENTOFPARENT,DRIVECAPACITY,FREESPACE,"
        "USEDSPACE,RESERVEDSPACE\n"
        "\"/Users/a/\",3,4096,2024/03/05 07:08:09,0,3,1,10,0,1970/01/01 00:00:00,1970/01/01 00:00:00,1,4096,"
        "\"\",\"\",\"/Users/a\",\"\",100.000,500,200,300,0\n"
        "\"/Users/a/b.txt\",1,4096,2023/12/31 23:59:59,3,0,0,11,10,1970/01/01 00:00:00,1970/01/01 00:00:00,1,4096,"
        "\"\",\"/Users/a\",\"b\",\"txt\",33.333,,,,\n"
        "\"/Users/a/sub/\",2,0,2020/01/02 03:04:05,0,1,0,12,10,1970/01/01 00:00:00,1970/01/01 00:00:00,2,0,"
        "\"\",\"/Users/a\",\"sub\",\"\",66.667,,,,\n"
        "\"/Users/a/sub/c\",2,04096,2020/01/02 03:04:05,0,0,0,13,12,1970/01/02 00:00:00,1970/01/03 00:00:00,2,4096,"
        "\"\",\"/Users/a/sub\",\"c\",\"\",100.000,,,,\n"
        "\"/Users/a/q\"\"x,y.TXT\",0,0,1970/01/01 00:00:00,0,0,0,14,10,1970/01/01 00:00:00,1970/01/01 00:00:00,0,0,"
        "\"\",\"/Users/a\",\"q\"\"x,y\",\"txt\",0.000,,,,\n";
    EXPECT_EQ(readFile(dir / "out.csv"), expected);
}

TEST(CSVExport, HeaderOnlyForNoRootsAndBaseColumnsWithoutOptions) {
    TempDir dir;
    ASSERT_FALSE(exportToCSV(std::span<FileNode* const>(), kBase, false, {}, dir / "e.csv"));
    EXPECT_EQ(readFile(dir / "e.csv"), "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n");
    CSVExportOptions tabs = kEverything;
    tabs.useTabDelimiter = true;
    EXPECT_EQ(headerLine(tabs, '\t').find(','), std::string::npos);
    EXPECT_EQ(headerLine(tabs, '\t').substr(0, 15), "File Name\tSize\t");
}

TEST(CSVExport, RowSelectionDepthAndFlatLists) {
    SampleTree t;
    TempDir dir;
    struct Case {
        const char* what;
        bool files, folders, flat;
        int maxDepth;
        std::vector<FileNode*> given;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"whole tree", true, true, false, 0, {t.root},
         {"\"/Users/a/\"", "\"/Users/a/b.txt\"", "\"/Users/a/sub/\"", "\"/Users/a/sub/c\"", "\"/Users/a/q\"\"x,y.TXT\""}},
        {"negative depth is no limit", true, true, false, -3, {t.root},
         {"\"/Users/a/\"", "\"/Users/a/b.txt\"", "\"/Users/a/sub/\"", "\"/Users/a/sub/c\"", "\"/Users/a/q\"\"x,y.TXT\""}},
        {"files only still walks subfolders", true, false, false, 0, {t.root},
         {"\"/Users/a/b.txt\"", "\"/Users/a/sub/c\"", "\"/Users/a/q\"\"x,y.TXT\""}},
        {"folders only", false, true, false, 0, {t.root}, {"\"/Users/a/\"", "\"/Users/a/sub/\""}},
        {"depth 1: roots and children", true, true, false, 1, {t.root},
         {"\"/Users/a/\"", "\"/Users/a/b.txt\"", "\"/Users/a/sub/\"", "\"/Users/a/q\"\"x,y.TXT\""}},
        {"a selection keeps full paths", true, true, false, 0, {t.sub, t.b},
         {"\"/Users/a/sub/\"", "\"/Users/a/sub/c\"", "\"/Users/a/b.txt\""}},
        {"flat: a folder stands alone", true, true, true, 0, {t.sub, t.c}, {"\"/Users/a/sub/\"", "\"/Users/a/sub/c\""}},
    };
    for (const Case& c : cases) {
        CSVExportOptions o = kBase;
        o.exportFiles = c.files;
        o.exportFolders = c.folders;
        o.maxDepth = c.maxDepth;
        ASSERT_FALSE(exportToCSV(c.given, o, c.flat, {}, dir / "s.csv")) << c.what;
        auto rows = lines(readFile(dir / "s.csv"));
        std::vector<std::string> got;
        for (size_t i = 1; i < rows.size(); ++i) got.push_back(firstColumn(rows[i]));
        EXPECT_EQ(got, c.names) << c.what;
    }
}

// Items marked deleted (gone on disk, or removed by a file action) are out of their folders'
// totals; the file leaves them out too, wherever they are given, so that its rows add up.
TEST(CSVExport, DeletedItemsAreLeftOutAsTheTotalsLeaveThemOut) {
    SampleTree t;
    for (FileNode* gone : {t.b, t.sub}) {
        gone->flagDeletedRecursively();
        gone->subtractContributionFromAncestors();
    }
    TempDir dir;
    CSVExportOptions o = kBase;
    o.exportFolderSizes = true;
    struct Case {
        const char* what;
        bool flat;
        std::vector<FileNode*> given;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {"whole tree", false, {t.root}, {"\"/Users/a/\",0,0,", "\"/Users/a/q\"\"x,y.TXT\",0,0,"}},
        {"a selection of deleted and live items", false, {t.sub, t.c, t.q}, {"\"/Users/a/q\"\"x,y.TXT\",0,0,"}},
        {"a flat list", true, {t.b, t.c, t.q}, {"\"/Users/a/q\"\"x,y.TXT\",0,0,"}},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(exportToCSV(c.given, o, c.flat, {}, dir / "d.csv")) << c.what;
        const auto written = lines(readFile(dir / "d.csv"));
        ASSERT_EQ(written.size(), c.rows.size() + 1) << c.what << "\n" << readFile(dir / "d.csv");
        for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(written[i + 1].rfind(c.rows[i], 0), 0u) << c.what << ": " << written[i + 1];
    }
    // The root's own figures: one file of 0 bytes left, and its files' sizes (FOLDERSIZE) without b.txt.
    ASSERT_FALSE(exportToCSV(std::vector<FileNode*>{t.root}, o, false, {}, dir / "d.csv"));
    EXPECT_EQ(lines(readFile(dir / "d.csv"))[1].substr(lines(readFile(dir / "d.csv"))[1].find("\",") + 2),
              "0,0,2024/03/05 07:08:09,0,1,0,0,0");
}

TEST(CSVExport, RootSlashSeparatorsAndTabsInNames) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/");
    FileNode* users = t.folder(root, "Users");
    t.file(users, "x\ty", 7, 8);
    FileNode* slashRoot = t.root("/Volumes/X/");
    t.file(slashRoot, "b", 1);
    root->aggregateSizes();
    slashRoot->aggregateSizes();

    TempDir dir;
    CSVExportOptions o = kEverything;
    o.useTabDelimiter = true;
    o.exportDriveCapacity = false;
    std::vector<FileNode*> roots{root, slashRoot};
    ASSERT_FALSE(exportToCSV(roots, o, false, {}, dir / "t.tsv"));
    auto rows = lines(readFile(dir / "t.tsv"));
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[1].substr(0, 4), "\"/\"\t");
    EXPECT_EQ(rows[2].substr(0, 10), "\"/Users/\"\t");
    // A TAB inside a name stays inside the quotes; FOLDERNAME of a child of "/" is "/".
    EXPECT_EQ(rows[3], "\"/Users/x\ty\"\t7\t8\t2001/01/01 00:00:00\t0\t0\t0\t0\t0\t1970/01/01 00:00:00\t"
                       "1970/01/01 00:00:00\t7\t8\t\"\"\t\"/Users\"\t\"x\ty\"\t\"\"\t100.000");
    EXPECT_EQ(rows[4].substr(0, 15), "\"/Volumes/X/\"\t1");
    EXPECT_EQ(rows[5].substr(0, 15), "\"/Volumes/X/b\"\t");
    EXPECT_NE(rows[5].find("\t\"/Volumes/X\"\t\"b\"\t"), std::string::npos);
}

TEST(CSVExport, InvalidUTF8NamesAreWrittenAsTheirBytes) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/d");
    t.file(root, "caf\xE9.\xC9XT", 1);
    t.file(root, "Photo.JPG", 1);
    t.file(root, "Ärger.ÄB", 1);
    TempDir dir;
    std::vector<FileNode*> roots{root};
    ASSERT_FALSE(exportToCSV(roots, kEverything, false, {}, dir / "b.csv"));
    auto rows = lines(readFile(dir / "b.csv"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(firstColumn(rows[2]), "\"/d/caf\xE9.\xC9XT\"");
    EXPECT_NE(rows[2].find(",\"caf\xE9\",\"\xEF\xBF\xBDxt\","), std::string::npos) << rows[2];
    EXPECT_NE(rows[3].find(",\"Photo\",\"jpg\","), std::string::npos);
    EXPECT_NE(rows[4].find(",\"Ärger\",\"äb\","), std::string::npos);
}

TEST(CSVExport, DatesInUTCAndInTheLocalZone) {
    useTestTimeZone();
    const DateSeconds winter = referenceSecondsFromUnix(1709622489.0);  // 2024-03-05 07:08:09 UTC
    const DateSeconds summer = referenceSecondsFromUnix(1719817200.0);  // 2024-07-01 07:00:00 UTC
    const DateSeconds unset = unpackDate(kPackedUnixEpoch);
    EXPECT_EQ(formatCSVDate(winter, true), "2024/03/05 07:08:09");
    EXPECT_EQ(formatCSVDate(winter, false), "2024/03/05 08:08:09");
    EXPECT_EQ(formatCSVDate(summer, false), "2024/07/01 09:00:00");
    EXPECT_EQ(formatCSVDate(unset, true), "1970/01/01 00:00:00");
    EXPECT_EQ(formatCSVDate(unset, false), "1970/01/01 01:00:00");
    // Whole seconds toward zero, before and after 1970.
    EXPECT_EQ(formatCSVDate(winter + 0.9, true), "2024/03/05 07:08:09");
    EXPECT_EQ(formatCSVDate(referenceSecondsFromUnix(-0.5), true), "1970/01/01 00:00:00");
    EXPECT_EQ(formatCSVDate(referenceSecondsFromUnix(-1.0), true), "1969/12/31 23:59:59");
    // The hour after the autumn change: the same wall time as the hour before, another offset.
    EXPECT_EQ(formatCSVDate(referenceSecondsFromUnix(1729987200.0), false), "2024/10/27 02:00:00");
    EXPECT_EQ(formatCSVDate(referenceSecondsFromUnix(1729990800.0), false), "2024/10/27 02:00:00");
}

TEST(CSVExport, PercentOfParentIgnoresTheLocale) {
    SampleTree t;
    EXPECT_EQ(percentOfParentString(*t.root), "100.000");
    EXPECT_EQ(percentOfParentString(*t.b), "33.333");
    EXPECT_EQ(percentOfParentString(*t.sub), "66.667");
    testsupport::TreeBuilder empty;
    FileNode* zero = empty.file(empty.root("/e"), "z", 0);
    EXPECT_EQ(percentOfParentString(*zero), "0.000");
    if (std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        EXPECT_EQ(percentOfParentString(*t.b), "33.333");
        std::setlocale(LC_ALL, "C");
    }
}

TEST(CSVExport, NoRowKindCreatesNothing) {
    SampleTree t;
    TempDir dir;
    CSVExportOptions o = kBase;
    o.exportFiles = o.exportFolders = false;
    std::vector<FileNode*> roots{t.root};
    auto err = exportToCSV(roots, o, false, {}, dir / "none.csv");
    ASSERT_TRUE(err);
    EXPECT_EQ(err->kind, CSVExportError::Kind::noFilesOrFoldersSelected);
    EXPECT_TRUE(listFolder(dir.path()).empty());
}

TEST(CSVExport, ReplacesAnExistingFileWhole) {
    SampleTree t;
    TempDir dir;
    writeFile(dir / "old.csv", std::string(100000, 'x'));
    std::vector<FileNode*> roots{t.sub};
    ASSERT_FALSE(exportToCSV(roots, kBase, false, {}, dir / "old.csv"));
    EXPECT_EQ(readFile(dir / "old.csv"),
              "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n"
              "\"/Users/a/sub/\",2,0,2020/01/02 03:04:05,0,1,0\n"
              "\"/Users/a/sub/c\",2,04096,2020/01/02 03:04:05,0,0,0\n");
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"old.csv"});
    struct stat st {};
    ASSERT_EQ(stat((dir / "old.csv").c_str(), &st), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);
}

TEST(CSVExport, UncreatableTargetsAreReported) {
    SampleTree t;
    TempDir dir;
    std::vector<FileNode*> roots{t.root};
    auto missing = exportToCSV(roots, kBase, false, {}, dir / "no/such/folder.csv");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->kind, CSVExportError::Kind::couldNotCreateFile);
    EXPECT_EQ(missing->underlyingErrno, ENOENT);

    mkdir((dir / "isdir").c_str(), 0755);
    auto isDir = exportToCSV(roots, kBase, false, {}, dir / "isdir");
    ASSERT_TRUE(isDir);
    EXPECT_EQ(isDir->kind, CSVExportError::Kind::couldNotCreateFile);
    EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"isdir"}) << "the temporary file is removed";

    // A folder the user may not write to (as root, a child drops its privileges first).
    mkdir((dir / "locked").c_str(), 0555);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && setresuid(65534, 65534, 65534) != 0) _exit(3);
        auto err = exportToCSV(roots, kBase, false, {}, dir / "locked/x.csv");
        _exit(err && err->kind == CSVExportError::Kind::couldNotCreateFile && err->underlyingErrno == EACCES ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(listFolder(dir / "locked").empty());
}

// A file-size limit makes the disk look full part-way through: the export must say so, keep the
// earlier file and leave no partial file behind.
TEST(CSVExport, AFullDiskIsAFailureAndKeepsTheEarlierFile) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/big");
    for (int i = 0; i < 60000; ++i) t.file(root, "file-" + std::to_string(i), i);
    root->aggregateSizes();
    TempDir dir;
    writeFile(dir / "keep.csv", "earlier export\n");

    for (rlim_t limit : {rlim_t(100000), rlim_t(1048576 + 1000)}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit rl {limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(3);
            std::vector<FileNode*> roots{root};
            auto err = exportToCSV(roots, kEverything, false, {}, dir / "keep.csv");
            if (!err) _exit(1);
            _exit(err->kind == CSVExportError::Kind::couldNotCreateFile && err->underlyingErrno == EFBIG ? 0 : 2);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "limit " << limit << " status " << status;
        EXPECT_EQ(readFile(dir / "keep.csv"), "earlier export\n");
        EXPECT_EQ(listFolder(dir.path()), std::vector<std::string>{"keep.csv"});
    }
}

TEST(CSVExport, DriveCapacityOnlyOnRootsThatKnowIt) {
    SampleTree t;
    TempDir dir;
    std::vector<FileNode*> roots{t.root, t.sub};
    auto ask = [&](const FileNode& n) -> VolumeCapacity {
        EXPECT_TRUE(n.isRoot()) << "asked about a node with a parent";
        return {1000, std::nullopt};  // half known is not known
    };
    ASSERT_FALSE(exportToCSV(roots, kEverything, false, ask, dir / "d.csv"));
    for (const std::string& row : lines(readFile(dir / "d.csv"))) {
        if (row[0] == '"') {
            EXPECT_EQ(row.substr(row.size() - 4), ",,,,") << row;
        }
    }
}

TEST(CSVExport, LinksPipesAndPermissionsOfTheTarget) {
    SampleTree t;
    TempDir dir;
    std::vector<FileNode*> roots{t.c};
    const std::string expected =
        "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n\"/Users/a/sub/c\",2,04096,2020/01/02 03:04:05,0,0,0\n";

    // Through a symbolic link the linked file is replaced (keeping its permissions); the link stays.
    mkdir((dir / "real").c_str(), 0755);
    writeFile(dir / "real/data.csv", "old");
    chmod((dir / "real/data.csv").c_str(), 0640);
    symlink("real/data.csv", (dir / "link.csv").c_str());
    ASSERT_FALSE(exportToCSV(roots, kBase, false, {}, dir / "link.csv"));
    struct stat st {};
    ASSERT_EQ(lstat((dir / "link.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(dir / "real/data.csv"), expected);
    ASSERT_EQ(stat((dir / "real/data.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(listFolder(dir / "real"), std::vector<std::string>{"data.csv"});

    // A pipe is written in place, never replaced by a regular file.
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = readFile(dir / "pipe"); });
    auto err = exportToCSV(roots, kBase, false, {}, dir / "pipe");
    reader.join();
    EXPECT_FALSE(err);
    EXPECT_EQ(received, expected);
    ASSERT_EQ(lstat((dir / "pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
