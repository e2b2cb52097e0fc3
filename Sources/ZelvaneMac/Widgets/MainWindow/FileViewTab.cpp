#include "ZelvaneMac/Widgets/MainWindow/FileViewTab.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FileActionMenu.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/WindowCommands.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/ResultTabSetup.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

namespace {

void keepTitlesWhole(QLayoutItem* item) {
    if (QLayout* inner = item->layout()) {
        for (int i = 0; i < inner->count(); ++i) keepTitlesWhole(inner->itemAt(i));
    } else if (QWidget* w = item->widget(); w && (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w))) {
        w->setSizePolicy(QSizePolicy::Minimum, w->sizePolicy().verticalPolicy());
    }
}

DuplicateMethod dupMethodOf(const Preferences& p) {
    const int64_t raw = p.value(PreferenceKeys::fileDupMethod);
    return raw == 1 ? DuplicateMethod::nameSize : raw == 2 ? DuplicateMethod::nameSizeDate : DuplicateMethod::none;
}

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, secondaryTextColor(pal));
    l->setPalette(pal);
    return l;
}

}  // namespace

FileViewTab::FileViewTab(ContentViewState& state, QWidget* parent) : QWidget(parent), state_(state) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* bar = new QWidget(this);
    buildSearchBar(bar);
    layout->addWidget(bar);
    layout->addWidget(paneSeparator(this));

    content_ = new QStackedWidget(this);
    empty_ = new EmptyStateView(localized("No Scan Results"), zelvaneIconImage(96), firstStepsDescription(), content_);
    content_->addWidget(empty_);

    FileListCallbacks callbacks;
    callbacks.onSelectionChanged = [this](const std::vector<FileNode*>& nodes) {
        state_.fileSelection().set(NodeSet(nodes.begin(), nodes.end()));
    };
    callbacks.onHover = [this](const std::optional<QString>& path) {
        if (state_.selectedTab() == ContentTab::fileView) state_.hoverPathState().setPath(path);
    };
    callbacks.onRenameEditingEnded = [this] {
        state_.setIsRenamingInline(false);
        state_.liveMonitor().forgetNameLookups();
    };
    callbacks.open = [this](const FileNode& n) {
        fileActions_->actions().targetNodesProvider = [node = const_cast<FileNode*>(&n)] {
            return std::vector<FileNode*>{node};
        };
        fileActions_->actions().open();
    };
    callbacks.reveal = [this](const FileNode& n) {
        fileActions_->actions().targetNodesProvider = [node = const_cast<FileNode*>(&n)] {
            return std::vector<FileNode*>{node};
        };
        fileActions_->actions().showInFileManager();
    };
    callbacks.fileActions = fileActionHooks([this] { return fileActions_.get(); });
    list_ = new FileListView(std::move(callbacks), state_.preferences(), commandLineRowSort(state_.cliAutomationOptions()),
                             content_);
    content_->addWidget(list_);
    layout->addWidget(content_, 1);

    fileActions_ = std::make_unique<FileActionMenu>(list_);
    const ContextMenuCommands commands = contextMenuCommands(state_, this);
    fileActions_->setOnExportToCSV(commands.exportToCSV);
    fileActions_->setOnZoomTreemap(commands.zoomIn);
    fileActions_->setOnUnzoomTreemap(commands.zoomOut);
    fileActions_->setOnNodesDeleted([this](const std::vector<FileNode*>& nodes) {
        state_.liveMonitor().markDeletedLocally(nodes);
    });

    FileListPipeline& pipeline = list_->pipeline();
    connect(&pipeline, &FileListPipeline::resultsChanged, this, [this](const FileListResults& r) {
        state_.fileResults().setFileResultCount(r.count);
        state_.fileResults().setFileResultTotalSize(r.totalSize);
        state_.fileResults().setFileResultTotalAlloc(r.totalAlloc);
    });
    connect(&pipeline, &FileListPipeline::locatingDuplicatesChanged, this, [this](bool on) {
        state_.fileResults().setFileIsLocatingDuplicates(on);
    });
    connect(&state_.fileResults(), &FileViewResults::fileIsLocatingDuplicatesChanged, this, [this](bool on) { locating_->setVisible(on); });

    connect(&state_.scanControl(), &ScanController::effectiveRootsChanged, this, &FileViewTab::updateList);
    connect(&state_.fileResults(), &FileViewResults::fileFilterTextChanged, this, [this] {
        search_->setText(state_.fileResults().fileFilterText());
        clearSearch_->setVisible(!state_.fileResults().fileFilterText().isEmpty());
        updateList();
    });
    connect(&state_, &ContentViewState::selectedTabChanged, this, &FileViewTab::updateList);
    connect(&state_.scanControl(), &ScanController::liveChanges, this, [this](const NodeList& changed) {
        if (state_.selectedTab() == ContentTab::fileView) list_->refreshNodes(changed);
        list_->pipeline().recountShownRows();
    });
    connect(&state_.commands(), &ViewCommands::renameInFileView, this, [this](FileNode* node) {
        if (state_.selectedTab() == ContentTab::fileView)
            list_->startRename(node);
        else {
            state_.setIsRenamingInline(false);
            state_.liveMonitor().forgetNameLookups();
        }
    });
    connect(&state_.commands(), &ViewCommands::focusFileSearch, this,
            [this] { search_->setFocus(Qt::OtherFocusReason); });
    connect(&state_.preferences(), &Preferences::changed, this, [this](const QString& key) {
        const auto k = [](const auto& preferenceKey) {
            return QString::fromLatin1(preferenceKey.name.data(), qsizetype(preferenceKey.name.size()));
        };
        const QStringList watched = {
            k(PreferenceKeys::fileSearchHistoryJSON), k(PreferenceKeys::fileMatchEntirePath),
            k(PreferenceKeys::fileIncludeFolders), k(PreferenceKeys::fileMaxFilesOption),
            k(PreferenceKeys::fileDupMethod), k(PreferenceKeys::fileDupsOnly),
            k(PreferenceKeys::byteUnitBase), k(PreferenceKeys::byteSizeDisplayMode),
            k(PreferenceKeys::tweakDecimalPlaces), k(PreferenceKeys::tweakShowHorizontalLines),
            k(PreferenceKeys::tweakAltRowColors), k(PreferenceKeys::tweakEnableDragDrop),
            k(PreferenceKeys::tweakEnableDoubleClickOpen)};
        if (!watched.contains(key)) return;
        syncControls();
        updateList();
    });
    syncControls();
    locating_->setVisible(state_.fileResults().fileIsLocatingDuplicates());
    updateList();
}

