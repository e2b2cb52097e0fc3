#include "ZelvaneMac/Widgets/Dialogs/TweaksSheet.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/Separators.hpp"

namespace zelvane {

namespace {

// Up and down arrows alone: the label beside them shows the value, so no field repeats it. The
// arrow keys, Page Up and Page Down and the wheel step it; other keys go to the sheet.
class ArrowStepper final : public QSpinBox {
public:
    explicit ArrowStepper(QWidget* parent) : QSpinBox(parent) {
        lineEdit()->hide();
        setFocusPolicy(Qt::StrongFocus);
    }

    QSize sizeHint() const override {
        QStyleOptionSpinBox option;
        initStyleOption(&option);
        const int height = QSpinBox::sizeHint().height();
        option.rect = QRect(0, 0, 200, height);
        const QRect field = style()->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, this);
        // The frame and the arrows: everything but the field.
        return {200 - field.width(), height};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: QSpinBox::keyPressEvent(event); return;
        default: event->ignore();
        }
    }
};

// A stepper with its label made from a format that shows the current value.
QSpinBox* labelledStepper(QWidget* parent, QVBoxLayout* into, const char* format, int low, int high, int64_t value) {
    auto* row = new QHBoxLayout;
    auto* label = new QLabel(parent);
    auto* stepper = new ArrowStepper(parent);
    stepper->setFixedSize(stepper->sizeHint());
    stepper->setRange(low, high);
    stepper->setValue(int(std::clamp<int64_t>(value, low, high)));
    const auto relabel = [label, format](int v) { label->setText(fillFormat(localized(format), {int64_t(v)})); };
    relabel(stepper->value());
    QObject::connect(stepper, &QSpinBox::valueChanged, label, relabel);
    row->addWidget(label);
    row->addWidget(stepper);
    row->addStretch(1);
    into->addLayout(row);
    return stepper;
}

}  // namespace

TweaksSheet::TweaksSheet(const TweaksSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setWindowTitle(localized("Tweaks"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(460);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(14);
    auto* title = new QLabel(localized("Tweaks"), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    column->addWidget(title);

    auto* first = new QVBoxLayout;
    first->setSpacing(8);
    auto* second = new QVBoxLayout;
    second->setSpacing(8);
    QVBoxLayout* groups[] = {first, second};
    for (const TweakToggle& t : tweakToggles()) {
        auto* box = new QCheckBox(localized(t.label), this);
        bool& flag = settings_.*t.field;
        box->setChecked(flag);
        connect(box, &QCheckBox::toggled, this, [&flag](bool on) { flag = on; });
        toggles_.push_back(box);
        groups[t.group]->addWidget(box);
    }
    column->addLayout(first);
    column->addWidget(sheetDivider(this));

    auto* unitsRow = new QHBoxLayout;
    unitsRow->addWidget(new QLabel(localized("Size Units:"), this));
    units_ = new QComboBox(this);
    units_->addItem(localized("Decimal (1000)"), 1000);
    units_->addItem(localized("Binary (1024)"), 1024);
    units_->setCurrentIndex(settings_.byteUnitBaseRaw == 1024 ? 1 : 0);
    connect(units_, &QComboBox::currentIndexChanged, this,
            [this](int i) { settings_.byteUnitBaseRaw = units_->itemData(i).toLongLong(); });
    unitsRow->addWidget(units_);
    unitsRow->addStretch(1);
    second->addLayout(unitsRow);
    decimals_ = labelledStepper(this, second, textKey("Number of decimal places to display: %d"), 0, 4, settings_.decimalPlaces);
    connect(decimals_, &QSpinBox::valueChanged, this, [this](int v) { settings_.decimalPlaces = v; });
    column->addLayout(second);
    column->addWidget(sheetDivider(this));

    auto* third = new QVBoxLayout;
    third->setSpacing(4);
    groupMin_ = labelledStepper(this, third, textKey("File group minimum size: %d"), 0, 999, settings_.fileGroupMinSize);
    connect(groupMin_, &QSpinBox::valueChanged, this, [this](int v) { settings_.fileGroupMinSize = v; });
    // The group's name is the program's own, in every language; filled in, it keeps its written order
    // inside a right-to-left sentence.
    auto* note = new QLabel(fillPlaceholders(localized("Loose files in a folder are grouped into one \"%@\" entry once "
                                                       "there are at least this many. Set to 0 to disable file grouping."),
                                             {QStringLiteral("[N Files in \u2026]")}),
                            this);
    note->setWordWrap(true);
    // A line wrapped to the label's full width ends on a glyph whose ink can reach past its advance;
    // at the label's edge that glyph was cut (the left one, in Arabic and Hebrew). A little room on
    // both sides keeps it whole.
    note->setContentsMargins(2, 0, 2, 0);
    QFont caption = note->font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    note->setFont(caption);
    note->setForegroundRole(QPalette::PlaceholderText);
    third->addWidget(note);
    column->addLayout(third);
    column->addWidget(sheetDivider(this));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* cancel = new QPushButton(localized("Cancel"), this);
    auto* ok = new QPushButton(localized("OK"), this);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    buttons->addWidget(cancel);
    buttons->addWidget(ok);
    column->addLayout(buttons);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // 460 points fit the English options; a language with longer ones widens the sheet rather than
    // cutting them (an explicit minimum would otherwise override the layout's own).
    setMinimumWidth(std::max(460, column->minimumSize().width()));
}

}  // namespace zelvane
