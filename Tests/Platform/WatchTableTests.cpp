#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Platform/WatchTable.hpp"

using namespace zelvane;

namespace {

// The table's answers, worked out the plain way from a map of every watch.
struct PlainWatch {
    int parent;
    std::string name;
    uint32_t root;
    dev_t dev;
};

class PlainTable {
public:
    std::map<int, PlainWatch> watches;
    std::map<std::pair<int, std::string>, int> byName;

    void insert(int wd, int parent, const std::string& name, uint32_t root, dev_t dev) {
        unlink(wd);
        watches[wd] = PlainWatch{parent, name, root, dev};
        if (parent >= 0) byName[{parent, name}] = wd;
    }
    void erase(int wd) {
        unlink(wd);
        watches.erase(wd);
    }
    void reparent(int wd, int parent, const std::string& name) {
        if (!watches.count(wd)) return;
        unlink(wd);
        watches[wd].parent = parent;
        watches[wd].name = name;
        if (parent >= 0) byName[{parent, name}] = wd;
    }
    bool pathOf(int wd, std::string& out) const {
        std::vector<const PlainWatch*> chain;
        for (int cur = wd;;) {
            auto it = watches.find(cur);
            if (it == watches.end() || chain.size() > watches.size()) return false;
            chain.push_back(&it->second);
            if (it->second.parent < 0) break;
            cur = it->second.parent;
        }
        out = chain.back()->name;
        for (size_t i = chain.size() - 1; i-- > 0;) {
            if (out.empty() || out.back() != '/') out += '/';
            out += chain[i]->name;
        }
        return true;
    }
    bool below(int wd, const std::set<int>& tops) const {
        for (int cur = wd, steps = 0; steps <= int(watches.size()); ++steps) {
            if (tops.count(cur)) return true;
            auto it = watches.find(cur);
            if (it == watches.end() || it->second.parent < 0) return false;
            cur = it->second.parent;
        }
        return false;
    }

private:
    void unlink(int wd) {
        auto it = watches.find(wd);
        if (it == watches.end() || it->second.parent < 0) return;
        auto named = byName.find({it->second.parent, it->second.name});
        if (named != byName.end() && named->second == wd) byName.erase(named);
    }
};

void expectSame(WatchTable& table, const PlainTable& plain, int maxWd, const std::vector<std::string>& names) {
    ASSERT_EQ(table.size(), plain.watches.size());
    std::string got, want;
    for (int wd = 0; wd <= maxWd; ++wd) {
        auto it = plain.watches.find(wd);
        const auto entry = table.find(wd);
        ASSERT_EQ(entry.has_value(), it != plain.watches.end()) << wd;
        ASSERT_EQ(table.contains(wd), entry.has_value());
        if (!entry) continue;
        EXPECT_EQ(entry->parent, it->second.parent);
        EXPECT_EQ(entry->dev, it->second.dev);
        uint32_t root = 99;
        const bool known = plain.pathOf(wd, want);
        ASSERT_EQ(table.pathOf(wd, got, &root), known) << wd;
        if (known) {
            EXPECT_EQ(got, want);
        }
        if (it->second.parent < 0) {
            EXPECT_EQ(root, it->second.root);
        }
    }
    for (int parent = -1; parent <= maxWd; parent += 7)
        for (const std::string& name : names) {
            auto it = plain.byName.find({parent, name});
            EXPECT_EQ(table.childOf(parent, name), it == plain.byName.end() ? -1 : it->second) << parent << ' ' << name;
        }
}

}  // namespace

// Folders come, go, move and are watched again over a long session: the compact table answers as
// a plain map of every watch would, through its indexes' growth, removals from the middle of
// their runs and the clearing out of names left behind.
TEST(WatchTable, AnswersAsAPlainMapThroughLongChurn) {
    std::mt19937 random(7);
    const std::vector<std::string> names = {"a", "b", "src", "a longer name than fits in place", "", "x/y", "b"};
    WatchTable table;
    PlainTable plain;
    table.insert(1, -1, "/home/someone", 0, 10);
    plain.insert(1, -1, "/home/someone", 0, 10);
    table.insert(2, -1, "/", 1, 11);
    plain.insert(2, -1, "/", 1, 11);
    int nextWd = 3;
    for (int round = 0; round < 40; ++round) {
        for (int op = 0; op < 500; ++op) {
            std::vector<int> live;
            for (const auto& [wd, w] : plain.watches) live.push_back(wd);
            const int pick = live[random() % live.size()];
            const std::string& name = names[random() % names.size()];
            const std::string numbered = name + std::to_string(random() % 5);
            switch (random() % 10) {
                case 0:
                case 1:
                case 2:
                case 3: {  // a new folder appears
                    const dev_t dev = 10 + dev_t(random() % 3);
                    table.insert(nextWd, pick, numbered, 0, dev);
                    plain.insert(nextWd, pick, numbered, 0, dev);
                    ++nextWd;
                    break;
                }
                case 4:
                case 5:  // a folder goes (its watch alone: what lay below becomes stale)
                    if (pick > 2) {
                        table.erase(pick);
                        plain.erase(pick);
                    }
                    break;
                case 6: {  // a folder moves inside the tree
                    const int to = live[random() % live.size()];
                    table.reparent(pick, to, numbered);
                    plain.reparent(pick, to, numbered);
                    break;
                }
                case 7:  // a watch reached a second time under another place
                    if (pick > 2) {
                        const int to = live[random() % live.size()];
                        table.insert(pick, to, numbered, 0, 12);
                        plain.insert(pick, to, numbered, 0, 12);
                    }
                    break;
                default: {  // a whole subtree moves out
                    if (pick <= 2 || random() % 4 != 0) break;
                    const std::vector<int> tops = {pick};
                    std::vector<int> gone = table.subtreesOf(tops);
                    std::vector<int> expected;
                    for (const auto& [wd, w] : plain.watches)
                        if (plain.below(wd, {pick})) expected.push_back(wd);
                    std::sort(gone.begin(), gone.end());
                    ASSERT_EQ(gone, expected);
                    for (int wd : gone) {
                        table.erase(wd);
                        plain.erase(wd);
                    }
                }
            }
        }
        std::vector<std::string> numbered;
        for (const std::string& name : names)
            for (int i = 0; i < 5; ++i) numbered.push_back(name + std::to_string(i));
        expectSame(table, plain, nextWd, numbered);
    }
    EXPECT_GT(nextWd, 5000);
}
