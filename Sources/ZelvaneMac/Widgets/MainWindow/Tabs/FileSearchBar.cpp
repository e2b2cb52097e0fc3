#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileSearchBar.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "ScanEngine/Analysis/DuplicateDetection.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/FileViewTabModel.hpp"

namespace zelvane {

namespace {

void keepTitlesWhole(QLayoutItem* item) {
    if (QLayout* inner = item->layout()) {
        for (int i = 0; i < inner->count(); ++i) keepTitlesWhole(inner->itemAt(i));
    } else if (QWidget* w = item->widget(); w && (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLabel*>(w))) {
        w->setSizePolicy(QSizePolicy::Minimum, w->sizePolicy().verticalPolicy());
    }
}

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, secondaryTextColor(pal));
    l->setPalette(pal);
    return l;
}

}  // namespace

FileSearchBar::FileSearchBar(Preferences& preferences, FileViewResults& results, QWidget* parent)
    : QWidget(parent), preferences_(preferences), stored_(preferences), results_(results) {
    setFont(calloutFont());
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(10, 6, 10, 6);
    rows->setSpacing(6);
    rows->addLayout(buildOptionsRow());
    rows->addWidget(buildSearchRow());
    connectOptions();
    connectSearch();
    showStoredOptions();
    showSearchText();
}

QLayout* FileSearchBar::buildOptionsRow() {
    auto* controls = new QHBoxLayout;
    controls->setSpacing(14);
    matchName_ = new QRadioButton(localized("Match file name only"), this);
    matchPath_ = new QRadioButton(localized("Match entire path"), this);
    auto* group = new QButtonGroup(this);
    group->addButton(matchName_);
    group->addButton(matchPath_);
    auto* radios = new QHBoxLayout;
    radios->setSpacing(8);
    radios->addWidget(matchName_);
    radios->addWidget(matchPath_);
    controls->addLayout(radios);

    folders_ = new QCheckBox(localized("Folders"), this);
    controls->addWidget(folders_);

    auto* maxGroup = new QHBoxLayout;
    maxGroup->setSpacing(6);
    maxGroup->addWidget(secondaryLabel(localized("Max files:"), this));
    maxFiles_ = new QComboBox(this);
    for (MaxFilesOption o : kAllMaxFilesOptions) maxFiles_->addItem(maxFilesDisplayLabel(o), maxFilesRawValue(o));
    maxFiles_->setMinimumWidth(84);
    maxGroup->addWidget(maxFiles_);
    controls->addLayout(maxGroup);

    auto* dupGroup = new QHBoxLayout;
    dupGroup->setSpacing(6);
    dupGroup->addWidget(secondaryLabel(localized("Duplicate Files:"), this));
    dupMethod_ = new QComboBox(this);
    dupMethod_->addItem(localized("Don't locate duplicates"), 0);
    dupMethod_->addItem(localized("Locate by Name, Size"), 1);
    dupMethod_->addItem(localized("Locate by Name, Size, Date"), 2);
    dupMethod_->setMinimumWidth(210);
    dupGroup->addWidget(dupMethod_);
    dupsOnly_ = new QCheckBox(localized("Duplicates only"), this);
    dupGroup->addWidget(dupsOnly_);
    controls->addLayout(dupGroup);
    controls->addStretch(1);
    // Titles are never squeezed: the row's full width counts towards the window's smallest width,
    // which grows where a language's titles are longer than the English ones.
    for (int i = 0; i < controls->count(); ++i) keepTitlesWhole(controls->itemAt(i));
    controls->addWidget(buildLocatingNote());
    return controls;
}

QWidget* FileSearchBar::buildLocatingNote() {
    locating_ = new QWidget(this);
    auto* row = new QHBoxLayout(locating_);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    auto* spinner = new QProgressBar(locating_);
    spinner->setRange(0, 0);
    spinner->setFixedSize(40, 10);
    spinner->setTextVisible(false);
    row->addWidget(spinner);
    row->addWidget(secondaryLabel(localized("Locating duplicates…"), locating_));
    return locating_;
}

