#include "gui/qt/dialogs.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

#include "backup/frm_rclick.h"
#include "drives/frm_drive.h"
#include "gui/qt/gui_util.h"
#include "settings/frm_option.h"

namespace mabrel::gui {

// --- ModelDialog -------------------------------------------------------------

ModelDialog::ModelDialog(QWidget* owner, const std::string& caption, int clientWidth, int clientHeight)
    : QDialog(owner) {
    // Fixed size, a title bar with a close button, no minimise or maximise box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(toQ(caption));
    setModal(true);
    setFont(designFont(9));
    const Twips twips = Twips::of(owner != nullptr ? owner : this);
    // Wider than designed where the caption would not fit in the title bar;
    // the controls keep their places.
    setFixedSize(std::max(twips.toPxX(clientWidth), titleBarWidth(windowTitle())), twips.toPxY(clientHeight));
}

QRect ModelDialog::px(const Geometry& g) const { return Twips::of(parentWidget() ? parentWidget() : this).toPx(g); }

QPushButton* ModelDialog::makeButton(const Control& c, QWidget* parent) {
    auto* button = new QPushButton(toQ(c.caption), parent);
    button->setGeometry(px(c.geometry));
    // Enter presses the button that has the focus, never a window default.
    button->setAutoDefault(false);
    button->setDefault(false);
    if (c.cancel) cancelButton_ = button;
    return button;
}

QRadioButton* ModelDialog::makeRadio(const Control& c, QWidget* parent) {
    auto* radio = new QRadioButton(toQ(c.caption), parent);
    radio->setGeometry(px(c.geometry));
    return radio;
}

QLineEdit* ModelDialog::makeLineEdit(const TextBox& t) {
    auto* edit = new QLineEdit(toQ(t.text), this);
    edit->setGeometry(px(t.geometry));
    return edit;
}

void ModelDialog::applyTabOrder(std::vector<std::pair<int, QWidget*>> widgets) {
    std::stable_sort(widgets.begin(), widgets.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < widgets.size(); ++i) setTabOrder(widgets[i - 1].second, widgets[i].second);
    firstInTabOrder_ = widgets.empty() ? nullptr : widgets.front().second;
    if (firstInTabOrder_ != nullptr) firstInTabOrder_->setFocus(Qt::OtherFocusReason);
}

void ModelDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (firstInTabOrder_ != nullptr && focusWidget() == nullptr) firstInTabOrder_->setFocus(Qt::OtherFocusReason);
}

void ModelDialog::reject() {
    // Title bar, Escape, or the system closing the window.
    if (!modelUnloaded()) closedByTitleBar();
    QDialog::reject();
}

