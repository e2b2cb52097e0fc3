// The decode runs on several threads and reports progress from them: this program also runs under
// ThreadSanitizer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <tuple>

#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "ScanEngine/Interchange/CSVLineReader.hpp"
#include "CSVTestSupport.hpp"

using namespace zelvane;
using namespace zelvane::testing;

namespace {

const std::string kHeader = "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";

// One line per node, pre-order: path, kind, effective sizes (* when counted elsewhere), counts.
std::vector<std::string> dump(const std::vector<RootRef>& roots) {
    std::vector<std::string> out;
    std::vector<const FileNode*> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
        const FileNode* n = stack.back();
        stack.pop_back();
        std::string line = n->fullPath();
        line.append(n->isDir() ? " D " : " F ");
        line.append(std::to_string(n->effectiveSize()));
        line.push_back(' ');
        line.append(std::to_string(n->effectiveAllocSize()));
        if (n->doNotCountAllocated()) line.push_back('*');
        if (n->isDir()) {
            line.push_back(' ');
            line.append(std::to_string(n->subFolderFileCount()));
            line.push_back('/');
            line.append(std::to_string(n->subFolderDirCount()));
        }
        out.push_back(line);
        auto kids = n->children();
        for (auto k = kids.rbegin(); k != kids.rend(); ++k) stack.push_back(*k);
    }
    return out;
}

CSVImportOutcome importText(const std::string& text, const std::string& fileName = "in.csv") {
    TempDir dir;
    writeFile(dir / fileName, text);
    return importFromCSV(dir / fileName);
}

const FileNode* find(const std::vector<RootRef>& roots, const std::string& path) {
    for (const RootRef& r : roots) {
        std::vector<const FileNode*> stack{r.get()};
        while (!stack.empty()) {
            const FileNode* n = stack.back();
            stack.pop_back();
            if (n->fullPath() == path) return n;
            for (const FileNode* k : n->children()) stack.push_back(k);
        }
    }
    return nullptr;
}

}  // namespace

TEST(CSVImport, ReadsTheShapesItMustAccept) {
    useTestTimeZone();
    const std::string d = "2024/03/05 07:08:09";
    struct Case {
        const char* what;
        std::string fileName;
        std::string text;
        std::vector<std::string> tree;
    };
    const std::vector<Case> cases = {
        {"plain export", "a.csv",
         kHeader + "\"/a/\",0,0," + d + ",0,1,0\n\"/a/b.txt\",5,4096," + d + ",0,0,0\n",
         {"/ D 5 4096 1/1", "/a D 5 4096 1/0", "/a/b.txt F 5 4096"}},
        {"byte-order mark, CRLF, no final line end", "a.csv",
         "\xEF\xBB\xBF" + std::string("File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n") +
             "\"/a/\",0,0," + d + ",0,1,0\r\n\"/a/b.txt\",5,4096," + d + ",0,0,0",
         {"/ D 5 4096 1/1", "/a D 5 4096 1/0", "/a/b.txt F 5 4096"}},
        {"no header: the first line is lost", "a.csv",
         "\"/a/x\",1,1," + d + ",0,0,0\n\"/a/y\",2,2," + d + ",0,0,0\n",
         {"/ D 2 2 1/1", "/a D 2 2 1/0", "/a/y F 2 2"}},
        {"header on line 3", "a.csv",
         "Exported listing\n\n" + kHeader + "\"/a/y\",2,2," + d + ",0,0,0\n",
         {"/ D 2 2 1/1", "/a D 2 2 1/0", "/a/y F 2 2"}},
        {"drive letter and backslashes", "a.csv",
         kHeader + "\"C:\\dir\\f.txt\",3,4," + d + ",0,0,0\n\"C:\\dir\\g.\",1,1," + d + ",0,0,0\n",
         {"C: D 4 5 2/1", "C:/dir D 4 5 2/0", "C:/dir/f.txt F 3 4", "C:/dir/g F 1 1"}},
        {"doubled quotes, doubled slashes", "a.csv",
         kHeader + "\"/a//say \"\"hi\"\"\",1,1," + d + ",0,0,0\n",
         {"/ D 1 1 1/1", "/a D 1 1 1/0", "/a/say \"hi\" F 1 1"}},
        {"backslash and trailing dot are name characters of a / path", "a.csv",
         kHeader + "\"/a/x\\y\",1,1," + d + ",0,0,0\n\"/a/b.\",2,2," + d + ",0,0,0\n\"/a/...\",3,3," + d + ",0,0,0\n",
         {"/ D 6 6 3/1", "/a D 6 6 3/0", "/a/x\\y F 1 1", "/a/b. F 2 2", "/a/... F 3 3"}},
        {"folder rows only keep their numbers", "a.csv",
         kHeader + "\"/\",10,20," + d + ",0,3,4\n\"/x/\",1,2," + d + ",0,5,6\n",
         {"/ D 10 20 3/4", "/x D 1 2 5/6"}},
        {"folders made up above folder rows hold what those hold", "a.csv",
         kHeader + "\"/a/b/\",10,20," + d + ",0,3,4\n\"/a/c/\",1,2," + d + ",0,5,6\n",
         {"/ D 11 22 8/13", "/a D 11 22 8/12", "/a/b D 10 20 3/4", "/a/c D 1 2 5/6"}},
        {"one file row recomputes every folder", "a.csv",
         kHeader + "\"/\",10,20," + d + ",0,3,4\n\"/x/\",1,2," + d + ",0,5,6\n\"/x/f\",7,8," + d + ",0,0,0\n",
         {"/ D 7 8 1/1", "/x D 7 8 1/0", "/x/f F 7 8"}},
        {"a later row fills a folder made as an ancestor", "a.csv",
         kHeader + "\"/p/q/f\",1,1,2024/01/01 00:00:00,0,0,0\n\"/p/\",0,0,2024/01/01 00:00:00,0,0,0\n\"/p/g\",2,2,2024/01/01 00:00:00,0,0,0\n",
         {"/ D 3 3 2/2", "/p D 3 3 2/1", "/p/q D 1 1 1/0", "/p/q/f F 1 1", "/p/g F 2 2"}},
        {"TSV chosen by the extension in capitals", "DATA.TSV",
         "File Name\tSize\tAllocated\tModified\tAttributes\tFiles\tFolders\n\"/a/t,u\"\t5\t6\t" + d + "\t0\t0\t0\n",
         {"/ D 5 6 1/1", "/a D 5 6 1/0", "/a/t,u F 5 6"}},
        {"relative paths and two roots in order of appearance", "a.csv",
         kHeader + "\"rel/f\",1,1,2024/01/01 00:00:00,0,0,0\n\"/abs\",2,2,2024/01/01 00:00:00,0,0,0\n\"rel/g\",3,3,2024/01/01 00:00:00,0,0,0\n",
         {"rel D 4 4 2/0", "rel/f F 1 1", "rel/g F 3 3", "/ D 2 2 1/0", "/abs F 2 2"}},
    };
    for (const Case& c : cases) {
        auto outcome = importText(c.text, c.fileName);
        ASSERT_FALSE(outcome.error) << c.what;
        EXPECT_FALSE(outcome.result.wasCancelled);
        EXPECT_EQ(dump(outcome.result.roots), c.tree) << c.what;
        EXPECT_EQ(outcome.result.rowsLeftOut, 0) << c.what;
        EXPECT_FALSE(outcome.result.endedInsideRow) << c.what;
    }
}

