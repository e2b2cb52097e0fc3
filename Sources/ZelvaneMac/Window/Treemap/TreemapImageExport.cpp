#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

#include <QCoreApplication>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>

#include <limits>
#include <memory>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"

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
    // Both sides are checked before their product is formed, so it cannot overflow.
    const bool fits = width >= 1 && height >= 1 && width <= kMaxTreemapImageSide && height <= kMaxTreemapImageSide &&
                      width * height <= kMaxTreemapImagePixels;
    if (fits) return std::nullopt;
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

    const NodeMetric metric = treemapCanvasMetric(r.useAllocatedSize);
    const ColorRank noColors;
    TreemapLayoutOptions options;
    options.metric = metric;
    options.showLabels = r.showLabels;
    options.colorRank = r.shadesOfGray ? &noColors : &r.colorRank;
    options.fileGroupMinSize = r.fileGroupMinSize;
    const TreemapRect bounds{0, 0, double(r.width), double(r.height)};
    TreemapLayout layout;
    if (r.zoomedNode) {
        layout.hitRoots.push_back(
            layoutTreemapNode(r.zoomedNode, bounds, true, kRootRidgeHeight, CushionSurface{}, options, layout));
    } else {
        layout = layoutMultiRootTreemap(std::span<const RootRef>(r.roots), bounds, options, r.showFreeSpace, r.capacities);
    }

    TreemapRenderOptions render;
    render.pixelScale = 1;
    render.metric = metric;
    render.byteUnitBase = r.byteUnitBase;
    render.byteSizeDisplayMode = r.byteSizeDisplayMode;
    render.showLabels = r.showLabels;
    render.gradientEnabled = r.gradientEnabled;
    const TreemapImage rendered = renderTreemapImage(QSizeF(double(r.width), double(r.height)), layout, r.paletteRGB, render);
    if (!rendered.ok()) return localized("Couldn't render the treemap image.");

    QImage picture(int(r.width), int(r.height), QImage::Format_RGBA8888_Premultiplied);
    if (picture.isNull()) return localized("Couldn't render the treemap image.");
    {
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), treemapBackgroundColor().toQColor());
        painter.drawImage(QRectF(0, 0, double(r.width), double(r.height)), rendered.image);
    }
    const PNGWriteResult written = writeTreemapPNG(picture, path);
    if (!written.ok) return fillPlaceholders(localized("Couldn't write the PNG file: %@"), {written.errorMessage});
    return std::nullopt;
}

namespace {

// The completion of one background export, kept on the GUI thread as a child of the receiver:
// whatever becomes of the work, the completion and what it holds (a busy cursor, say) are
// destroyed on the GUI thread, with the receiver at the latest.
class ExportCompletion final : public QObject {
public:
    ExportCompletion(std::function<void(std::optional<QString>)> done, QObject* parent)
        : QObject(parent), done_(std::move(done)) {}
    void finish(std::optional<QString> failure) {
        auto done = std::move(done_);
        deleteLater();
        if (done) done(std::move(failure));
    }

private:
    std::function<void(std::optional<QString>)> done_;
};

}  // namespace

void exportTreemapImageInBackground(TreemapImageExportRequest request, QString path, QObject* receiver,
                                    std::function<void(std::optional<QString> failure)> done) {
    QPointer<ExportCompletion> completion(new ExportCompletion(std::move(done), receiver));
    QThreadPool::globalInstance()->start([request = std::move(request), path = std::move(path), completion]() mutable {
        auto failure = std::make_shared<std::optional<QString>>(exportTreemapImage(request, path));
        // The trees are let go here, off the GUI thread: the last reference may free a large tree.
        request = {};
        // Posted to the application object, which outlives every receiver; none is left only
        // once the program is ending, and then nothing waits for the outcome.
        if (QCoreApplication* application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                application,
                [completion, failure] {
                    if (completion) completion->finish(std::move(*failure));
                },
                Qt::QueuedConnection);
        }
    });
}

}  // namespace zelvane
