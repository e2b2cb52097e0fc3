#include "ZelvaneMac/Widgets/Dialogs/AccessDeniedFoldersDialog.hpp"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

QString AccessDeniedFoldersDialog::explanation(qsizetype count) {
    // On Linux a refused folder is a matter of Unix permissions, which only an administrator passes.
    if (count == 1)
        return localized(
            "ZelvaneMac couldn't read the following folder during the scan - its file permissions don't let your "
            "user open it, which is not a problem with the folder itself. To include it, scan again with "
            "administrator rights (File \u2192 Restart as Administrator\u2026).");
    return localized(
        "ZelvaneMac couldn't read the following folders during the scan - their file permissions don't let your "
        "user open them, which is not a problem with the folders themselves. To include them, scan again with "
        "administrator rights (File \u2192 Restart as Administrator\u2026).");
}

AccessDeniedFoldersDialog::AccessDeniedFoldersDialog(const QStringList& paths, QWidget* parent) : QDialog(parent) {
    setWindowTitle(localized("Folders Access Was Denied"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(640, 360);
    resize(760, 460);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);

    auto* title = new QLabel(localized("Folders Access Was Denied"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    layout->addWidget(title);

    explanation_ = new QLabel(explanation(paths.size()), this);
    explanation_->setWordWrap(true);
    explanation_->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(explanation_);

    list_ = new QListWidget(this);
    list_->setMinimumSize(480, 220);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Each row shows its path as the window shows names; copying takes the path itself.
    for (const QString& path : paths) {
        auto* row = new QListWidgetItem(shownName(path, layoutDirection()), list_);
        row->setData(Qt::UserRole, path);
    }
    // Paths are selected by row; copying gives them one per line.
    auto* copy = new QAction(list_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] {
        QStringList picked;
        for (int i = 0; i < list_->count(); ++i)
            if (list_->item(i)->isSelected()) picked << list_->item(i)->data(Qt::UserRole).toString();
        QApplication::clipboard()->setText(picked.join(QLatin1Char('\n')));
    });
    list_->addAction(copy);
    layout->addWidget(list_, 1);

    auto* row = new QHBoxLayout;
    auto* done = new QPushButton(localized("Done"), this);
    done->setDefault(true);
    row->addStretch(1);
    row->addWidget(done);
    layout->addLayout(row);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace zelvane