// A row is only taken when every field it is read from reads as what it holds: a size, a date,
// attributes or a count that does not is no row (a file of 0 bytes dated 1970 would be made up),
// and neither is a line cut short. The import says how many lines it left out, and whether the
// file ended inside a row.
TEST(CSVImport, RowsWhoseFieldsDoNotReadAreLeftOutAndCounted) {
    useTestTimeZone();
    const std::string d = "2024/03/05 07:08:09";
    const std::string good = "\"/a/good\",5,8," + d + ",0,0,0\n";
    const std::string after = "\"/a/after\",1,2," + d + ",0,0,0\n";
    struct Case {
        const char* what;
        std::string rows;
    };
    const std::vector<Case> leftOut = {
        {"letters for a size", "\"/a/x\",12x,8," + d + ",0,0,0\n"},
        {"a size below zero", "\"/a/x\",-5,8," + d + ",0,0,0\n"},
        {"an empty allocated field", "\"/a/x\",5,," + d + ",0,0,0\n"},
        {"a date of letters", "\"/a/x\",5,8,soon,0,0,0\n"},
        {"an empty date", "\"/a/x\",5,8,,0,0,0\n"},
        {"a date no clock shows", "\"/a/x\",5,8,2026/13/45 99:99:99,0,0,0\n"},
        {"attributes out of range", "\"/a/x\",5,8," + d + ",70000,0,0\n"},
        {"a count of letters", "\"/a/x/\",5,8," + d + ",0,two,0\n"},
        {"counts missing", "\"/a/x/\",5,8," + d + ",0\n"},
        {"a path alone", "\"/a/x\"\n"},
        {"no delimiter after the path", "\"/a/x\"5,8," + d + ",0,0,0\n"},
        {"a path that never closes", "\"/a/x,5,8," + d + ",0,0,0\n"},
        {"a line that is no row at all", "x\xff\xfe\x01garbage,1,2\n"},
    };
    for (const Case& c : leftOut) {
        const auto outcome = importText(kHeader + good + c.rows + after);
        ASSERT_FALSE(outcome.error) << c.what;
        EXPECT_EQ(dump(outcome.result.roots), (std::vector<std::string>{"/ D 6 10 2/1", "/a D 6 10 2/0", "/a/good F 5 8",
                                                                        "/a/after F 1 2"}))
            << c.what;
        EXPECT_EQ(outcome.result.rowsLeftOut, 1) << c.what;
        EXPECT_FALSE(outcome.result.endedInsideRow) << c.what;
    }

    // Cut inside its last row, in a field or in the quoted path; a last line without its line end
    // that is a whole row is no cut.
    for (const std::string& cut : {std::string("\"/a/cut\",5,8,2024/0"), std::string("\"/a/cut\",5"),
                                   std::string("\"/a/cu"), std::string("\"/a/cut/\",5,8,") + d + ",0,3"}) {
        const auto outcome = importText(kHeader + good + cut);
        ASSERT_FALSE(outcome.error) << cut;
        EXPECT_EQ(outcome.result.rowsLeftOut, 1) << cut;
        EXPECT_TRUE(outcome.result.endedInsideRow) << cut;
        EXPECT_EQ(find(outcome.result.roots, "/a/cut"), nullptr) << cut;
    }
    const auto whole = importText(kHeader + good + "\"/a/last\",1,1," + d + ",0,0,0");
    ASSERT_FALSE(whole.error);
    EXPECT_EQ(whole.result.rowsLeftOut, 0);
    EXPECT_FALSE(whole.result.endedInsideRow);
    EXPECT_NE(find(whole.result.roots, "/a/last"), nullptr);

    // Empty lines and a header found after free text are no rows to count.
    const auto spaced = importText("Exported listing\n\n" + kHeader + good + "\n\n" + after);
    ASSERT_FALSE(spaced.error);
    EXPECT_EQ(spaced.result.rowsLeftOut, 0);
}

