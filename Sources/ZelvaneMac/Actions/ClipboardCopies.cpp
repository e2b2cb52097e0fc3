#include "ZelvaneMac/Actions/ClipboardCopies.hpp"

#include <QCoreApplication>
#include <QMimeData>
#include <QThread>

#include <algorithm>
#include <string>
#include <string_view>

#include "ScanEngine/Support/ParallelFor.hpp"
#include "ZelvaneMac/Actions/ActionAlerts.hpp"
#include "ZelvaneMac/Actions/CopiedFilesMimeData.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane {

namespace {

// The full paths of the items, a line each (the last without its line end), as UTF-8 text: bytes
// that are not UTF-8 show as replacement characters. Most paths are their text already; the others
// take the road of a QString (which would also drop a byte-order mark at the start). Made a
// stretch at a time on every processor straight into the one buffer.
QByteArray pathLines(const TargetPaths& items, const CancelFlag& cancel) {
    constexpr size_t kStretch = size_t(1) << 14;
    const size_t count = items.nodes.size();
    const size_t stretches = (count + kStretch - 1) / kStretch;
    const auto plain = [&items](size_t i) { return items.paths.isText(i) && !items.paths[i].starts_with("\xEF\xBB\xBF"); };
    // First the length of each stretch, with the lines of the paths that are not their text.
    std::vector<size_t> lengths(stretches, 0);
    std::vector<std::vector<QByteArray>> shown(stretches);
    parallelFor(stretches, parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const size_t end = std::min(count, (s + 1) * kStretch);
        for (size_t i = s * kStretch; i < end; ++i) {
            const std::string_view path = items.paths[i];
            if (plain(i)) {
                lengths[s] += path.size() + 1;
            } else {
                shown[s].push_back(QString::fromStdString(items.nodes[i]->fullPath()).toUtf8());
                lengths[s] += size_t(shown[s].back().size()) + 1;
            }
        }
    }, &cancel);
    if (cancel.isSet() || count == 0) return {};
    std::vector<size_t> starts(stretches, 0);
    for (size_t s = 1; s < stretches; ++s) starts[s] = starts[s - 1] + lengths[s - 1];
    QByteArray text(qsizetype(starts.back() + lengths.back() - 1), Qt::Uninitialized);
    parallelFor(stretches, parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        char* out = text.data() + starts[s];
        size_t nextShown = 0;
        const size_t end = std::min(count, (s + 1) * kStretch);
        for (size_t i = s * kStretch; i < end; ++i) {
            const std::string_view path = items.paths[i];
            if (plain(i)) {
                out = std::copy(path.begin(), path.end(), out);
            } else {
                const QByteArray& line = shown[s][nextShown++];
                out = std::copy(line.begin(), line.end(), out);
            }
            if (i + 1 < count) *out++ = '\n';
        }
        std::vector<QByteArray>().swap(shown[s]);
    }, &cancel);
    if (cancel.isSet()) return {};
    return text;
}

}  // namespace

// What a copy puts on the clipboard, and what it could not reach.
struct ClipboardCopies::Content {
    std::unique_ptr<QMimeData> data;
    // The content grew past the clipboard's limit and was dropped.
    bool tooLarge = false;
    std::vector<Failure> refused;
    // The trees of the refused items, whose names the alert shows.
    std::shared_ptr<const void> trees;
};

ClipboardCopies::ClipboardCopies(DesktopServices& desktop, ActionPrompter& prompter, ActionJobs& jobs)
    : desktop_(desktop), prompter_(prompter), jobs_(jobs), limit_(kClipboardBytesLimit) {}

void ClipboardCopies::copy(NodeListing listing) {
    start(std::move(listing), [limit = limit_](std::vector<ActionTarget>& items, const CancelFlag& cancel) {
        Content made;
        auto data = std::make_unique<CopiedFilesMimeData>();
        for (size_t i = 0; i < items.size(); ++i) {
            if (i % 4096 == 0 && cancel.isSet()) return made;
            data->append(fileUrlFromPathBytes(items[i].path).toEncoded());
            if (data->size() > limit) {
                made.tooLarge = true;
                return made;
            }
            // Each path goes once it is in: millions of them take as much again as the list.
            std::string().swap(items[i].path);
        }
        data->finish();
        made.data = std::move(data);
        return made;
    }, {});
}

void ClipboardCopies::copyPath(NodeListing listing) {
    start(std::move(listing), {}, [limit = limit_](TargetPaths& items, const CancelFlag& cancel) {
        Content made;
        QByteArray text = pathLines(items, cancel);
        made.tooLarge = text.size() > limit;
        if (!cancel.isSet() && !made.tooLarge) made.data = plainTextMimeData(text);
        return made;
    });
}

void ClipboardCopies::start(NodeListing listing, Maker make, PathsMaker makeFromPaths) {
    // Whatever an earlier copy still makes is older than this one.
    generations_.supersede();
    const auto made = [make, makeFromPaths](const NodeListing& listed, const CancelFlag& cancel) {
        if (makeFromPaths) {
            NodeListing::Listed nodes = listed.listWithPaths(cancel);
            Content content;
            content.trees = listed.trees;
            if (cancel.isSet()) return content;
            TargetPaths items = resolvePathsToReach(nodes.nodes, std::move(nodes.paths), content.refused, &cancel);
            std::vector<FileNode*>().swap(nodes.nodes);
            if (items.nodes.empty() || cancel.isSet()) return content;
            Content data = makeFromPaths(items, cancel);
            content.tooLarge = data.tooLarge && !cancel.isSet();
            if (!content.tooLarge) content.data = std::move(data.data);
            return content;
        }
        NodeListing::Listed nodes = listed.listWithPaths(cancel);
        Content content;
        content.trees = listed.trees;
        if (cancel.isSet()) return content;
        std::vector<ActionTarget> items = resolveTargets(nodes.nodes, Change::reach, content.refused, &cancel, &nodes.paths);
        // The items hold their paths now: the list goes before the content is made.
        nodes = NodeListing::Listed();
        if (items.empty() || cancel.isSet()) return content;
        Content data = make(items, cancel);
        content.tooLarge = data.tooLarge && !cancel.isSet();
        if (!content.tooLarge) content.data = std::move(data.data);
        return content;
    };
    const auto hand = [this, limit = limit_](Content content) {
        tellFailures(prompter_, Change::reach, content.refused);
        if (content.tooLarge) prompter_.ask(alerts::clipboardLimitAlert(limit));
        if (content.data) desktop_.setClipboard(content.data.release());
    };
    if (listing.count <= kItemsInPlace) {
        hand(made(listing, CancelFlag()));
        return;
    }
    // The nodes' trees stay whole until the content is made, whatever scan ends meanwhile.
    const uint64_t job = jobs_.start({});
    runInBackground(
        jobs_.context(), generations_,
        [listing = std::move(listing), made](const CancelFlag& cancel) {
            Content content = made(listing, cancel);
            // Handed to the GUI thread, where the clipboard takes it.
            if (content.data) content.data->moveToThread(QCoreApplication::instance()->thread());
            return content;
        },
        [this, job, hand](Content content) {
            jobs_.end(job);
            // The last hold on trees a scan replaced meanwhile would free them here. The job's
            // buffers and the clipboard's content before were freed in arenas the allocator
            // keeps (a copy of hundreds of thousands of files left gigabytes resident): the pool
            // gives them back once it let go of the trees.
            std::shared_ptr<const void> trees = std::move(content.trees);
            hand(std::move(content));
            jobs_.letGo(std::move(trees));
        },
        [this, job] { jobs_.end(job); });
}

}  // namespace zelvane
