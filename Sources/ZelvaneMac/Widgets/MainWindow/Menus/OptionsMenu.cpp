#include "ZelvaneMac/Widgets/MainWindow/Menus/OptionsMenu.hpp"

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"
#include "ZelvaneMac/Core/Text/AppLanguages.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuItems.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"

namespace zelvane {

namespace {

void addSizeModes(QMenu& options, MenuItems& items, Preferences& prefs) {
    auto* modes = new QActionGroup(&items);
    modes->setExclusive(true);
    const char* modeTitles[] = {textKey("Display Dynamic Values"), textKey("Display Byte Values"), textKey("Display KB Values"),
                                textKey("Display MB Values"),      textKey("Display GB Values"),   textKey("Display TB Values")};
    for (int i = 0; i < 6; ++i) {
        QAction* act = items.checkable(&options, localized(modeTitles[i]),
                                       [&prefs, i] { return SizeTextFormat::of(prefs).mode == ByteSizeDisplayMode(i); });
        modes->addAction(act);
        QObject::connect(act, &QAction::triggered, &items, [&prefs, i] { prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(i)); });
    }
}

QAction* addPreferenceFlag(QMenu& options, MenuItems& items, Preferences& prefs, const char* title, const BoolKey& key) {
    QAction* act = items.checkable(&options, localized(title), [&prefs, &key] { return prefs.value(key); });
    QObject::connect(act, &QAction::triggered, &items, [&prefs, &key](bool on) { prefs.set(key, on); });
    return act;
}

void addLanguages(QMenu& options, MenuItems& items, Preferences& prefs) {
    QMenu* language = options.addMenu(localized("Language"));
    auto* languages = new QActionGroup(&items);
    languages->setExclusive(true);
    const auto addLanguage = [&](const QString& title, const QString& code) {
        QAction* act = items.checkable(language, title, [&prefs, code] { return prefs.value(PreferenceKeys::appLanguageOverride) == code; });
        languages->addAction(act);
        QObject::connect(act, &QAction::triggered, &items, [&prefs, code] { prefs.set(PreferenceKeys::appLanguageOverride, code); });
    };
    addLanguage(localized("System Default"), QStringLiteral("system"));
    language->addSeparator();
    for (const AppLanguages::Language& l : AppLanguages::supportedLanguages()) addLanguage(l.name, l.code);
}

}  // namespace

QMenu* buildOptionsMenu(QMenuBar& bar, MenuItems& items, Preferences& prefs, PaneToggles& panes,
                        TreemapToggles& treemap) {
    QMenu* options = bar.addMenu(localized("Options"));

    addSizeModes(*options, items, prefs);
    options->addSeparator();
    items.toggle(options, textKey("Filter Scan Results"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), panes,
                 &PaneToggles::showFilterPanel, &PaneToggles::setShowFilterPanel);
    options->addSeparator();
    QAction* updates = addPreferenceFlag(*options, items, prefs, textKey("Check for updates"), PreferenceKeys::checkForUpdatesEnabled);
    items.addRefresher([updates, &prefs] { updates->setEnabled(!prefs.value(PreferenceKeys::checkForUpdatesLockedByAdmin)); });
    addPreferenceFlag(*options, items, prefs, textKey("Auto scan after making selection"), PreferenceKeys::autoScanAfterSelection);
    options->addSeparator();
    items.toggle(options, textKey("Show Header"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H), panes, &PaneToggles::showHeader,
                 &PaneToggles::setShowHeader);
    items.toggle(options, textKey("Show File Types"), QKeySequence(Qt::Key_F8), panes, &PaneToggles::showFileTypes,
                 &PaneToggles::setShowFileTypes);
    items.toggle(options, textKey("Show Treemap"), QKeySequence(Qt::Key_F9), panes, &PaneToggles::showTreemap,
                 &PaneToggles::setShowTreemap);
    items.toggle(options, textKey("Show Allocated Space on Treemap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), treemap,
                 &TreemapToggles::showTreemapAllocatedSize, &TreemapToggles::setShowTreemapAllocatedSize);
    items.toggle(options, textKey("Show Free Space on Treemap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), treemap,
                 &TreemapToggles::showTreemapFreeSpace, &TreemapToggles::setShowTreemapFreeSpace);
    items.toggle(options, textKey("Show Folder and File Names on Treemap"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), treemap,
                 &TreemapToggles::showTreemapFilenames, &TreemapToggles::setShowTreemapFilenames);
    items.command(options, textKey("Colors\u2026"), ZelvaneMenuAction::colors);
    items.command(options, textKey("Tweaks\u2026"), ZelvaneMenuAction::tweaks);
    addLanguages(*options, items, prefs);
    return options;
}

}  // namespace zelvane