// Bytes that only here and there look like a row, or no row at all: nothing is imported, and
// the reason is that no row was found.
TEST(CSVImport, AFileWithoutARowThatReadsIsRefused) {
    const std::string noise = testsupport::noiseBytes(3 << 20);
    // Rows of names in quotes with fields that are no sizes and dates: what random bytes imported as.
    std::string quoted = kHeader;
    for (int i = 0; i < 1000; ++i) quoted += "\"/r/n" + std::to_string(i) + "\",ab,cd,ef,gh\n";
    const std::string tabs = "File Name\tSize\tAllocated\tModified\tAttributes\tFiles\tFolders\n\"/a/t\"\t5\t6\t"
                             "2024/03/05 07:08:09\t0\t0\t0\n";
    for (const auto& [what, text, name] : {std::tuple{"random bytes", noise, "noise.csv"},
                                           std::tuple{"fields that do not read", quoted, "quoted.csv"},
                                           std::tuple{"tab-separated text named csv", tabs, "tabs.csv"}}) {
        const auto outcome = importText(text, name);
        ASSERT_TRUE(outcome.error) << what;
        EXPECT_EQ(outcome.error->kind, CSVImportError::Kind::noValidRowsFound) << what;
    }
}

TEST(CSVImport, RowFieldsAndFlags) {
    useTestTimeZone();
    auto outcome = importText(kHeader +
                              "\"/f/\",10,04096,2024/03/05 07:08:09,18,0,0\n"
                              "\"/f/h\",1,04096,2024-07-01T09:00:00,3,9,9\n"
                              "\"/f/z\",1,00,2024/03/05 07:08:09,0,0,0\n"
                              "\"/f/k\",1,0,2024/03/05 07:08:09,1,0,0\n"
                              "\"/d/\",0,0,2024/01/01 00:00:00,0,0,0\n"
                              "\"/d\",5,04096,2024/01/01 00:00:00,0,0,0\n");
    ASSERT_FALSE(outcome.error);
    const auto& roots = outcome.result.roots;
    const FileNode* f = find(roots, "/f");
    const FileNode* h = find(roots, "/f/h");
    const FileNode* z = find(roots, "/f/z");
    const FileNode* k = find(roots, "/f/k");
    const FileNode* d = find(roots, "/d");
    ASSERT_TRUE(f && h && z && k && d);
    // A "0"-prefixed Allocated marks files only: on a folder the flag would corrupt later subtractions.
    EXPECT_FALSE(f->doNotCountAllocated());
    EXPECT_FALSE(d->doNotCountAllocated());
    EXPECT_TRUE(h->doNotCountAllocated());
    EXPECT_EQ(h->allocSize, 4096);
    EXPECT_TRUE(z->doNotCountAllocated());
    EXPECT_EQ(z->allocSize, 0);
    EXPECT_FALSE(k->doNotCountAllocated());
    EXPECT_EQ(f->subFolderTotSizeAlloc(), 0) << "hard links add nothing to the roll-up";
    EXPECT_EQ(f->modifiedDateRaw, packedUTC(2024, 3, 5, 6, 8, 9));
    EXPECT_EQ(f->dosAttributes, 18);
    EXPECT_EQ(h->modifiedDateRaw, packedUTC(2024, 7, 1, 7, 0, 0));
    EXPECT_EQ(h->dosAttributes, 3);
    EXPECT_EQ(k->dosAttributes, 1);
    EXPECT_EQ(h->lastAccessDateRaw, kPackedUnixEpoch);
    EXPECT_EQ(h->fileID, 0u);
    // A file row that names an existing folder is applied to that folder, which stays a folder.
    EXPECT_TRUE(d->isDir());
    EXPECT_EQ(d->fileSize, 5);
}

