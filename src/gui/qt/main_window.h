// The main window frm_mabrel94 with Qt widgets: it renders the window model
// and forwards every event of the person to the model's handler, then
// renders again. It decides nothing itself.
#pragma once

#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QTableView>
#include <QTreeWidget>
#include <QWidget>
#include <cstdint>
#include <map>
#include <vector>

#include "app/frm_mabrel94.h"

class QLineEdit;
class QPushButton;
class QTimer;
class QStatusBar;

namespace mabrel::gui {

class FileListModel;
class QtInteraction;

// A label that reports clicks.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The folder tree: lines from the root to its children, no expand buttons.
// Enter and Space on a node are a click on it.
class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent);
signals:
    void nodeKeyPressed(QTreeWidgetItem* item);

protected:
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void keyPressEvent(QKeyEvent* event) override;
};

// The file list's header. A zero-wide last column (the key column) can be
// dragged open from just right of its edge, as the person can on Windows.
class FileHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit FileHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The zero-wide last section whose edge is at x, or -1.
    int closedLastSectionAt(int x) const;
    int opening_ = -1;
};

// The file list: reports double clicks and released mouse buttons, and the
// keys that stand for them: Enter, the context-menu key and Shift+F10.
class FileTable : public QTableView {
    Q_OBJECT
public:
    explicit FileTable(QWidget* parent);
signals:
    void doubleClickedAnywhere();
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    void enterPressed();
    void menuKeyPressed(Qt::KeyboardModifiers modifiers);

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(frm_mabrel94& model, QtInteraction& ui);
    ~MainWindow() override;

    // Start-up: the model's Form_Load, which shows the window maximised.
    // False when another instance runs: nothing was shown.
    bool start();
    // Closes the window as the system does (its unload steps run); a small
    // window that is open is closed first, as through its title bar.
    void closeFromSystem();
    // True once the exit button has ended the program.
    bool ended() const { return ended_; }

    // Runs a handler of the model, then shows what it changed.
    template <typename F>
    void run(F&& handler) {
        handler();
        render();
    }
    void render();

    frm_mabrel94& model() { return m_; }
    QPushButton* cmdUpdate() const { return cmdUpdate_; }
    QPushButton* cmdExit() const { return cmdExit_; }
    QPushButton* cmdHelp() const { return cmdHelp_; }
    QPushButton* cmdOption() const { return cmdOption_; }
    ClickLabel* lblFolderList() const { return lblFolderList_; }
    QLabel* lblStatus() const { return lblStatus_; }
    QLabel* label3() const { return label3_; }
    QLineEdit* txtFolderComment() const { return txtFolderComment_; }
    FolderTree* tvwFolders() const { return tvwFolders_; }
    FileTable* lvwFiles() const { return lvwFiles_; }
    FileListModel* listModel() const { return listModel_; }
    QStatusBar* statusBar() const { return statusBar_; }
    QLabel* statusPanel() const { return statusPanel_; }

signals:
    // The program is over: the exit button, or the window closed. The
    // application then leaves its event loop.
    void programEnded();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // F5, Backspace, Alt+Up, and Enter on a button.
    void keyPressEvent(QKeyEvent* event) override;
    // Watches the platform window for the states the window system reports.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void applyWindowState(WindowState state);
    void endProgram();
    void handleResize();
    void reportSize();
    void renderGeometry();
    void renderTree();
    void renderList();
    // Sets the list's column widths after a load or a sort.
    void fitColumns();
    // The pixels a column's widest cell needs.
    int contentWidth(int column) const;
    void showSelection();
    void pullSelection(const QItemSelection& selected, const QItemSelection& deselected);
    void pullSelectedItem();
    // The keys on the list's current row: what a click on it selects first.
    void selectCurrentRow();
    // The context-menu key: the right button released over the current row.
    void menuKey(Qt::KeyboardModifiers modifiers);

    frm_mabrel94& m_;
    QtInteraction& ui_;
    bool ended_ = false;
    // While the system closes the window: closes each box the unload shows.
    QTimer* closingModals_ = nullptr;
    bool applyingSize_ = false;
    bool rendering_ = false;
    // The state the window system last reported. The widget's own state
    // also holds what was merely asked for (a minimise that no window
    // manager carries out, say).
    WindowState shownState_ = WindowState::Normal;

    QPushButton* cmdUpdate_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    QPushButton* cmdHelp_ = nullptr;
    QPushButton* cmdOption_ = nullptr;
    ClickLabel* lblFolderList_ = nullptr;
    QLabel* lblStatus_ = nullptr;
    QLabel* label3_ = nullptr;
    QLineEdit* txtFolderComment_ = nullptr;
    FolderTree* tvwFolders_ = nullptr;
    FileTable* lvwFiles_ = nullptr;
    FileListModel* listModel_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusPanel_ = nullptr;

    // The tree's items by node number - 1, as of the tree's revision shown.
    std::vector<QTreeWidgetItem*> treeItems_;
    std::uint64_t shownTreeRevision_ = ~std::uint64_t{0};
    std::vector<ColumnHeader> shownColumns_;
    // Widths the person set by dragging a divider, by column, in pixels:
    // kept through sorts, reloads and other folders for the rest of the run.
    std::map<int, int> personWidths_;
};

}  // namespace mabrel::gui