FileViewTab::~FileViewTab() = default;

void FileViewTab::buildSearchBar(QWidget* bar) {
    bar->setFont(calloutFont());
    auto* rows = new QVBoxLayout(bar);
    rows->setContentsMargins(10, 6, 10, 6);
    rows->setSpacing(6);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(14);
    Preferences& prefs = state_.preferences();
    matchName_ = new QRadioButton(localized("Match file name only"), bar);
    matchPath_ = new QRadioButton(localized("Match entire path"), bar);
    auto* group = new QButtonGroup(bar);
    group->addButton(matchName_);
    group->addButton(matchPath_);
    connect(matchName_, &QRadioButton::clicked, this, [&prefs] { prefs.set(PreferenceKeys::fileMatchEntirePath, false); });
    connect(matchPath_, &QRadioButton::clicked, this, [&prefs] { prefs.set(PreferenceKeys::fileMatchEntirePath, true); });
    auto* radios = new QHBoxLayout;
    radios->setSpacing(8);
    radios->addWidget(matchName_);
    radios->addWidget(matchPath_);
    controls->addLayout(radios);

    folders_ = new QCheckBox(localized("Folders"), bar);
    connect(folders_, &QCheckBox::clicked, this, [&prefs](bool on) { prefs.set(PreferenceKeys::fileIncludeFolders, on); });
    controls->addWidget(folders_);

    auto* maxGroup = new QHBoxLayout;
    maxGroup->setSpacing(6);
    maxGroup->addWidget(secondaryLabel(localized("Max files:"), bar));
    maxFiles_ = new QComboBox(bar);
    for (MaxFilesOption o : kAllMaxFilesOptions) maxFiles_->addItem(maxFilesDisplayLabel(o), maxFilesRawValue(o));
    maxFiles_->setMinimumWidth(84);
    connect(maxFiles_, &QComboBox::activated, this, [this, &prefs](int i) {
        prefs.set(PreferenceKeys::fileMaxFilesOption, maxFiles_->itemData(i).toString());
    });
    maxGroup->addWidget(maxFiles_);
    controls->addLayout(maxGroup);

    auto* dupGroup = new QHBoxLayout;
    dupGroup->setSpacing(6);
    dupGroup->addWidget(secondaryLabel(localized("Duplicate Files:"), bar));
    dupMethod_ = new QComboBox(bar);
    dupMethod_->addItem(localized("Don't locate duplicates"), 0);
    dupMethod_->addItem(localized("Locate by Name, Size"), 1);
    dupMethod_->addItem(localized("Locate by Name, Size, Date"), 2);
    dupMethod_->setMinimumWidth(210);
    connect(dupMethod_, &QComboBox::activated, this, [this, &prefs](int i) {
        prefs.set(PreferenceKeys::fileDupMethod, dupMethod_->itemData(i).toInt());
    });
    dupGroup->addWidget(dupMethod_);
    dupsOnly_ = new QCheckBox(localized("Duplicates only"), bar);
    connect(dupsOnly_, &QCheckBox::clicked, this, [&prefs](bool on) { prefs.set(PreferenceKeys::fileDupsOnly, on); });
    dupGroup->addWidget(dupsOnly_);
    controls->addLayout(dupGroup);
    controls->addStretch(1);
    // Titles are never squeezed: the row's full width counts towards the window's smallest width,
    // which grows where a language's titles are longer than the English ones.
    for (int i = 0; i < controls->count(); ++i) keepTitlesWhole(controls->itemAt(i));

    locating_ = new QWidget(bar);
    auto* loc = new QHBoxLayout(locating_);
    loc->setContentsMargins(0, 0, 0, 0);
    loc->setSpacing(6);
    auto* spinner = new QProgressBar(locating_);
    spinner->setRange(0, 0);
    spinner->setFixedSize(40, 10);
    spinner->setTextVisible(false);
    loc->addWidget(spinner);
    loc->addWidget(secondaryLabel(localized("Locating duplicates…"), locating_));
    controls->addWidget(locating_);
    rows->addLayout(controls);

    auto* searchRow = new QFrame(bar);
    searchRow->setObjectName(QStringLiteral("fileSearchRow"));
    QColor fill = secondaryTextColor(searchRow->palette());
    fill.setAlphaF(0.12);
    searchRow->setStyleSheet(QStringLiteral("#fileSearchRow { background: %1; border-radius: 6px; }").arg(fill.name(QColor::HexArgb)));
    auto* search = new QHBoxLayout(searchRow);
    search->setContentsMargins(8, 4, 8, 4);
    search->setSpacing(6);
    auto* glass = new QLabel(searchRow);
    glass->setPixmap(QIcon::fromTheme(QStringLiteral("edit-find"), style()->standardIcon(QStyle::SP_FileDialogContentsView)).pixmap(14, 14));
    search->addWidget(glass);
    search_ = new FilterSyntaxTextField(searchRow);
    search_->setText(state_.fileResults().fileFilterText());
    search_->onSubmit = [] {};
    search_->onEditingEnded = [this](const QString& text) { recordSearch(text); };
    connect(search_, &FilterSyntaxTextField::textEdited, this, [this](const QString& t) { state_.fileResults().setFileFilterText(t); });
    search->addWidget(search_, 1);
    clearSearch_ = new QToolButton(searchRow);
    clearSearch_->setAutoRaise(true);
    clearSearch_->setIcon(QIcon::fromTheme(QStringLiteral("edit-clear"), style()->standardIcon(QStyle::SP_LineEditClearButton)));
    clearSearch_->setFixedSize(16, 16);
    clearSearch_->setToolTip(localized("Clear"));
    clearSearch_->setVisible(!state_.fileResults().fileFilterText().isEmpty());
    connect(clearSearch_, &QToolButton::clicked, this, [this] { state_.fileResults().setFileFilterText(QString()); });
    search->addWidget(clearSearch_);
    history_ = new FilterHistoryMenu(searchRow);
    history_->onSelect = [this](const QString& entry) {
        state_.fileResults().setFileFilterText(entry);
        recordSearch(entry);
    };
    history_->onClear = [this] { state_.preferences().set(PreferenceKeys::fileSearchHistoryJSON, QStringLiteral("[]")); };
    search->addWidget(history_);
    rows->addWidget(searchRow);
}

