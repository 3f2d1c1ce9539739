// The three small windows as modal Qt dialogs. Each renders its window model,
// forwards the person's clicks and typing to the model's handlers, and closes
// once the model has unloaded itself. Escape presses the model's cancel
// button where it has one; closing in any other way (title bar, Escape, the
// system) is the model's title-bar close. Enter presses the button that has
// the focus; no button is a window's default.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "app/controls.h"

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace mabrel {
class frm_rclick;
class frm_option;
class frm_drive;
}  // namespace mabrel

namespace mabrel::gui {

class ModelDialog : public QDialog {
    Q_OBJECT
public:
    // The client area is fixed at the window's design size in twips.
    ModelDialog(QWidget* owner, const std::string& caption, int clientWidth, int clientHeight);

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Whether the model has asked to be closed.
    virtual bool modelUnloaded() const = 0;
    // The model's handling of a close it did not ask for.
    virtual void closedByTitleBar() = 0;
    // Closes the dialog if the model has unloaded itself.
    void closeIfUnloaded();
    QRect px(const Geometry& g) const;
    QPushButton* makeButton(const Control& c, QWidget* parent);
    QRadioButton* makeRadio(const Control& c, QWidget* parent);
    QLineEdit* makeLineEdit(const TextBox& t);
    // Tab order by the controls' tab indexes; the first one gets the focus.
    void applyTabOrder(std::vector<std::pair<int, QWidget*>> widgets);

    void showEvent(QShowEvent* event) override;

private:
    QWidget* firstInTabOrder_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

class RClickDialog : public ModelDialog {
    Q_OBJECT
public:
    RClickDialog(frm_rclick& model, QWidget* owner);
    QPushButton* button(int index) const { return buttons_.at(static_cast<std::size_t>(index)); }

protected:
    bool modelUnloaded() const override;
    void closedByTitleBar() override;

private:
    frm_rclick& model_;
    std::array<QPushButton*, 5> buttons_{};
};

class OptionDialog : public ModelDialog {
    Q_OBJECT
public:
    OptionDialog(frm_option& model, QWidget* owner);
    QRadioButton* option1(int index) const { return option1_.at(static_cast<std::size_t>(index)); }
    QRadioButton* option2(int index) const { return option2_.at(static_cast<std::size_t>(index)); }
    QLineEdit* text1() const { return text1_; }
    QLineEdit* text2() const { return text2_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    bool modelUnloaded() const override;
    void closedByTitleBar() override;

private:
    void render();

    frm_option& model_;
    QGroupBox* frame1_ = nullptr;
    QGroupBox* frame2_ = nullptr;
    std::array<QRadioButton*, 2> option1_{};
    std::array<QRadioButton*, 2> option2_{};
    QLineEdit* text1_ = nullptr;
    QLineEdit* text2_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

class DriveDialog : public ModelDialog {
    Q_OBJECT
public:
    DriveDialog(frm_drive& model, QWidget* owner);
    // 0 "その他", 1 to 26 the drives A to Z.
    QRadioButton* option(int index) const { return options_.at(static_cast<std::size_t>(index)); }
    QLineEdit* text1() const { return text1_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

protected:
    bool modelUnloaded() const override;
    void closedByTitleBar() override;

private:
    void render();

    frm_drive& model_;
    QButtonGroup* group_ = nullptr;
    std::array<QRadioButton*, 27> options_{};
    QLineEdit* text1_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace mabrel::gui