TEST(CSVImport, FixedWidthDatesInTheLocalZone) {
    useTestTimeZone();
    struct Case {
        const char* field;
        int32_t packed;
    };
    const Case cases[] = {
        {"2024/03/05 07:08:09", packedUTC(2024, 3, 5, 6, 8, 9)},
        {"2024-03-05T07:08:09Z", packedUTC(2024, 3, 5, 6, 8, 9)},
        {"2024/07/01 09:00:00", packedUTC(2024, 7, 1, 7, 0, 0)},
        // Skipped by the spring change: read with the offset before it.
        {"2024/03/31 02:30:00", packedUTC(2024, 3, 31, 1, 30, 0)},
        // Repeated by the autumn change: the later of the two instants.
        {"2024/10/27 02:30:00", packedUTC(2024, 10, 27, 1, 30, 0)},
        // A date no clock shows is unknown, never rolled over into another real date.
        {"2026/13/45 99:99:99", kPackedUnixEpoch},
        {"2024/13/01 00:00:00", kPackedUnixEpoch},
        {"2024/00/10 00:00:00", kPackedUnixEpoch},
        {"2024/03/00 00:00:00", kPackedUnixEpoch},
        {"2023/02/29 12:00:00", kPackedUnixEpoch},
        {"2024/04/31 12:00:00", kPackedUnixEpoch},
        {"2024/03/05 24:00:00", kPackedUnixEpoch},
        {"2024/03/05 23:60:00", kPackedUnixEpoch},
        {"2024/03/05 23:59:60", kPackedUnixEpoch},
        {"2024/02/29 23:59:59", packedUTC(2024, 2, 29, 22, 59, 59)},
        {"2000/02/29 00:00:00", packedUTC(2000, 2, 28, 23, 0, 0)},
        {"1900/01/01 00:00:00", INT32_MIN},
        {"2100/01/01 00:00:00", INT32_MAX},
        {"2024/03/05 07:08:0", kPackedUnixEpoch},
        {"2024/03/05 07:0x:09", kPackedUnixEpoch},
        {"letters and more letters", kPackedUnixEpoch},
        {"", kPackedUnixEpoch},
    };
    for (const Case& c : cases) EXPECT_EQ(parseFixedWidthDate(c.field), c.packed) << c.field;
}

// The newest-date pass of an import takes each folder's newest date from below: the row of an
// impossible date is left out, and its date never becomes every ancestor's newest date.
TEST(CSVImport, AnImpossibleDateStaysUnknownUpTheTree) {
    useTestTimeZone();
    const std::string good = "2024/03/05 07:08:09";
    CSVImportOutcome out = importText(kHeader + "\"/a/\",0,0," + good + ",0,2,0\n" + "\"/a/b.txt\",5,4096," + good +
                                      ",0,0,0\n" + "\"/a/c.txt\",5,4096,2026/13/45 99:99:99,0,0,0\n");
    ASSERT_FALSE(out.error);
    for (const RootRef& r : out.result.roots) r->applyMaxModifiedDateToFolders();
    EXPECT_EQ(find(out.result.roots, "/a/c.txt"), nullptr);
    EXPECT_EQ(out.result.rowsLeftOut, 1);
    EXPECT_EQ(find(out.result.roots, "/a")->modifiedDateRaw, packedUTC(2024, 3, 5, 6, 8, 9));
    EXPECT_EQ(find(out.result.roots, "/")->modifiedDateRaw, packedUTC(2024, 3, 5, 6, 8, 9));
}

TEST(CSVImport, FailuresAndEmptyFiles) {
    TempDir dir;
    auto missing = importFromCSV(dir / "missing.csv");
    ASSERT_TRUE(missing.error);
    EXPECT_EQ(missing.error->kind, CSVImportError::Kind::couldNotReadFile);
    EXPECT_EQ(missing.error->underlyingErrno, ENOENT);
    auto folder = importFromCSV(dir.path());
    ASSERT_TRUE(folder.error);
    EXPECT_EQ(folder.error->kind, CSVImportError::Kind::couldNotReadFile);

    for (const std::string& text : {std::string(), std::string("\xEF\xBB\xBF"), kHeader, std::string("\n\n\n"),
                                    kHeader + "not a row\n\"unterminated,1,2\n\"/a/.\",1,1\n"}) {
        auto outcome = importText(text);
        ASSERT_TRUE(outcome.error) << text;
        EXPECT_EQ(outcome.error->kind, CSVImportError::Kind::noValidRowsFound) << text;
    }
}

// "." and ".." would make a node's path resolve to another file, and a NUL byte would cut it short:
// a later file action would reach a file the user never saw.
TEST(CSVImport, RejectsPathsThatResolveElsewhere) {
    std::string text = kHeader;
    for (const char* p : {"/a/./x", "/a/../x", "../x", "/a/..", "/a/./", "/a/../", "./", "C:\\a\\..\\x",
                          "C:/a/.", "C:/a/..."})
    {
        text.push_back('"');
        text.append(p);
        text.append("\",1,1,2024/01/01 00:00:00,0,0,0\n");
    }
    static constexpr char kNul[] = "\"/a/nul\0byte\",1,1,2024/01/01 00:00:00,0,0,0\n";
    text += std::string(kNul, sizeof kNul - 1);
    text += "\"/a/ok\",1,1,2024/01/01 00:00:00,0,0,0\n";
    auto outcome = importText(text);
    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(dump(outcome.result.roots), (std::vector<std::string>{"/ D 1 1 1/1", "/a D 1 1 1/0", "/a/ok F 1 1"}));
}

