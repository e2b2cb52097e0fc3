#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <QWidget>
#include <variant>

class QLabel;
class QVBoxLayout;

namespace zelvane {

// What a tab shows when it has nothing to show: an icon, a title and a description, centred both
// ways in whatever space the tab gives it. Long texts wrap and stay centred.
class EmptyStateView final : public QWidget {
    Q_OBJECT
public:
    // A themed icon by name, drawn 40 points high in the secondary colour, or an image fitted
    // into 48 x 48 points keeping its aspect ratio.
    using Icon = std::variant<QString, QImage>;

    // `title` is shown as given (callers pass localised text); the description is a single text or
    // is built by the caller with `setDescriptionWidget`.
    EmptyStateView(const QString& title, Icon icon, const QString& description, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setDescription(const QString& description);
    // Replaces the description text with the caller's own widget (the view takes it over).
    void setDescriptionWidget(QWidget* widget);
    void setIcon(Icon icon);

    // The icon as it is drawn, for tests and for callers that want its size.
    QPixmap iconPixmap() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void renderIcon();

    Icon icon_;
    QLabel* iconLabel_;
    QLabel* titleLabel_;
    QLabel* descriptionLabel_;
    QWidget* descriptionWidget_ = nullptr;
    QVBoxLayout* column_;
};

}  // namespace zelvane
