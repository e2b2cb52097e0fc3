#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QVariantList>

#include <optional>
#include <string>
#include <vector>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Models/DisplaySignature.hpp"
#include "ZelvaneMac/Models/ExtensionTableModel.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Models/InlineRenameSession.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"
#include "ZelvaneMac/Models/SplitPanePersistence.hpp"

namespace zelvane {
namespace {

TEST(InlineRenameSession, EndsOnceAndCommitsOnlyAChangedAcceptedName) {
    struct Case {
        const char* what;
        bool commit;
        QString typed;
        bool accept;
        int expectedCommits;
        QString expectedShown;
    };
    const Case cases[] = {
        {"Return with a new name", true, "new.txt", true, 1, "new.txt"},
        {"Return with the name unchanged", true, "old.txt", true, 0, "old.txt"},
        {"Escape after typing", false, "typed", true, 0, "old.txt"},
        {"refused rename", true, "bad/name", false, 1, "old.txt"},
        {"trailing space is a change", true, "old.txt ", true, 1, "old.txt "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InlineRenameSession s;
        int commits = 0, ended = 0;
        QString committed, shown;
        s.begin("old.txt", [&](const QString& n) { ++commits, committed = n; return c.accept; }, [&] { ++ended; });
        EXPECT_TRUE(s.isEditing());
        EXPECT_TRUE(s.end(c.commit, c.typed, [&](const QString& t) { shown = t; }));
        // The focus change that ending causes, or a second key, finds nothing to end.
        EXPECT_FALSE(s.end(true, "again", [&](const QString& t) { shown = t; }));
        EXPECT_EQ(commits, c.expectedCommits);
        EXPECT_EQ(ended, 1);
        EXPECT_EQ(shown, c.expectedShown);
        EXPECT_FALSE(s.isEditing());
    }
    // An end function that starts the next edit sees the session idle.
    InlineRenameSession s;
    bool reentered = false;
    s.begin("a", nullptr, [&] { reentered = !s.isEditing(); });
    s.end(true, "b", nullptr);
    EXPECT_TRUE(reentered);
}

TEST(SplitPanePersistence, ReadsTheFourthFieldOfTheSecondFrameOnlyFromTwoWellFormedTexts) {
    auto list = [](std::initializer_list<QVariant> v) { return QVariant(QVariantList(v)); };
    EXPECT_EQ(persistedBottomHeight(list({"0, 0, 800, 300", "0, 301, 800, 200.5"})), 200.5);
    EXPECT_EQ(persistedBottomHeight(list({"a", "0,,301, 800 ,\t 120 "})), 120.0);  // empty piece skipped
    EXPECT_EQ(persistedBottomHeight(list({"a", "0, 301, 800"})), std::nullopt);
    EXPECT_EQ(persistedBottomHeight(list({"a", "0, 1, 2, 12px"})), std::nullopt);
    EXPECT_EQ(persistedBottomHeight(list({"a", "0, 1, 2, 3", "x"})), std::nullopt);
    EXPECT_EQ(persistedBottomHeight(list({"a", 5})), std::nullopt);
    EXPECT_EQ(persistedBottomHeight(QVariant("0, 1, 2, 3")), std::nullopt);
    EXPECT_EQ(persistedBottomHeight(QVariant()), std::nullopt);
    // What is written reads back.
    QVariantList written;
    for (const QString& s : splitPaneFrameTexts({300, 200}, false, 800, 1)) written.push_back(s);
    EXPECT_EQ(persistedBottomHeight(written), 200.0);
    written.clear();
    for (const QString& s : splitPaneFrameTexts({450, 250}, true, 600, 1)) written.push_back(s);
    EXPECT_EQ(storedPaneField(written, 0, 2), 450.0);
}

TEST(DisplaySignature, FormatsRoundedSizesWithOneDecimalOfScale) {
    EXPECT_EQ(displaySignatureText(QSizeF(1440.4, 900.6), 1.0), "1440x901@1.0");
    EXPECT_EQ(displaySignatureText(QSizeF(2560, 1440), 2), "2560x1440@2.0");
    qtWidgetApp();
    const auto sig = currentDisplaySignature();
    ASSERT_TRUE(sig.has_value());
    EXPECT_EQ(keyWithDisplaySignature("ZelvaneMac.TreeSplit"), "ZelvaneMac.TreeSplit." + *sig);
    EXPECT_DOUBLE_EQ(percentBarDepthFactor(0), 1.0);
    EXPECT_DOUBLE_EQ(percentBarDepthFactor(5), 0.5);
    EXPECT_DOUBLE_EQ(percentBarDepthFactor(7), 0.5);
}

std::vector<std::string> exts(const ExtensionTableModel& m) {
    std::vector<std::string> out;
    for (const auto& s : m.displayed()) out.push_back(s.ext);
    return out;
}

// In each table a sortable column sorts by the key its identifier names, and that key's column is
// it: header clicks and stored layouts arrive as identifiers, the indicator is set from the key.
template <typename Model, typename FromIdentifier, typename ToIdentifier>
void expectEachSortableColumnIsItsKeys(FromIdentifier fromIdentifier, ToIdentifier toIdentifier) {
    const ColumnTable& columns = Model::columns();
    for (int c = 0; c < Model::kColumnCount; ++c) {
        if (!columns.sortable(c)) continue;
        const auto key = fromIdentifier(columns.identifier(c));
        EXPECT_EQ(Model::columnFor(key), c) << columns.identifier(c);
        EXPECT_EQ(toIdentifier(key), columns.identifier(c));
    }
}

TEST(ResultTableSortKeys, EverySortableColumnIsTheColumnOfItsKey) {
    expectEachSortableColumnIsItsKeys<ExtensionTableModel>(fileTypesSortKeyFromIdentifier, fileTypesSortIdentifier);
    expectEachSortableColumnIsItsKeys<FileTreeOutlineModel>(outlineSortKeyFromIdentifier, outlineSortIdentifier);
    expectEachSortableColumnIsItsKeys<FileListModel>(fileListSortKeyFromIdentifier, fileListSortIdentifier);
    // What no column names orders as each table first does (the file list's first order is its
    // pipeline's own; an unnamed key there has always meant size).
    EXPECT_EQ(fileTypesSortKeyFromIdentifier(""), FileTypesSortKey::allocated);
    EXPECT_EQ(fileTypesSortKeyFromIdentifier("swatch"), FileTypesSortKey::allocated);
    EXPECT_EQ(outlineSortKeyFromIdentifier("path"), OutlineSortKey::allocated);
    EXPECT_EQ(fileListSortKeyFromIdentifier("items"), FileListSortKey::size);
}

TEST(ExtensionTableModel, SortsStablyWithThePercentBasisOfTheSortKey) {
    qtWidgetApp();
    ExtensionTableModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    int displayedCalls = 0;
    std::optional<FileTypesSortKey> lastKey;
    model.setOnDisplayedChange([&](const std::vector<ExtensionStats>&, FileTypesSortKey k) { ++displayedCalls, lastKey = k; });
    ExtensionTableInputs in;
    in.stats = {{"txt", 300, 100, 3}, {"b", 100, 400, 1}, {"a", 100, 400, 2}, {"", 0, 100, 5}, {"B", 50, 0, 1}};
    in.statsGeneration = 1;
    EXPECT_TRUE(model.update(in));
    EXPECT_EQ(displayedCalls, 1);
    EXPECT_EQ(lastKey, FileTypesSortKey::allocated);
    EXPECT_EQ(exts(model), (std::vector<std::string>{"b", "a", "txt", "", "B"}));  // ties keep order
    EXPECT_EQ(model.data(model.index(0, ExtensionTableModel::percentColumn)).toString(), "40.0%");
    model.setSort(FileTypesSortKey::allocated, true);
    EXPECT_EQ(exts(model), (std::vector<std::string>{"B", "txt", "", "b", "a"}));

    // Sorted by percent: ordered by size, shares of allocated size.
    model.setSort(FileTypesSortKey::percent, false);
    EXPECT_EQ(exts(model), (std::vector<std::string>{"txt", "b", "a", "B", ""}));
    EXPECT_EQ(model.data(model.index(0, ExtensionTableModel::percentColumn)).toString(), "10.0%");
    model.setSort(FileTypesSortKey::size, false);
    EXPECT_EQ(model.data(model.index(0, ExtensionTableModel::percentColumn)).toString(), "54.5%");
    // Case-sensitive scalar order: "B" before "a".
    model.setSort(FileTypesSortKey::extension, true);
    EXPECT_EQ(exts(model), (std::vector<std::string>{"", "B", "a", "b", "txt"}));
    EXPECT_EQ(model.data(model.index(0, ExtensionTableModel::extColumn)).toString(), "(none)");
    EXPECT_EQ(model.data(model.index(1, ExtensionTableModel::extColumn)).toString(), ".B");
    EXPECT_TRUE(model.data(model.index(0, ExtensionTableModel::extColumn), ResultTableRole::sortedColumn).toBool());
    EXPECT_FALSE(model.data(model.index(0, ExtensionTableModel::typeColumn), ResultTableRole::sortedColumn).toBool());

    // Same generation and settings: no reload. A new palette: reload, order kept.
    EXPECT_FALSE(model.update(in));
    in.paletteRGB = {{1, 2, 3}};
    EXPECT_TRUE(model.update(in));
    EXPECT_EQ(exts(model), (std::vector<std::string>{"", "B", "a", "b", "txt"}));
    EXPECT_FALSE(model.data(model.index(0, ExtensionTableModel::swatchColumn), Qt::DecorationRole).isNull());

    // Every basis 0: every share 0.0% and an empty bar.
    in.stats = {{"x", 0, 0, 1}, {"y", 0, 0, 1}};
    in.statsGeneration = 2;
    model.update(in);
    EXPECT_EQ(model.data(model.index(1, ExtensionTableModel::percentColumn)).toString(), "0.0%");
    EXPECT_DOUBLE_EQ(model.data(model.index(1, ExtensionTableModel::percentColumn), ResultTableRole::barFraction).toDouble(), 0.0);
    in.stats.clear();
    in.statsGeneration = 3;
    model.update(in);
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace zelvane
