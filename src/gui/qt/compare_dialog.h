// The compare window with Qt widgets: each side of the model's rows in a
// table of its own, its line numbers in the table's row header so that they
// stay in view, scrolling sideways by itself (a scrollbar each rather than
// wrapped lines: a 100 KB line would wrap into hundreds of rows and part the
// two sides' lines), both scrolling up and down as one; each side coloured by
// what happened to its line and the changed characters marked; beside them a
// strip showing where the changes lie. The titles, the count of changes, the
// options, a find box (Ctrl+F), the progress of a long comparison, and the
// buttons (Alt+Up, Alt+Down, Escape). It shows itself only once the model
// asks to be seen.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "backup/frm_compare.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;

namespace mabrel::gui {

// One side's lines: a column of text, the line numbers as row headers.
class CompareRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CompareRowsModel(bool newerSide, QObject* parent) : QAbstractTableModel(parent), newerSide_(newerSide) {}
    bool newerSide() const { return newerSide_; }
    void setComparison(const backup::TextComparison* comparison);
    const backup::TextComparison* comparison() const { return comparison_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole: the line as shown; Qt::UserRole: the row's kind.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool newerSide_;
    const backup::TextComparison* comparison_ = nullptr;
};

// Where the changes lie in the whole file; a click goes there.
class ChangeStrip : public QWidget {
    Q_OBJECT
public:
    ChangeStrip(frm_compare& model, QWidget* parent) : QWidget(parent), model_(model) {}
    std::function<void()> clicked;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    frm_compare& model_;
};

// Paints a line's pieces, the changed ones marked.
class CompareRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class CompareDialog : public QDialog {
    Q_OBJECT
public:
    CompareDialog(frm_compare& model, QWidget* owner);
    // Waits, hidden, until the model asks to be seen, then shows the window
    // until the model unloads.
    void run();

    QLabel* olderTitle() const { return older_; }
    QLabel* newerTitle() const { return newer_; }
    // The side's table, and its rows.
    QTableView* rows(bool newerSide = true) const { return newerSide ? newerGrid_ : olderGrid_; }
    CompareRowsModel* rowsModel(bool newerSide = true) const { return newerSide ? newerModel_ : olderModel_; }
    ChangeStrip* strip() const { return strip_; }
    QLineEdit* findBox() const { return find_; }
    QCheckBox* ignoreWhitespace() const { return ignoreWhitespace_; }
    QCheckBox* ignoreLineEnds() const { return ignoreLineEnds_; }
    QLabel* status() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* closeButton() const { return close_; }

    void reject() override;
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void tick();
    void render();
    void layOut();
    void fitColumns();
    void scrollToPlace();
    void copySelection();

    frm_compare& model_;
    QElapsedTimer started_;
    QTimer timer_;
    int shownScrollRequests_ = 0;
    QLabel* older_ = nullptr;
    QLabel* newer_ = nullptr;
    QTableView* olderGrid_ = nullptr;
    QTableView* newerGrid_ = nullptr;
    CompareRowsModel* olderModel_ = nullptr;
    CompareRowsModel* newerModel_ = nullptr;
    ChangeStrip* strip_ = nullptr;
    QLineEdit* find_ = nullptr;
    QCheckBox* ignoreWhitespace_ = nullptr;
    QCheckBox* ignoreLineEnds_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace mabrel::gui
