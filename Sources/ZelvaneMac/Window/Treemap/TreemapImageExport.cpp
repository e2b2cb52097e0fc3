#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

#include <QLocale>

#include <limits>
#include <memory>

#include "Platform/RegularFile.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"

namespace zelvane {

TreemapExportSizeEdit editTreemapExportSize(const QString& typed) {
    TreemapExportSizeEdit edit;
    for (const QChar c : typed)
        if (c.isNumber()) edit.text.append(c);
    if (edit.text.isEmpty()) return edit;
    bool ok = false;
    const qlonglong v = edit.text.toLongLong(&ok, 10);
    if (ok && v >= 1) edit.value = int64_t(v);
    return edit;
}

int64_t treemapExportFieldSize(const QString& text) {
    const TreemapExportSizeEdit edit = editTreemapExportSize(text);
    if (edit.value) return *edit.value;
    // Digits that parse to 0, or to nothing because they run past the 64-bit range.
    bool ok = false;
    edit.text.toLongLong(&ok, 10);
    return edit.text.isEmpty() || ok ? 0 : std::numeric_limits<int64_t>::max();
}

std::optional<QString> treemapImageSizeRefusal(int64_t width, int64_t height) {
    if (treemapImageSizeFits(width, height)) return std::nullopt;
    const QLocale locale;
    return localized("Couldn't render the treemap image.") + QStringLiteral("\n\n") +
           fillPlaceholders(localized("The width and height must each be between 1 and %@ pixels, and the picture "
                                      "at most %@ pixels in all."),
                            {locale.toString(qlonglong(kMaxTreemapImageSide)),
                             locale.toString(qlonglong(kMaxTreemapImagePixels))});
}

std::optional<QString> exportTreemapImage(const TreemapImageExportRequest& r, const QString& path) {
    // A picture this large cannot be made: refused before anything is allocated, like any
    // other bitmap that cannot be had.
    if (auto refusal = treemapImageSizeRefusal(r.width, r.height)) return refusal;
    // Nor into a device, a FIFO or a socket: a FIFO nobody reads would hold the write.
    if (namesASpecialFile(pathBytesFromQString(path)))
        return fillPlaceholders(localized("Couldn't write the PNG file: %@"),
                                {localized("Not a regular file (a device, pipe or socket)")});

    // Items shown deleted take no room (the export metric), and a root or a zoomed folder shown
    // deleted leaves nothing to draw, not even its name on its strip: the picture is background.
    std::vector<RootRef> roots;
    std::vector<VolumeCapacity> capacities;
    const bool zoomGone = r.zoomedNode && r.zoomedNode->isDeleted();
    for (size_t i = 0; i < r.roots.size() && !zoomGone; ++i) {
        if (!r.roots[i] || r.roots[i]->isDeleted()) continue;
        roots.push_back(r.roots[i]);
        capacities.push_back(i < r.capacities.size() ? r.capacities[i] : VolumeCapacity{});
    }
    TreemapPictureRequest picture;
    picture.roots = roots;
    picture.zoomedNode = zoomGone ? nullptr : r.zoomedNode;
    picture.capacities = capacities;
    picture.showFreeSpace = r.showFreeSpace;
    picture.size = QSizeF(double(r.width), double(r.height));
    picture.palette = r.paletteRGB;
    picture.layout.metric = treemapExportMetric(r.useAllocatedSize);
    picture.layout.showLabels = r.showLabels;
    picture.layout.colorRank = r.shadesOfGray ? nullptr : &r.colorRank;
    picture.layout.fileGroupMinSize = r.fileGroupMinSize;
    picture.render.byteUnitBase = r.byteUnitBase;
    picture.render.byteSizeDisplayMode = r.byteSizeDisplayMode;
    picture.render.gradientEnabled = r.gradientEnabled;
    const TreemapPNGResult result = writeTreemapPicturePNG(picture, pathBytesFromQString(path));
    switch (result.status) {
    case TreemapPNGStatus::written: return std::nullopt;
    case TreemapPNGStatus::sizeRefused:
    case TreemapPNGStatus::outOfMemory: return localized("Couldn't render the treemap image.");
    case TreemapPNGStatus::notWritten: break;
    }
    return fillPlaceholders(localized("Couldn't write the PNG file: %@"), {result.written.errorMessage});
}

namespace {

// The completion of one background export, kept on the GUI thread as a child of the receiver:
// whatever becomes of the work, the completion and what it holds (a busy cursor, say) are
// destroyed on the GUI thread, with the receiver at the latest.
class ExportCompletion final : public QObject {
public:
    ExportCompletion(std::function<void(std::optional<QString>)> done, QObject* parent)
        : QObject(parent), done_(std::move(done)) {}
    // Exports do not supersede one another: each has a generation of its own.
    JobGeneration& generation() { return generation_; }
    void finish(std::optional<QString> failure) {
        auto done = std::move(done_);
        deleteLater();
        if (done) done(std::move(failure));
    }

private:
    JobGeneration generation_;
    std::function<void(std::optional<QString>)> done_;
};

}  // namespace

void exportTreemapImageInBackground(TreemapImageExportRequest request, QString path, QObject* receiver,
                                    std::function<void(std::optional<QString> failure)> done) {
    auto* completion = new ExportCompletion(std::move(done), receiver);
    runInBackground(
        completion, completion->generation(),
        [request = std::move(request), path = std::move(path)]() mutable {
            std::optional<QString> failure = exportTreemapImage(request, path);
            // The trees are let go here, off the GUI thread: the last reference may free a large tree.
            request = {};
            return failure;
        },
        [completion](std::optional<QString> failure) { completion->finish(std::move(failure)); });
}

}  // namespace zelvane
