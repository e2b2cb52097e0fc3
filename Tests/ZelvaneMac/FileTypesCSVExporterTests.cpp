#include <gtest/gtest.h>

#include "FileTypesCSVExporter.hpp"

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