QWidget* FileSearchBar::buildSearchRow() {
    auto* searchRow = new QFrame(this);
    searchRow->setObjectName(QStringLiteral("fileSearchRow"));
    QColor fill = secondaryTextColor(searchRow->palette());
    fill.setAlphaF(0.12);
    searchRow->setStyleSheet(QStringLiteral("#fileSearchRow { background: %1; border-radius: 6px; }").arg(fill.name(QColor::HexArgb)));
    auto* row = new QHBoxLayout(searchRow);
    row->setContentsMargins(8, 4, 8, 4);
    row->setSpacing(6);
    auto* glass = new QLabel(searchRow);
    glass->setPixmap(QIcon::fromTheme(QStringLiteral("edit-find"), style()->standardIcon(QStyle::SP_FileDialogContentsView)).pixmap(14, 14));
    row->addWidget(glass);
    search_ = new FilterSyntaxTextField(searchRow);
    row->addWidget(search_, 1);
    clearSearch_ = new QToolButton(searchRow);
    clearSearch_->setAutoRaise(true);
    clearSearch_->setIcon(QIcon::fromTheme(QStringLiteral("edit-clear"), style()->standardIcon(QStyle::SP_LineEditClearButton)));
    clearSearch_->setFixedSize(16, 16);
    clearSearch_->setToolTip(localized("Clear"));
    row->addWidget(clearSearch_);
    history_ = new FilterHistoryMenu(searchRow);
    row->addWidget(history_);
    return searchRow;
}

void FileSearchBar::connectOptions() {
    Preferences& prefs = preferences_;
    connect(matchName_, &QRadioButton::clicked, this, [&prefs] { prefs.set(PreferenceKeys::fileMatchEntirePath, false); });
    connect(matchPath_, &QRadioButton::clicked, this, [&prefs] { prefs.set(PreferenceKeys::fileMatchEntirePath, true); });
    connect(folders_, &QCheckBox::clicked, this, [&prefs](bool on) { prefs.set(PreferenceKeys::fileIncludeFolders, on); });
    connect(maxFiles_, &QComboBox::activated, this, [this, &prefs](int i) {
        prefs.set(PreferenceKeys::fileMaxFilesOption, maxFiles_->itemData(i).toString());
    });
    connect(dupMethod_, &QComboBox::activated, this, [this, &prefs](int i) {
        prefs.set(PreferenceKeys::fileDupMethod, dupMethod_->itemData(i).toInt());
    });
    connect(dupsOnly_, &QCheckBox::clicked, this, [&prefs](bool on) { prefs.set(PreferenceKeys::fileDupsOnly, on); });
    connect(&stored_, &SettingsWatch::changed, this, &FileSearchBar::showStoredOptions);
    connect(&results_, &FileViewResults::fileIsLocatingDuplicatesChanged, locating_, &QWidget::setVisible);
    locating_->setVisible(results_.fileIsLocatingDuplicates());
}

void FileSearchBar::connectSearch() {
    connect(search_, &FilterSyntaxTextField::editingEnded, this, &FileSearchBar::recordSearch);
    connect(search_, &FilterSyntaxTextField::textEdited, &results_, &FileViewResults::setFileFilterText);
    connect(clearSearch_, &QToolButton::clicked, this, [this] { results_.setFileFilterText(QString()); });
    connect(history_, &FilterHistoryMenu::entryPicked, this, [this](const QString& entry) {
        results_.setFileFilterText(entry);
        recordSearch(entry);
    });
    connect(history_, &FilterHistoryMenu::clearPicked, this,
            [this] { preferences_.set(PreferenceKeys::fileSearchHistoryJSON, QStringLiteral("[]")); });
    connect(&results_, &FileViewResults::fileFilterTextChanged, this, &FileSearchBar::showSearchText);
}

void FileSearchBar::recordSearch(const QString& text) {
    recordFilterHistory(preferences_, PreferenceKeys::fileSearchHistoryJSON, text);
}

void FileSearchBar::showStoredOptions() {
    const FileSearchBarSettings& stored = stored_.current();
    const FileSearchOptions& o = stored.options;
    matchPath_->setChecked(o.matchEntirePath);
    matchName_->setChecked(!o.matchEntirePath);
    folders_->setChecked(o.includeFolders);
    maxFiles_->setCurrentIndex(maxFiles_->findData(maxFilesRawValue(o.maxFiles)));
    dupMethod_->setCurrentIndex(int(o.dupMethod));
    dupsOnly_->setChecked(o.dupsOnly);
    dupsOnly_->setEnabled(o.dupMethod != DuplicateMethod::none);
    history_->setHistory(stored.history);
}

void FileSearchBar::showSearchText() {
    search_->setText(results_.fileFilterText());
    clearSearch_->setVisible(!results_.fileFilterText().isEmpty());
}

}  // namespace zelvane
