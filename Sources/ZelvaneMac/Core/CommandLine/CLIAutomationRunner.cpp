#include "ZelvaneMac/Core/CommandLine/CLIAutomationRunner.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/FileTypes/FileTypesCSVExporter.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Scan/FullDiskAccessChecker.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ScanEngine/Scan/TreeScan.hpp"
#include "ScanEngine/Support/Text.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <filesystem>
#include <limits>
#include <optional>
#include <system_error>

namespace zelvane {
namespace {

void writeErrorLine(const std::string& text) {
    const std::string line = "ZelvaneMac: " + CLIAutomationRunner::escapedForMessage(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

std::string errnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

std::string lowercasedASCII(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// The extension of the path's last component, without its dot; a leading dot (a hidden file's
// name) starts no extension.
std::optional<size_t> extensionDot(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) return std::nullopt;
    return dot;
}

std::string extensionOf(const std::string& path) {
    const auto dot = extensionDot(path);
    return dot ? lowercasedASCII(path.substr(*dot + 1)) : std::string();
}

// The folders missing on the way to an output, made for it; when that fails the write that
// follows reports why. Unless the output was written they are removed again (those still empty),
// so a failed output leaves nothing of its own behind.
class CreatedParentFolders final {
public:
    explicit CreatedParentFolders(const std::string& path) {
        std::vector<std::filesystem::path> missing;
        std::error_code ec;
        for (std::filesystem::path p = std::filesystem::path(path).parent_path(); !p.empty() && p != p.root_path();
             p = p.parent_path()) {
            if (std::filesystem::exists(std::filesystem::symlink_status(p, ec))) break;
            missing.push_back(p);
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (::mkdir(it->c_str(), 0777) != 0) break;
            made_.push_back(*it);
        }
    }
    ~CreatedParentFolders() {
        if (kept_) return;
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            if (::rmdir(it->c_str()) != 0) break;
    }
    CreatedParentFolders(const CreatedParentFolders&) = delete;
    CreatedParentFolders& operator=(const CreatedParentFolders&) = delete;
    void keep() { kept_ = true; }

private:
    std::vector<std::filesystem::path> made_;
    bool kept_ = false;
};

// The files this run's outputs were written to, so that no two outputs write one file.
class ClaimedOutputs final {
public:
    // The name of the output that already claimed the file `path` names, if one did; otherwise
    // claims it for `output`. Devices and pipes are never claimed. The same file is found by its spelling, made absolute and without
    // "." components, and, once written, by its identity (a link or a second spelling).
    std::optional<std::string> claim(const std::string& path, const std::string& output) {
        struct stat st {};
        const bool exists = ::stat(path.c_str(), &st) == 0;
        // A device or a pipe is written in place, one output after the other: nothing is lost
        // when several go there (/dev/null, /dev/stdout).
        if (exists && !S_ISREG(st.st_mode)) return std::nullopt;
        const std::string spelled = std::filesystem::absolute(path).lexically_normal().string();
        for (const Claim& c : claims_) {
            if (c.spelled == spelled) return c.output;
            struct stat other {};
            if (exists && ::stat(c.path.c_str(), &other) == 0 && other.st_dev == st.st_dev && other.st_ino == st.st_ino)
                return c.output;
        }
        claims_.push_back({path, spelled, output});
        return std::nullopt;
    }

private:
    struct Claim {
        std::string path;
        std::string spelled;
        std::string output;
    };
    std::vector<Claim> claims_;
};

// Why `path` cannot be an output file at all, before anything is written: no name, or a folder.
std::optional<std::string> unusableOutputPath(const std::string& path) {
    if (path.empty()) return errnoText(ENOENT);
    struct stat st {};
    if (path.back() == '/' || (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return errnoText(EISDIR);
    return std::nullopt;
}

// Checks the output's path and claims it; the reason it cannot be written, if any.
std::optional<std::string> refuseOutputPath(const std::string& path, const std::string& output,
                                            ClaimedOutputs& claims) {
    if (auto reason = unusableOutputPath(path)) return reason;
    if (auto first = claims.claim(path, output)) return "the " + *first + " is written to the same file";
    return std::nullopt;
}

int clampToInt(int64_t v) {
    return int(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Hard links and clones counted elsewhere add nothing to the allocated measure.
struct CapacityEntry {
    std::string path;
    VolumeCapacity capacity;
};

// Keyed by the root path's exact bytes (so a name that is not UTF-8 finds its volume too); a
// folder named twice keeps its first entry (both name the same volume).
std::optional<VolumeCapacity> lookUpCapacity(const std::vector<CapacityEntry>& table, const std::string& path) {
    for (const CapacityEntry& e : table)
        if (e.path == path) return e.capacity;
    return std::nullopt;
}

std::optional<std::string> exportTree(const std::vector<RootRef>& roots, const std::vector<CapacityEntry>& capacities,
                                      const CLIAutomation::Options& options, const QDateTime& startTime,
                                      ClaimedOutputs& claims) {
    const std::string path = CLIAutomationRunner::expandPathTemplate(*options.exportPath, startTime);
    const std::string what = "could not write the CSV export \"" + path + "\": ";
    if (auto refused = refuseOutputPath(path, "CSV export", claims)) return what + *refused;
    CLIAutomation::sortTree(roots, options.sortBy);
    CreatedParentFolders folders(path);
    const CSVExportOptions csvOptions{
        .exportFiles = options.exportFiles,
        .exportFolders = options.exportFolders,
        .exportFileID = options.exportMFTRecNo,
        .exportDates = options.exportAllDates,
        .exportFolderSizes = options.exportAllSizes,
        .splitFilename = options.exportSplitFilename,
        .exportDriveCapacity = options.exportDriveCapacity,
        .exportPercentOfParent = options.exportPercentOfParent,
        .maxDepth = clampToInt(options.exportMaxDepth),
        .useTabDelimiter = extensionOf(path) == "tsv",
        .useUTC = options.exportUTCTime,
    };
    const DriveCapacityQuery driveCapacity = [&](const FileNode& node) {
        return lookUpCapacity(capacities, node.pathBytes()).value_or(VolumeCapacity{});
    };
    const auto error = exportToCSV(roots, csvOptions, false, driveCapacity, path);
    if (!error) {
        folders.keep();
        return std::nullopt;
    }
    if (error->kind == CSVExportError::Kind::noFilesOrFoldersSelected)
        return what + "both file rows and folder rows are switched off";
    return what + errnoText(error->underlyingErrno);
}

std::optional<std::string> exportFileTypes(const std::vector<ExtensionStats>& stats,
                                           const CLIAutomation::Options& options, const QDateTime& startTime,
                                           ClaimedOutputs& claims) {
    const std::string path = CLIAutomationRunner::expandPathTemplate(*options.exportFileTypesPath, startTime);
    const std::string what = "could not write the file-type CSV \"" + path + "\": ";
    if (auto refused = refuseOutputPath(path, "file-type CSV", claims)) return what + *refused;
    CreatedParentFolders folders(path);
    const auto sorted = CLIAutomation::sortedExtensionStats(stats, options.sortByFileTypes);
    const auto error = exportFileTypesToCSV(sorted, options.sortByFileTypes == 2, path);
    if (!error) {
        folders.keep();
        return std::nullopt;
    }
    return what + errnoText(error->underlyingErrno);
}

struct ImageSettings {
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    bool showLabels = true;
    bool gradientEnabled = true;
    int fileGroupMinSize = 4;
    PaletteRGB palette;
};

std::optional<std::string> exportImage(const std::vector<RootRef>& roots, const std::vector<CapacityEntry>& capacities,
                                       const ColorRank& colorRank, const ImageSettings& settings,
                                       const CLIAutomation::Options& options, const QDateTime& startTime,
                                       ClaimedOutputs& claims) {
    const std::string given = CLIAutomationRunner::expandPathTemplate(*options.treemapImageFile, startTime);
    // An empty name or a folder is refused as given, before ".png" could turn it into a hidden file.
    if (auto reason = unusableOutputPath(given))
        return "could not write the treemap image \"" + given + "\": " + *reason;
    const std::string path = CLIAutomationRunner::pngPath(given);
    const std::string what = "could not write the treemap image \"" + path + "\": ";
    if (auto refused = refuseOutputPath(path, "treemap image", claims)) return what + *refused;
    const int64_t w = options.treemapImageWidth;
    const int64_t h = options.treemapImageHeight;
    if (!treemapImageSizeFits(w, h))
        return what + "the size " + std::to_string(w) + " x " + std::to_string(h) + " is not between 1 and " +
               std::to_string(kMaxTreemapImageSide) + " pixels a side and " + std::to_string(kMaxTreemapImagePixels) +
               " pixels in all";
    CLIAutomation::sortTree(roots, 2);

    std::vector<VolumeCapacity> rootCapacities;
    rootCapacities.reserve(roots.size());
    for (const RootRef& root : roots) {
        rootCapacities.push_back(lookUpCapacity(capacities, root->pathBytes()).value_or(VolumeCapacity{}));
    }

    TreemapPictureRequest picture;
    picture.roots = roots;
    picture.capacities = rootCapacities;
    picture.showFreeSpace = options.treemapImageFreeSpace;
    picture.size = QSizeF(double(w), double(h));
    picture.palette = settings.palette;
    picture.layout.metric = treemapExportMetric(options.treemapImageShowAllocated);
    picture.layout.showLabels = settings.showLabels;
    picture.layout.colorRank = options.treemapImageGray ? nullptr : &colorRank;
    picture.layout.fileGroupMinSize = settings.fileGroupMinSize;
    picture.render.byteUnitBase = settings.byteUnitBase;
    picture.render.byteSizeDisplayMode = settings.byteSizeDisplayMode;
    picture.render.gradientEnabled = settings.gradientEnabled;
    CreatedParentFolders folders(path);
    const TreemapPNGResult result = writeTreemapPicturePNG(picture, path);
    switch (result.status) {
    case TreemapPNGStatus::written: folders.keep(); return std::nullopt;
    case TreemapPNGStatus::sizeRefused:
    case TreemapPNGStatus::outOfMemory: return what + "not enough memory for the picture";
    case TreemapPNGStatus::notWritten: break;
    }
    if (result.written.error == 0) return what + "the picture could not be encoded as PNG";
    return what + errnoText(result.written.error);
}

ImageSettings readImageSettings(const Preferences& prefs, const QString& paletteJSON) {
    namespace K = PreferenceKeys;
    ImageSettings s;
    const SizeTextFormat sizes = SizeTextFormat::of(prefs);
    s.byteUnitBase = sizes.base;
    s.byteSizeDisplayMode = sizes.mode;
    s.showLabels = prefs.value(K::showTreemapFilenames);
    s.gradientEnabled = prefs.value(K::tweakGradientEnabled);
    s.fileGroupMinSize = clampToInt(prefs.value(K::tweakFileGroupMinSize));
    // Every consumer indexes 13 slots, the free-space colour the last: a stored list of another
    // length is completed from the defaults or cut.
    s.palette = TreemapColorSettings::paletteRGB(TreemapColorSettings::paletteColors(paletteJSON));
    return s;
}

}  // namespace

std::string CLIAutomationRunner::expandPathTemplate(const std::string& pathTemplate, const QDateTime& moment) {
    std::string out = pathTemplate;
    const QDateTime local = moment.toLocalTime();
    replaceAll(out, "%d", local.toString(QStringLiteral("yyyyMMdd")).toStdString());
    replaceAll(out, "%t", local.toString(QStringLiteral("HHmmss")).toStdString());
    return out;
}

std::string CLIAutomationRunner::escapedForMessage(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out.push_back(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += "\\x";
            out.push_back(kHex[byte >> 4]);
            out.push_back(kHex[byte & 15]);
        }
    }
    return out;
}

std::string CLIAutomationRunner::pngPath(const std::string& path) {
    const auto dot = extensionDot(path);
    if (dot && lowercasedASCII(path.substr(*dot + 1)) == "png") return path;
    return (dot ? path.substr(0, *dot) : path) + ".png";
}

std::vector<std::string> CLIAutomationRunner::performExports(const std::vector<RootRef>& scannedRoots,
                                                             const CLIAutomation::Options& options,
                                                             const Preferences& prefs,
                                                             const QDateTime& startTime) {
    std::vector<std::string> failures;

    std::vector<RootRef> roots = scannedRoots;
    if (options.filter || options.filterExclude) {
        bool includeFullPath = options.filterFullPath;
        bool excludeFullPath = options.filterFullPath;
        std::optional<DecodedFilter> include;
        std::optional<DecodedFilter> exclude;
        if (options.filter) include = decodeFilterText(std::string_view(*options.filter), includeFullPath);
        if (options.filterExclude) exclude = decodeFilterText(std::string_view(*options.filterExclude), excludeFullPath);
        FilteredTreeOptions filterOptions;
        filterOptions.includeFilters = include ? &*include : nullptr;
        filterOptions.includeFullpath = includeFullPath;
        filterOptions.excludeFilters = exclude ? &*exclude : nullptr;
        filterOptions.excludeFullpath = excludeFullPath;
        for (RootRef& root : roots) root = loadFilteredTree(*root, filterOptions);
    }

    // Asked now, by the roots' exact bytes, so that all three numbers of a volume come from one
    // look-up.
    std::vector<CapacityEntry> capacities;
    for (const RootRef& root : scannedRoots) {
        std::string path = root->pathBytes();
        if (lookUpCapacity(capacities, path)) continue;
        if (const VolumeCapacity c = volumeCapacity(path); c.isKnown()) capacities.push_back({std::move(path), c});
    }

    ClaimedOutputs claims;
    if (options.exportPath)
        if (auto failure = exportTree(roots, capacities, options, startTime, claims))
            failures.push_back(std::move(*failure));

    const bool colorBySize = prefs.value(PreferenceKeys::treemapColorBySize);
    const QStringList extensionLists =
        TreemapColorSettings::extensionLists(prefs.value(PreferenceKeys::treemapExtensionListsJSON));

    if (!options.exportFileTypesPath && !options.treemapImageFile) return failures;
    const ExtensionStatsResult stats = computeExtensionStats(roots, colorBySize, extensionLists);

    if (options.exportFileTypesPath)
        if (auto failure = exportFileTypes(stats.all, options, startTime, claims))
            failures.push_back(std::move(*failure));

    if (options.treemapImageFile) {
        const ImageSettings settings = readImageSettings(prefs, prefs.value(PreferenceKeys::treemapPaletteColorsJSON));
        if (auto failure = exportImage(roots, capacities, stats.colorRank, settings, options, startTime, claims))
            failures.push_back(std::move(*failure));
    }
    return failures;
}

CLIAutomationRunner::CLIAutomationRunner(const Preferences& preferences, CommandLine commandLine,
                                         std::function<void(int)> exit)
    : preferences_(preferences), commandLine_(std::move(commandLine)), exit_(std::move(exit)) {}

CLIAutomationRunner::~CLIAutomationRunner() { QObject::disconnect(scanStateConnection_); }

void CLIAutomationRunner::finish(int code) {
    if (finished_) return;
    finished_ = true;
    QObject::disconnect(scanStateConnection_);
    exit_(code);
}

bool CLIAutomationRunner::runIfNeeded() {
    const CLIAutomation::Options& options = commandLine_.options;
    if (!options.isExportMode()) return false;

    if (!FullDiskAccessChecker::hasFullDiskAccess()) {
        std::fputs(
            "ZelvaneMac: an automated export needs Full Disk Access already granted, so the scan can never hit a "
            "permission prompt with no one to answer it. Grant it in system settings > Privacy & Security > Full "
            "Disk Access, then re-run.\n",
            stderr);
        finish(kExitPreconditionFailed);
        return true;
    }

    for (const std::string& message : CLIAutomation::valuesNotUnderstood(commandLine_.arguments)) writeErrorLine(message);

    for (const SkippedArgument& skipped : commandLine_.targets.skipped)
        writeErrorLine("skipped \"" + skipped.argument + "\": " + skipped.reason);
    QStringList folders;
    for (const std::string& folder : commandLine_.targets.folders) folders << qStringFromPathBytes(folder);
    if (folders.isEmpty()) {
        std::fputs("ZelvaneMac: no valid folder path given to scan.\n", stderr);
        finish(kExitPreconditionFailed);
        return true;
    }

    const QDateTime startTime = QDateTime::currentDateTime();
    viewModel_ = std::make_unique<ScanViewModel>();
    ScanViewModel* model = viewModel_.get();
    scanStateConnection_ = QObject::connect(
        model, &ScanViewModel::scanStateChanged, model, [this, model, options, startTime](const ScanState& state) {
            if (state.tag() == ScanState::Tag::scanning || state.tag() == ScanState::Tag::idle) return;
            // Nothing may leave through the event loop: running out of memory ends the run with
            // its line. An export being written then was never put in place of an earlier file.
            try {
                finishRun(*model, state, options, startTime);
            } catch (const std::bad_alloc&) {
                static constexpr char kLine[] =
                    "ZelvaneMac: ran out of memory; the exports not finished by then were not written\n";
                std::fwrite(kLine, 1, sizeof kLine - 1, stderr);
                std::fflush(stderr);
                finish(kExitOutputFailed);
            }
        });

    if (folders.size() == 1)
        model->selectRoot(folders.front(), folders.front());
    else
        model->selectPaths(folders);
    model->startScan(std::nullopt, false, preferences_.value(PreferenceKeys::tweakShowMaxModifiedDate));
    return true;
}

void CLIAutomationRunner::finishRun(const ScanViewModel& model, const ScanState& state,
                                    const CLIAutomation::Options& options, const QDateTime& startTime) {
    // A subfolder that could not be read is exported as an empty folder and named here; a root
    // that could not be read fails the scan, and nothing is written.
    bool rootFailed = false;
    for (const UnreadableFolder& f : model.lastScanUnreadableFolders()) {
        writeErrorLine("could not read the folder \"" + f.pathBytes + "\": " + errnoText(f.error));
        rootFailed = rootFailed || f.isRoot;
    }
    if (state.tag() == ScanState::Tag::failed || rootFailed) {
        if (state.tag() == ScanState::Tag::failed && !rootFailed)
            writeErrorLine("the scan failed: " + std::get<ScanState::Failed>(state.value).message.toStdString());
        else
            writeErrorLine("the scan failed; nothing was written");
        finish(kExitOutputFailed);
        return;
    }
    const std::vector<RootRef> roots = state.roots();
    if (roots.empty()) {
        writeErrorLine("the scan ended without a result; nothing was written");
        finish(kExitOutputFailed);
        return;
    }
    const auto failures = performExports(roots, options, preferences_, startTime);
    for (const std::string& failure : failures) writeErrorLine(failure);
    finish(failures.empty() ? kExitSuccess : kExitOutputFailed);
}

}  // namespace zelvane
