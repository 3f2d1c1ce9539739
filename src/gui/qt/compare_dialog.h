// The compare window with Qt widgets: the model's rows in a table of four
// columns (the older file's line number and text, the newer file's), each
// side coloured by what happened to its line and the changed characters
// marked; the titles, the count of changes, the progress of a long
// comparison, and the buttons (Alt+Up, Alt+Down, Escape). It shows itself
// only once the model asks to be seen.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QElapsedTimer>
#include <QStyledItemDelegate>
#include <QTimer>

#include "backup/frm_compare.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace mabrel::gui {

class CompareRowsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Columns: older line number, older text, newer line number, newer text.
    static constexpr int kColumns = 4;
    using QAbstractTableModel::QAbstractTableModel;
    void setComparison(const backup::TextComparison* comparison);
    const backup::TextComparison* comparison() const { return comparison_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole: the line as shown; Qt::UserRole: the row's kind.
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const backup::TextComparison* comparison_ = nullptr;
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
    QTableView* rows() const { return grid_; }
    CompareRowsModel* rowsModel() const { return rowsModel_; }
    QLabel* status() const { return status_; }
    QProgressBar* progressBar() const { return progress_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* closeButton() const { return close_; }

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void tick();
    void render();
    void layOut();
    void fitColumns();

    frm_compare& model_;
    QElapsedTimer started_;
    QTimer timer_;
    int shownScrollRequests_ = 0;
    QLabel* older_ = nullptr;
    QLabel* newer_ = nullptr;
    QTableView* grid_ = nullptr;
    CompareRowsModel* rowsModel_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace mabrel::gui