void FileViewTab::recordSearch(const QString& text) {
    Preferences& prefs = state_.preferences();
    const QStringList next =
        FilterFieldHistory::recording(text, FilterFieldHistory::decode(prefs.value(PreferenceKeys::fileSearchHistoryJSON)));
    prefs.set(PreferenceKeys::fileSearchHistoryJSON, FilterFieldHistory::encode(next));
}

void FileViewTab::syncControls() {
    const Preferences& p = state_.preferences();
    const bool entirePath = p.value(PreferenceKeys::fileMatchEntirePath);
    matchPath_->setChecked(entirePath);
    matchName_->setChecked(!entirePath);
    folders_->setChecked(p.value(PreferenceKeys::fileIncludeFolders));
    const MaxFilesOption cap = maxFilesOptionOrDefault(p.value(PreferenceKeys::fileMaxFilesOption));
    maxFiles_->setCurrentIndex(maxFiles_->findData(maxFilesRawValue(cap)));
    const DuplicateMethod method = dupMethodOf(p);
    dupMethod_->setCurrentIndex(int(method));
    dupsOnly_->setChecked(p.value(PreferenceKeys::fileDupsOnly));
    dupsOnly_->setEnabled(method != DuplicateMethod::none);
    history_->setHistory(FilterFieldHistory::decode(p.value(PreferenceKeys::fileSearchHistoryJSON)));
}