TEST(CSVImport, NamesWithLineBreaksStayOneRow) {
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"LF inside a name", kHeader + "\"/a/line\nbreak\",1,1,2024/01/01 00:00:00,0,0,0\n\"/a/next\",2,2,2024/01/01 00:00:00,0,0,0\n",
         {"/a/line\nbreak", "/a/next"}},
        {"several LFs and CR LF line ends", kHeader + "\"/a/x\r\n\ny\",1,1,2024/01/01 00:00:00,0,0,0\r\n\"/a/\n\",2,2,2024/01/01 00:00:00,0,0,0\r\n",
         {"/a/x\r\n\ny", "/a/\n"}},
        {"a broken line does not swallow the next row", kHeader + "\"/a/bad,1,1\n\"/a/good\",2,2,2024/01/01 00:00:00,0,0,0\n",
         {"/a/good"}},
        {"a broken last line", kHeader + "\"/a/good\",2,2,2024/01/01 00:00:00,0,0,0\n\"/a/tail\n\nmore", {"/a/good"}},
        {"a name over two lines in the last row, without a line end",
         kHeader + "\"/a/x\n\",1,1,2024/01/01 00:00:00,0,0,0", {"/a/x\n"}},
        // Split names repeat the name, line feeds included, in quoted fields after the path.
        {"LFs in the later quoted fields",
         kHeader + "\"/a/x\ny\",1,1,2024/01/01 00:00:00,0,0,0,\"\",\"/a\",\"x\ny\",\"\"\n\"/a/z\n\",2,2,2024/01/01 00:00:00,0,0,0,\"\",\"/a\",\"z\n\",\"\"\n"
             "\"/a/d\n/f.txt\",3,3,2024/01/01 00:00:00,0,0,0,\"\",\"/a/d\n\",\"f\",\"txt\"\n\"/a/next\",4,4,2024/01/01 00:00:00,0,0,0,\"\",\"/a\",\"next\",\"\"\n",
         {"/a/x\ny", "/a/z\n", "/a/d\n/f.txt", "/a/next"}},
        {"a quote inside an unquoted field is a character of it",
         kHeader + "\"/a/q\",1,1,2024/01/01 00:00:00,0,0,0,x\"y\n\"/a/next\",2,2,2024/01/01 00:00:00,0,0,0\n",
         {"/a/q", "/a/next"}},
        {"text after a closed later field keeps the row to its line",
         kHeader + "\"/a/h\",1,1,2024/01/01 00:00:00,0,0,0,\"z\"junk\n\"/a/next\",2,2,2024/01/01 00:00:00,0,0,0\n", {"/a/h", "/a/next"}},
        {"a later field still open at the end of the file",
         kHeader + "\"/a/good\",2,2,2024/01/01 00:00:00,0,0,0\n\"/a/k\",7,7,2024/01/01 00:00:00,0,0,0,\"never closed\nstill\n", {"/a/good", "/a/k"}},
    };
    for (const Case& c : cases) {
        auto outcome = importText(c.text);
        ASSERT_FALSE(outcome.error) << c.what;
        std::vector<std::string> files;
        for (const std::string& line : dump(outcome.result.roots)) {
            size_t kind = line.rfind(" F ");
            if (kind != std::string::npos) files.push_back(line.substr(0, kind));
        }
        EXPECT_EQ(files, c.names) << c.what;
    }
}

TEST(CSVImport, DriveCapacityFromTheHeaderAndTheFirstRow) {
    const std::string header = "File Name,Size,Allocated,Modified,Attributes,Files,Folders,PERCENTOFPARENT,"
                               "DriveCapacity,FREESPACE,USEDSPACE,RESERVEDSPACE\n";
    auto withCapacity = importText(header + "\"/r/\",1,1,2024/01/01 00:00:00,0,1,0,100.000,500,200,300,0\n\"/r/f\",1,1,2024/01/01 00:00:00,0,0,0,100.000,,,,\n");
    ASSERT_FALSE(withCapacity.error);
    EXPECT_EQ(withCapacity.result.driveCapacity, (VolumeCapacity{500, 200}));
    auto empty = importText(header + "\"/r/\",1,1,2024/01/01 00:00:00,0,1,0,100.000,,,,\n");
    ASSERT_FALSE(empty.error);
    EXPECT_FALSE(empty.result.driveCapacity.isKnown());
    auto noHeader = importText("\"/r/\",1,1,2024/01/01 00:00:00,0,1,0,100.000,500,200,300,0\n\"/r/f\",1,1,2024/01/01 00:00:00,0,0,0,100.000,,,,\n");
    ASSERT_FALSE(noHeader.error);
    EXPECT_FALSE(noHeader.result.driveCapacity.isKnown());
}

namespace {

// /r/dK/fJ: 100 folders of 1,200 files.
std::string bigExport(int folders = 100, int filesPerFolder = 1200) {
    std::string text = kHeader;
    for (int k = 0; k < folders; ++k) {
        text += "\"/r/d" + std::to_string(k) + "/\",0,0,2024/01/01 00:00:00,0,0,0\n";
        for (int j = 0; j < filesPerFolder; ++j)
            text += "\"/r/d" + std::to_string(k) + "/f" + std::to_string(j) + "\",3,4096,2024/01/01 00:00:00,0,0,0\n";
    }
    return text;
}

size_t countNodes(const std::vector<RootRef>& roots, bool files) {
    size_t n = 0;
    std::vector<const FileNode*> stack;
    for (const RootRef& r : roots) stack.push_back(r.get());
    while (!stack.empty()) {
        const FileNode* x = stack.back();
        stack.pop_back();
        if (x->isDir() != files) ++n;
        for (const FileNode* k : x->children()) stack.push_back(k);
    }
    return n;
}

}  // namespace

