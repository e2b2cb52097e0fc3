#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zelvane {

// Tells the user that the program cannot read the whole file system and offers two answers.
// The dialog only reports which one was chosen; the window acts on it. Escape answers "Not Now";
// Return answers nothing.
class FullDiskAccessPromptDialog final : public QDialog {
    Q_OBJECT
public:
    enum class Answer { notNow, dontAskAgain };

    explicit FullDiskAccessPromptDialog(bool isPortable, QWidget* parent = nullptr);

    static QString explanation(bool isPortable);
    QLabel* explanationLabel() const { return explanation_; }
    QPushButton* button(Answer answer) const;
    // What was answered; "Not Now" until a button is pressed (Escape and closing answer it too).
    Answer answer() const { return answer_; }

protected:
    void reject() override;

private:
    void choose(Answer a);

    QLabel* explanation_ = nullptr;
    QPushButton* dontAsk_ = nullptr;
    QPushButton* notNow_ = nullptr;
    bool answered_ = false;
    Answer answer_ = Answer::notNow;
};

}  // namespace zelvane
