#pragma once

#include <QPlainTextEdit>
#include <QStringList>
#include <QToolButton>

#include <functional>

class QSyntaxHighlighter;

namespace zelvane {

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

    std::function<void()> onSubmit;
    std::function<void(const QString&)> onEditingEnded;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void textEdited(const QString& text);

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

    std::function<void(const QString&)> onSelect;
    std::function<void()> onClear;

private:
    QStringList history_;
};

}  // namespace zelvane