// The file is read in windows while earlier rows are put in the tree: progress comes from the one
// thread that links, so what the window shows only grows, whatever the windows.
TEST(CSVImport, ProgressFollowsTheRowsPutInTheTree) {
    TempDir dir;
    const std::string text = bigExport();
    writeFile(dir / "big.csv", text);
    struct Run {
        const char* what;
        std::function<CSVImportOutcome(const CSVImportProgressHandler&)> import;
    };
    const Run runs[] = {
        {"a file", [&](const CSVImportProgressHandler& p) { return importFromCSV(dir / "big.csv", p); }},
        {"64 KiB windows", [&](const CSVImportProgressHandler& p) { return importFromCSVData(text, ',', p, {}, 3, 65536); }},
    };
    for (const Run& run : runs) {
        const auto caller = std::this_thread::get_id();
        std::vector<CSVImportProgress> reports;
        bool elsewhere = false;
        auto outcome = run.import([&](const CSVImportProgress& p) {
            elsewhere |= std::this_thread::get_id() != caller;
            reports.push_back(p);
        });
        ASSERT_FALSE(outcome.error) << run.what;
        EXPECT_FALSE(elsewhere) << run.what;
        EXPECT_EQ(countNodes(outcome.result.roots, true), 120000u) << run.what;
        EXPECT_EQ(outcome.result.roots[0]->subFolderFileCount(), 120000) << run.what;
        EXPECT_EQ(outcome.result.roots[0]->subFolderTotSizeAlloc(), int64_t(120000) * 4096) << run.what;

        ASSERT_EQ(reports.size(), 13u) << run.what << ": one report per 10,000 of the 120,100 rows";
        for (size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i].files + reports[i].folders, int64_t(i) * 10000) << run.what;
            EXPECT_LE(reports[i].percentComplete, 99) << run.what;
            if (i > 0) {
                EXPECT_GE(reports[i].files, reports[i - 1].files) << run.what;
                EXPECT_GT(reports[i].percentComplete, reports[i - 1].percentComplete) << run.what;
            }
        }
        EXPECT_EQ(reports.front().percentComplete, 0) << run.what;
        EXPECT_GE(reports.back().percentComplete, 95) << run.what;
    }
}

TEST(CSVImport, CancellationReturnsWhatWasBuilt) {
    const std::string text = bigExport();
    // Cancelled at once: no error, flagged.
    auto atOnce = importFromCSVData(text, ',', {}, [] { return true; });
    ASSERT_FALSE(atOnce.error);
    EXPECT_TRUE(atOnce.result.wasCancelled);

    // Cancelled once rows are in the tree, in one window or in many: a partial tree, rolled up.
    for (size_t window : {size_t(0), size_t(65536)}) {
        std::atomic<bool> building{false};
        auto partial = importFromCSVData(
            text, ',', [&](const CSVImportProgress& p) { if (p.files > 0) building = true; },
            [&] { return building.load(); }, 0, window);
        ASSERT_FALSE(partial.error);
        EXPECT_TRUE(partial.result.wasCancelled);
        ASSERT_EQ(partial.result.roots.size(), 1u);
        size_t files = countNodes(partial.result.roots, true);
        EXPECT_GT(files, 0u);
        EXPECT_LT(files, 120000u);
        EXPECT_EQ(size_t(partial.result.roots[0]->subFolderFileCount()), files);
    }

    // With one worker and fewer rows than a progress step, the reading, the decode and the build
    // each ask once. A cancel that comes after all three leaves a finished import; one that the
    // reading, the decode or the build sees stops it.
    const std::string small = kHeader + "\"/r/\",0,0,2024/01/01 00:00:00,0,2,1\n\"/r/a\",10,10,2024/01/01 00:00:00,0,0,0\n\"/r/s/\",0,0,2024/01/01 00:00:00,0,1,0\n" +
                              "\"/r/s/b\",20,20,2024/01/01 00:00:00,0,0,0\n";
    for (int firstYes : {1, 2, 3, 4}) {
        int asked = 0;
        auto run = importFromCSVData(small, ',', {}, [&] { return ++asked >= firstYes; }, 1);
        ASSERT_FALSE(run.error);
        EXPECT_EQ(run.result.wasCancelled, firstYes < 4) << "first yes at question " << firstYes;
        if (firstYes == 4) {
            EXPECT_EQ(asked, 3);
            ASSERT_EQ(run.result.roots.size(), 1u);
            EXPECT_EQ(countNodes(run.result.roots, true), 2u);
        }
    }

    // Cancelled before a single valid row: an empty cancelled result, not "no valid rows".
    auto early = importFromCSVData(kHeader + "junk\n" + text, ',', {}, [] { return true; }, 1);
    ASSERT_FALSE(early.error);
    EXPECT_TRUE(early.result.wasCancelled);
    EXPECT_TRUE(early.result.roots.empty());
}