FileListInputs FileViewTab::currentInputs() const {
    const Preferences& p = state_.preferences();
    FileListInputs in;
    in.roots = state_.scanControl().effectiveRoots();
    const SizeTextFormat sizes = SizeTextFormat::of(p);
    in.byteUnitBase = sizes.base;
    in.byteSizeDisplayMode = sizes.mode;
    in.decimalPlaces = int(p.value(PreferenceKeys::tweakDecimalPlaces));
    in.filterText = state_.fileResults().fileFilterText();
    in.matchEntirePath = p.value(PreferenceKeys::fileMatchEntirePath);
    in.includeFolders = p.value(PreferenceKeys::fileIncludeFolders);
    in.maxFiles = maxFilesCap(maxFilesOptionOrDefault(p.value(PreferenceKeys::fileMaxFilesOption)));
    in.dupMethod = dupMethodOf(p);
    in.dupsOnly = p.value(PreferenceKeys::fileDupsOnly);
    in.isActive = state_.selectedTab() == ContentTab::fileView;
    return in;
}

bool FileViewTab::showsEmptyState() const { return content_->currentWidget() == empty_; }

void FileViewTab::updateList() {
    const FileListInputs in = currentInputs();
    bool anyChildren = false;
    for (const RootRef& r : in.roots)
        if (r && r->childCount() > 0) anyChildren = true;
    content_->setCurrentWidget(anyChildren ? static_cast<QWidget*>(list_) : empty_);
    const Preferences& p = state_.preferences();
    list_->setOptions({p.value(PreferenceKeys::tweakShowHorizontalLines), p.value(PreferenceKeys::tweakAltRowColors),
                       p.value(PreferenceKeys::tweakEnableDragDrop), p.value(PreferenceKeys::tweakEnableDoubleClickOpen)});
    list_->pipeline().update(in);
}

}  // namespace zelvane