void ModelDialog::keyPressEvent(QKeyEvent* event) {
    if (pressFocusedButton(this, event)) return;
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && cancelButton_ != nullptr &&
        cancelButton_->isEnabled()) {
        cancelButton_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ModelDialog::closeIfUnloaded() {
    if (modelUnloaded()) QDialog::accept();
}

// --- Context menu ----------------------------------------------------------------

RClickDialog::RClickDialog(frm_rclick& model, QWidget* owner)
    : ModelDialog(owner, model.caption, model.clientWidth, model.clientHeight), model_(model) {
    std::vector<std::pair<int, QWidget*>> order;
    for (int i = 0; i < static_cast<int>(model_.Command1.size()); ++i) {
        const Control& c = model_.Command1[static_cast<std::size_t>(i)];
        QPushButton* b = makeButton(c, this);
        b->setEnabled(c.enabled);
        b->setVisible(c.visible);
        connect(b, &QPushButton::clicked, this, [this, i] {
            model_.Command1_Click(i);
            closeIfUnloaded();
        });
        buttons_[static_cast<std::size_t>(i)] = b;
        order.emplace_back(c.tabIndex, b);
    }
    applyTabOrder(order);
}

bool RClickDialog::modelUnloaded() const { return model_.unloaded; }

void RClickDialog::closedByTitleBar() {
    // The window has no unload handler: p_dialogResult keeps the 0 of its load.
    model_.unloaded = true;
}

// --- Options ---------------------------------------------------------------------

OptionDialog::OptionDialog(frm_option& model, QWidget* owner)
    : ModelDialog(owner, model.caption, model.clientWidth, model.clientHeight), model_(model) {
    frame1_ = new QGroupBox(toQ(model_.Frame1.caption), this);
    frame1_->setGeometry(px(model_.Frame1.geometry));
    frame2_ = new QGroupBox(toQ(model_.Frame2.caption), this);
    frame2_->setGeometry(px(model_.Frame2.geometry));
    for (int i = 0; i < 2; ++i) {
        const auto idx = static_cast<std::size_t>(i);
        option1_[idx] = makeRadio(model_.Option1[idx], frame1_);
        option2_[idx] = makeRadio(model_.Option2[idx], frame2_);
        connect(option1_[idx], &QRadioButton::clicked, this, [this, i] {
            model_.Option1_Click(i);
            render();
        });
        connect(option2_[idx], &QRadioButton::clicked, this, [this, i] {
            model_.Option2_Click(i);
            render();
        });
    }
    // The text boxes lie on the window over the lower part of their frames.
    text1_ = makeLineEdit(model_.Text1);
    text2_ = makeLineEdit(model_.Text2);
    text1_->raise();
    text2_->raise();
    connect(text1_, &QLineEdit::textEdited, this, [this](const QString& t) { model_.Text1.text = fromQ(t); });
    connect(text2_, &QLineEdit::textEdited, this, [this](const QString& t) { model_.Text2.text = fromQ(t); });

    ok_ = makeButton(model_.Command1, this);
    cancel_ = makeButton(model_.Command2, this);
    connect(ok_, &QPushButton::clicked, this, [this] {
        model_.Command1_Click();
        closeIfUnloaded();
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        model_.Command2_Click();
        closeIfUnloaded();
    });
    // The order of the design: the frames' options, their lists, then the buttons.
    applyTabOrder({{0, option1_[0]}, {1, option1_[1]}, {2, text1_}, {3, option2_[0]}, {4, option2_[1]},
                   {5, text2_}, {6, ok_}, {7, cancel_}});
    render();
}

void OptionDialog::render() {
    for (int i = 0; i < 2; ++i) {
        const auto idx = static_cast<std::size_t>(i);
        option1_[idx]->setChecked(model_.option1Selected == i);
        option2_[idx]->setChecked(model_.option2Selected == i);
    }
    if (text1_->text() != toQ(model_.Text1.text)) text1_->setText(toQ(model_.Text1.text));
    if (text2_->text() != toQ(model_.Text2.text)) text2_->setText(toQ(model_.Text2.text));
}

bool OptionDialog::modelUnloaded() const { return model_.unloaded; }

void OptionDialog::closedByTitleBar() {
    model_.Form_Unload();
    model_.unloaded = true;
}

// --- Drive chooser ---------------------------------------------------------------

DriveDialog::DriveDialog(frm_drive& model, QWidget* owner)
    : ModelDialog(owner, model.caption, model.clientWidth, model.clientHeight), model_(model) {
    std::vector<std::pair<int, QWidget*>> order;
    text1_ = makeLineEdit(model_.Text1);
    order.emplace_back(model_.Text1.tabIndex, text1_);
    ok_ = makeButton(model_.Command1, this);
    cancel_ = makeButton(model_.Command2, this);
    order.emplace_back(model_.Command1.tabIndex, ok_);
    order.emplace_back(model_.Command2.tabIndex, cancel_);

    // One option group: exactly one button selected; the arrow keys move the
    // selection and click the button they land on.
    group_ = new QButtonGroup(this);
    group_->setExclusive(true);
    for (int i = 0; i <= frm_drive::kDriveCount; ++i) {
        const Control& c = model_.Option1[static_cast<std::size_t>(i)];
        QRadioButton* r = makeRadio(c, this);
        group_->addButton(r, i);
        options_[static_cast<std::size_t>(i)] = r;
        order.emplace_back(c.tabIndex, r);
    }
    connect(group_, &QButtonGroup::idClicked, this, [this](int index) {
        model_.Option1_Click(index);
        render();
    });
    connect(text1_, &QLineEdit::textEdited, this, [this](const QString& t) {
        model_.Text1.text = fromQ(t);
        model_.Text1_Change();
        render();
    });
    connect(ok_, &QPushButton::clicked, this, [this] {
        model_.Command1_Click();
        closeIfUnloaded();
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        model_.Command2_Click();
        closeIfUnloaded();
    });
    applyTabOrder(order);
    render();
}

void DriveDialog::render() {
    for (int i = 0; i <= frm_drive::kDriveCount; ++i) {
        const Control& c = model_.Option1[static_cast<std::size_t>(i)];
        QRadioButton* r = options_[static_cast<std::size_t>(i)];
        r->setText(toQ(c.caption));
        r->setEnabled(c.enabled);
        r->setVisible(c.visible);
    }
    if (model_.option1Selected >= 0 && model_.option1Selected <= frm_drive::kDriveCount) {
        options_[static_cast<std::size_t>(model_.option1Selected)]->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
    if (text1_->text() != toQ(model_.Text1.text)) text1_->setText(toQ(model_.Text1.text));
}

bool DriveDialog::modelUnloaded() const { return model_.unloaded; }

void DriveDialog::closedByTitleBar() {
    // No unload handler: p_chosenPath keeps whatever was clicked.
    model_.unloaded = true;
}

}  // namespace mabrel::gui