TEST(CSVImport, TreesDeeperThanAnyStack) {
    std::string path = "/";
    for (int i = 0; i < 100000; ++i) path += "d/";
    auto outcome = importFromCSVData(kHeader + "\"" + path + "f\",1,1,2024/01/01 00:00:00,0,0,0\n", ',');
    ASSERT_FALSE(outcome.error);
    ASSERT_EQ(outcome.result.roots.size(), 1u);
    EXPECT_EQ(outcome.result.roots[0]->subFolderDirCount(), 100000);
    EXPECT_EQ(outcome.result.roots[0]->subFolderTotSize(), 1);
}

// Large inputs are split into lines in pieces on several threads; joins of names holding line
// breaks may cross the pieces' borders and must come out as with one thread.
TEST(CSVImport, SplittingInPiecesMatchesOneThread) {
    std::string text = kHeader;
    int withBreaks = 0;
    for (int i = 0; text.size() < 3'500'000; ++i) {
        std::string name = "f" + std::to_string(i);
        if (i % 7 == 0) {
            name += std::string(size_t(i % 5 + 1), '\n') + "tail";
            ++withBreaks;
        }
        if (i % 11 == 0) name += "\"\"q";
        text += "\"/r/d" + std::to_string(i / 100) + "/" + name + "\",1,1,2024/01/01 00:00:00,0,0,0" + (i % 3 ? "\n" : "\r\n");
        if (i % 13 == 0) text += "\"/r/broken,1,1\n";
    }
    auto one = importFromCSVData(text, ',', {}, {}, 1);
    auto many = importFromCSVData(text, ',', {}, {}, 5);
    ASSERT_FALSE(one.error);
    ASSERT_FALSE(many.error);
    auto a = dump(one.result.roots);
    auto b = dump(many.result.roots);
    EXPECT_EQ(a, b);
    int seen = 0;
    for (const std::string& line : a) seen += line.find("\ntail") != std::string::npos;
    EXPECT_EQ(seen, withBreaks);
}

namespace {

// Everything a window's end can cut: the byte-order mark, CR LF pairs, a header found on line 3, the
// drive capacity of the first row, names holding line breaks and doubled quotes, lines that only
// look open, a field far longer than a window and a last line without its end.
std::string cutProneExport(size_t hugeName) {
    std::string text = "\xEF\xBB\xBF" "Exported listing\r\n\r\n"
                       "File Name,Size,Allocated,Modified,Attributes,Files,Folders,DRIVECAPACITY,FREESPACE\r\n"
                       "\"/r/\",0,0,2024/01/01 00:00:00,0,0,0,900,300\r\n";
    for (int i = 0; i < 120; ++i) {
        std::string name = "f" + std::to_string(i);
        if (i % 5 == 0) name += "\nsecond\r\nthird";
        if (i % 7 == 0) name += "\"\"q";
        if (i % 11 == 0) name += "\n";
        text += "\"/r/d" + std::to_string(i / 10) + "/" + name + "\"," + std::to_string(i) + ",4096,2024/01/01 00:00:00,0,0,0";
        // Split names: the folder and the name again, each quoted, line feeds and all.
        if (i % 3 == 0) text += ",,\"\",\"/r/d" + std::to_string(i / 10) + "\",\"" + name + "\",\"\"";
        text += i % 2 ? "\n" : "\r\n";
        if (i % 13 == 0) text += "\"/r/broken,1,1\n";
        if (i % 17 == 0) text += "\"/r/not a row\nx\"y\n";
    }
    text += "\"/r/huge/" + std::string(hugeName, 'h') + "\",5,5,2024/01/01 00:00:00,0,0,0\n";
    text += "\"/r/last\",7,7,2024/01/01 00:00:00,0,0,0";
    return text;
}

}  // namespace

TEST(CSVImport, WindowsCutAnywhereReadAsOneWhole) {
    const std::string text = cutProneExport(200000);
    const auto whole = importFromCSVData(text, ',', {}, {}, 1, text.size() + 1);
    ASSERT_FALSE(whole.error);
    const auto expected = dump(whole.result.roots);
    ASSERT_EQ(expected.size(), 1u + 1u + 12u + 120u + 1u + 1u + 1u) << "/, r, d0..d11, their files, huge, its file, last";
    EXPECT_EQ(whole.result.driveCapacity, (VolumeCapacity{900, 300}));
    EXPECT_NE(find(whole.result.roots, "/r/d0/f0\nsecond\r\nthird\"q\n"), nullptr);
    EXPECT_NE(find(whole.result.roots, "/r/last"), nullptr);
    for (size_t window : {1, 2, 3, 4, 5, 7, 16, 61, 100, 1000, 4096, 65536}) {
        for (int workers : {1, 3}) {
            const auto cut = importFromCSVData(text, ',', {}, {}, workers, window);
            ASSERT_FALSE(cut.error) << window;
            EXPECT_FALSE(cut.result.wasCancelled);
            EXPECT_EQ(dump(cut.result.roots), expected) << "windows of " << window << ", " << workers << " workers";
            EXPECT_EQ(cut.result.driveCapacity, (VolumeCapacity{900, 300})) << window;
        }
    }
}

