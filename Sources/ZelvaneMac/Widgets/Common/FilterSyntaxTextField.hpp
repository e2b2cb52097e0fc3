#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QToolButton>

class QSyntaxHighlighter;

namespace zelvane {

class Preferences;
struct StringKey;

// A one-line plain-text editor for filter text: comparison and path terms are coloured as the
// user types, Return submits instead of breaking the line, pasted line breaks become spaces, Tab
// and Shift-Tab move the focus on. `textEdited` follows every change of the text made here.
class FilterSyntaxTextField final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit FilterSyntaxTextField(QWidget* parent = nullptr);

    QString text() const { return toPlainText(); }
    // A change from outside (a history entry): replaces the text only when it differs, so the
    // cursor stays where it was otherwise.
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void textEdited(const QString& text);
    // Return or Enter.
    void submitted();
    // The focus left the field (not for its own context menu).
    void editingEnded(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;

private:
    QSyntaxHighlighter* highlighter_ = nullptr;
    bool settingText_ = false;
};

// The small pull-down of a filter field: the texts last used, a separator, and "Clear".
class FilterHistoryMenu final : public QToolButton {
    Q_OBJECT
public:
    explicit FilterHistoryMenu(QWidget* parent = nullptr);
    void setHistory(const QStringList& history) { history_ = history; }
    const QStringList& history() const { return history_; }
    // The menu as it would show now (tests look at its entries). The caller owns it.
    QMenu* buildMenu(QWidget* parent);

signals:
    void entryPicked(const QString& entry);
    void clearPicked();

private:
    QStringList history_;
};

// Records `text` as the newest entry of the filter history stored under `historyKey`.
void recordFilterHistory(Preferences& preferences, const StringKey& historyKey, const QString& text);

}  // namespace zelvane