// A file is read in windows of a few MiB: one line longer than that (a name of 20 MiB) grows the
// window instead of being cut or lost, and the rows after it still come.
TEST(CSVImport, AFieldLongerThanAWindow) {
    TempDir dir;
    const size_t huge = size_t(20) << 20;
    writeFile(dir / "huge.csv", kHeader + "\"/a/small\",1,1,2024/01/01 00:00:00,0,0,0\n\"/a/" + std::string(huge, 'x') +
                                    "\",2,2,2024/01/01 00:00:00,0,0,0\r\n\"/a/after\",3,3,2024/01/01 00:00:00,0,0,0\n");
    auto outcome = importFromCSV(dir / "huge.csv");
    ASSERT_FALSE(outcome.error);
    ASSERT_EQ(outcome.result.roots.size(), 1u);
    const FileNode* a = find(outcome.result.roots, "/a");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->childCount(), 3u);
    EXPECT_EQ(a->children()[1]->nameLength(), int32_t(huge));
    EXPECT_EQ(a->children()[1]->fileSize, 2);
    EXPECT_EQ(a->children()[2]->name(), "after");
    EXPECT_EQ(a->subFolderTotSize(), 6);
}

// Only a regular file is imported. A FIFO used to block the open until some writer came (and then
// could stream without end), /dev/zero grew one endless line until the allocation failed and took
// the program with it: each is refused at once, before a byte is read, and a pipe with a writer
// waiting is refused as well.
TEST(CSVImport, RefusesWhatIsNotARegularFileAtOnce) {
    TempDir dir;
    const std::string fifo = dir / "pipe.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = dir / "zero.csv";
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    const std::string null = dir / "null.tsv";
    ASSERT_EQ(::symlink("/dev/null", null.c_str()), 0);

    // Should the open block after all, a writer comes after a while and ends the wait, so that
    // the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblocker([&] {
        for (int i = 0; i < 1000 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    for (const std::string& path : {fifo, zero, null}) {
        const auto outcome = importFromCSV(path);
        ASSERT_TRUE(outcome.error) << path;
        EXPECT_EQ(outcome.error->kind, CSVImportError::Kind::notRegularFile) << path;
    }
    done = true;
    unblocker.join();

    // A writer already waiting changes nothing: the pipe is not read.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "x\n", 2), 2);
    const auto piped = importFromCSV(fifo);
    ::close(writer);
    ::close(reader);
    ASSERT_TRUE(piped.error);
    EXPECT_EQ(piped.error->kind, CSVImportError::Kind::notRegularFile);

    // A dangling link is a missing file.
    const std::string dangling = dir / "dangling.csv";
    ASSERT_EQ(::symlink((dir / "gone.csv").c_str(), dangling.c_str()), 0);
    const auto gone = importFromCSV(dangling);
    ASSERT_TRUE(gone.error);
    EXPECT_EQ(gone.error->kind, CSVImportError::Kind::couldNotReadFile);
    EXPECT_EQ(gone.error->underlyingErrno, ENOENT);
}

// A line past the stated bound ends the import with its own error instead of growing the window
// without end: a sparse file of zeros (read from no disk at all), and the same after some rows.
TEST(CSVImport, ALineLongerThanTheBoundEndsTheImport) {
    TempDir dir;
    const std::string sparse = dir / "sparse.csv";
    writeFile(sparse, "");
    ASSERT_EQ(::truncate(sparse.c_str(), off_t(CSVLineReader::kMaxLineBytes * 3)), 0);
    const std::string afterRows = dir / "after-rows.csv";
    writeFile(afterRows, kHeader + "\"/a/one\",1,1,2024/01/01 00:00:00,0,0,0\n\"/a/two\",2,2,2024/01/01 00:00:00,0,0,0\n");
    ASSERT_EQ(::truncate(afterRows.c_str(), off_t(CSVLineReader::kMaxLineBytes + (size_t(9) << 20))), 0);
    for (const std::string& path : {sparse, afterRows}) {
        const auto outcome = importFromCSV(path);
        ASSERT_TRUE(outcome.error) << path;
        EXPECT_EQ(outcome.error->kind, CSVImportError::Kind::lineTooLong) << path;
    }
    // Just under the bound, a last line without its line end is still taken.
    const std::string underBound = dir / "under.csv";
    writeFile(underBound, kHeader + "\"/a/one\",1,1,2024/01/01 00:00:00,0,0,0\n\"/a/" +
                              std::string(CSVLineReader::kMaxLineBytes - 64, 'y') + "\",2,2,2024/01/01 00:00:00,0,0,0");
    const auto under = importFromCSV(underBound);
    ASSERT_FALSE(under.error);
    EXPECT_EQ(countNodes(under.result.roots, true), 2u);
}

// The cancel query is asked while the input is read, not only once rows decode: an input whose
// first window holds no whole line stops when asked.
TEST(CSVImport, ACancelIsHeardWhileALongLineIsRead) {
    TempDir dir;
    const std::string sparse = dir / "sparse.csv";
    writeFile(sparse, "");
    ASSERT_EQ(::truncate(sparse.c_str(), off_t(CSVLineReader::kMaxLineBytes)), 0);
    std::atomic<int> asked{0};
    const auto outcome = importFromCSV(sparse, {}, [&] { return ++asked >= 2; });
    ASSERT_FALSE(outcome.error);
    EXPECT_TRUE(outcome.result.wasCancelled);
    EXPECT_TRUE(outcome.result.roots.empty());
    EXPECT_EQ(asked.load(), 2) << "asked before each window, and not again once it said yes";
}
