#include "gui/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#if defined(MABREL_HAVE_XCB) && QT_CONFIG(xcb)
#include <QGuiApplication>
#include <xcb/xcb.h>
#define MABREL_X11 1
#endif

#include "gui/qt/file_list_model.h"
#include "gui/qt/gui_util.h"
#include "gui/qt/qt_interaction.h"

namespace mabrel::gui {

namespace {

// Outer size below which the window does not go, in twips.
constexpr int kMinOuterWidth = 5745;
constexpr int kMinOuterHeight = 3660;
constexpr int kTypicalFrameWidth = 240;
constexpr int kTypicalFrameHeight = 510;
constexpr int kRowHeightPx = 18;

bool sameWidths(const std::vector<ColumnHeader>& a, const std::vector<ColumnHeader>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].width != b[i].width) return false;
    }
    return true;
}

#ifdef MABREL_X11
// The X11 connection and root window of a widget's window; empty where the
// widget is not on X11.
struct X11Window {
    xcb_connection_t* c = nullptr;
    xcb_window_t id = 0;
    xcb_window_t root = 0;

    explicit X11Window(QWidget* w) {
        // Qt's offscreen platform may answer for X11 too, for windows that
        // are no X windows.
        if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
        const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (x11 == nullptr || x11->connection() == nullptr || w->windowHandle() == nullptr) return;
        const auto window = static_cast<xcb_window_t>(w->winId());
        xcb_query_tree_reply_t* tree =
            xcb_query_tree_reply(x11->connection(), xcb_query_tree(x11->connection(), window), nullptr);
        if (tree == nullptr) return;
        c = x11->connection();
        id = window;
        root = tree->root;
        std::free(tree);
    }
    explicit operator bool() const { return c != nullptr; }

    xcb_atom_t atom(const char* name) const {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        xcb_atom_t a = XCB_ATOM_NONE;
        if (reply != nullptr) a = reply->atom;
        std::free(reply);
        return a;
    }
};
#endif

// Asks an X11 window manager to iconify the window, as a task bar does; false
// where the window is not on X11. Qt's own request for a maximised window
// takes the maximised state off and puts it back around the iconify, and a
// window manager may then show a normal state on the way, or even give the
// window back at once.
bool iconifyOnX11(QWidget* window) {
#ifdef MABREL_X11
    const X11Window x(window);
    if (!x) return false;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = x.id;
    event.type = x.atom("WM_CHANGE_STATE");
    event.data.data32[0] = 3;  // IconicState
    xcb_send_event(x.c, 0, x.root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(x.c);
    return true;
#else
    (void)window;
    return false;
#endif
}

// True on an X server without a window manager (none has announced itself
// on the root window), where nobody maximises or minimises a window.
bool onX11WithoutWindowManager(QWidget* window) {
#ifdef MABREL_X11
    const X11Window x(window);
    if (!x) return false;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        x.c, xcb_get_property(x.c, 0, x.root, x.atom("_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 0, 1), nullptr);
    const bool none = reply == nullptr || xcb_get_property_value_length(reply) == 0;
    std::free(reply);
    return none;
#else
    (void)window;
    return false;
#endif
}

// The modifier bits of a mouse event: 1 Shift, 2 Ctrl, 4 Alt.
int shiftBits(Qt::KeyboardModifiers m) {
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}

Qt::KeyboardModifiers modifiersOf(const QKeyEvent* event) { return event->modifiers() & ~Qt::KeypadModifier; }

bool isEnter(const QKeyEvent* event) {
    return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiersOf(event) == Qt::NoModifier;
}

// Up to the parent folder, whichever control has the focus (but a text box,
// which keeps Backspace).
bool isParentKey(const QKeyEvent* event) {
    return (event->key() == Qt::Key_Backspace && modifiersOf(event) == Qt::NoModifier) ||
           (event->key() == Qt::Key_Up && modifiersOf(event) == Qt::AltModifier);
}

}  // namespace

// --- Small widgets -------------------------------------------------------------

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setRootIsDecorated(false);   // no expand buttons
    setItemsExpandable(false);   // nor expanding by double click
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setColumnCount(1);
    // The whole text shows, the root's full path too: the column is as wide
    // as its widest text and the tree scrolls sideways when it is wider.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollMode(ScrollPerPixel);
}

void FolderTree::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
    // Dotted lines from the parent down to each child and across to it.
    if (!index.parent().isValid() || rect.width() <= 0) return;
    const int x = rect.right() - indentation() / 2;
    const int midY = rect.center().y();
    const bool last = index.row() == model()->rowCount(index.parent()) - 1;
    painter->save();
    QPen pen(palette().color(QPalette::Mid));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->drawLine(x, rect.top(), x, last ? midY : rect.bottom());
    painter->drawLine(x, midY, rect.right(), midY);
    painter->restore();
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
    if ((isEnter(event) || (event->key() == Qt::Key_Space && modifiersOf(event) == Qt::NoModifier)) &&
        currentItem() != nullptr) {
        emit nodeKeyPressed(currentItem());
        return;
    }
    if (isParentKey(event)) {
        event->ignore();  // the main window's
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

int FileHeader::closedLastSectionAt(int x) const {
    const int last = logicalIndex(count() - 1);
    if (count() == 0 || sectionSize(last) != 0 || isSectionHidden(last)) return -1;
    const int edge = sectionViewportPosition(last);
    const int grip = style()->pixelMetric(QStyle::PM_HeaderGripMargin, nullptr, this);
    return x >= edge && x <= edge + std::max(grip, 4) ? last : -1;
}

void FileHeader::mousePressEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (event->button() == Qt::LeftButton && sectionResizeMode(logicalIndex(count() - 1)) == Interactive) {
        opening_ = closedLastSectionAt(x);
        if (opening_ >= 0) return;
    }
    QHeaderView::mousePressEvent(event);
}

void FileHeader::mouseMoveEvent(QMouseEvent* event) {
    const int x = event->position().toPoint().x();
    if (opening_ >= 0) {
        resizeSection(opening_, std::max(0, x - sectionViewportPosition(opening_)));
        return;
    }
    if (event->buttons() == Qt::NoButton && closedLastSectionAt(x) >= 0) {
        viewport()->setCursor(Qt::SplitHCursor);
        return;
    }
    QHeaderView::mouseMoveEvent(event);
}

void FileHeader::mouseReleaseEvent(QMouseEvent* event) {
    if (opening_ >= 0) {
        opening_ = -1;
        return;
    }
    QHeaderView::mouseReleaseEvent(event);
}

FileTable::FileTable(QWidget* parent) : QTableView(parent) { setHorizontalHeader(new FileHeader(this)); }

void FileTable::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClickedAnywhere();
}

void FileTable::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    emit mouseReleased(event->button(), event->modifiers(), event->position().toPoint());
}

void FileTable::keyPressEvent(QKeyEvent* event) {
    if (isEnter(event)) {
        emit enterPressed();
        return;
    }
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && modifiersOf(event) == Qt::ShiftModifier)) {
        emit menuKeyPressed(modifiersOf(event));
        return;
    }
    if (isParentKey(event)) {
        event->ignore();  // the main window's
        return;
    }
    QTableView::keyPressEvent(event);
}

// --- The main window -----------------------------------------------------------

MainWindow::MainWindow(frm_mabrel94& model, QtInteraction& ui) : m_(model), ui_(ui) {
    ui_.setOwner(this);
    ui_.setWindowStateHandler([this](WindowState s) { applyWindowState(s); });
    ui_.setEndProgramHandler([this] { endProgram(); });
    ui_.setRenderHandler([this] { render(); });
    ui_.setStatusHandler([this](const std::string& text) { statusPanel_->setText(toQ(text)); });
    build();
    // The platform window exists from here on; its state reports are what
    // the model learns the window's state from.
    create();
    windowHandle()->installEventFilter(this);
    render();
}

MainWindow::~MainWindow() {
    ui_.setWindowStateHandler({});
    ui_.setEndProgramHandler({});
    ui_.setRenderHandler({});
    ui_.setStatusHandler({});
    ui_.setOwner(nullptr);
}

void MainWindow::build() {
    setFont(designFont(9));
    const Twips twips = Twips::of(this);
    // The design size, centred on the screen, until start-up maximises it.
    resize(twips.toPxX(m_.clientWidth), twips.toPxY(m_.clientHeight));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    // Near the layout's own minimum (which counts the frame), so that a window
    // manager does not let the person drag far below it.
    setMinimumSize(twips.toPxX(kMinOuterWidth - kTypicalFrameWidth), twips.toPxY(kMinOuterHeight - kTypicalFrameHeight));

    cmdUpdate_ = new QPushButton(this);
    cmdUpdate_->setIcon(QIcon(QStringLiteral(":/refresh.gif")));
    cmdUpdate_->setIconSize(QSize(176, 50));
    cmdUpdate_->setFont(designFont(9.75, true));
    cmdUpdate_->setToolTip(QStringLiteral("最新の状態に更新"));
    cmdExit_ = new QPushButton(this);
    cmdHelp_ = new QPushButton(this);
    cmdOption_ = new QPushButton(this);
    for (QPushButton* b : {cmdUpdate_, cmdExit_, cmdHelp_, cmdOption_}) b->setAutoDefault(false);

    lblFolderList_ = new ClickLabel(this);
    lblFolderList_->setCursor(Qt::PointingHandCursor);
    lblFolderList_->setToolTip(QStringLiteral("クリックでドライブやフォルダーを選ぶ"));
    lblStatus_ = new QLabel(this);
    label3_ = new QLabel(this);

    txtFolderComment_ = new QLineEdit(this);
    txtFolderComment_->setFont(designFont(9.75));
    // Any length the comment file holds, not Qt's 32767 characters.
    txtFolderComment_->setMaxLength(std::numeric_limits<int>::max());

    tvwFolders_ = new FolderTree(this);
    tvwFolders_->setFont(designFont(9));

    lvwFiles_ = new FileTable(this);
    lvwFiles_->setFont(designFont(9));
    listModel_ = new FileListModel(this);
    lvwFiles_->setModel(listModel_);
    lvwFiles_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwFiles_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwFiles_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwFiles_->setShowGrid(true);
    lvwFiles_->setTabKeyNavigation(false);  // Tab leaves the list, as it does any control
    lvwFiles_->setWordWrap(false);
    lvwFiles_->setIconSize(QSize(16, 16));
    lvwFiles_->setTextElideMode(Qt::ElideRight);
    lvwFiles_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    lvwFiles_->verticalHeader()->hide();
    lvwFiles_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvwFiles_->verticalHeader()->setDefaultSectionSize(kRowHeightPx);
    QHeaderView* header = lvwFiles_->horizontalHeader();
    header->setFont(designFont(9));
    header->setMinimumSectionSize(0);  // the key column is zero wide, yet can be widened
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setSortIndicatorShown(false);

    statusBar_ = new QStatusBar(this);
    statusBar_->setSizeGripEnabled(false);
    statusPanel_ = new QLabel(statusBar_);
    statusPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar_->addWidget(statusPanel_, 1);

    // Every control's event goes to its handler in the model.
    connect(cmdUpdate_, &QPushButton::clicked, this, [this] { run([this] { m_.cmdUpdate_Click(); }); });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { run([this] { m_.cmdExit_Click(); }); });
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { run([this] { m_.cmdHelp_Click(); }); });
    connect(cmdOption_, &QPushButton::clicked, this, [this] { run([this] { m_.cmdOption_Click(); }); });
    connect(lblFolderList_, &ClickLabel::clicked, this, [this] { run([this] { m_.lblFolderList_Click(); }); });
    connect(txtFolderComment_, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_.txtFolderComment.text = fromQ(text); });
    const auto nodeClick = [this](QTreeWidgetItem* item) {
        const int index = item->data(0, Qt::UserRole).toInt();
        if (index > 0) run([this, index] { m_.tvwFolders_NodeClick(index); });
    };
    connect(tvwFolders_, &QTreeWidget::itemClicked, this,
            [nodeClick](QTreeWidgetItem* item, int) { nodeClick(item); });
    connect(tvwFolders_, &FolderTree::nodeKeyPressed, this, nodeClick);
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int logical) { run([this, logical] { m_.lvwFiles_ColumnClick(logical + 1); }); });
    // Widths set outside a render are the person's (a divider dragged).
    connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        if (!rendering_) personWidths_[logical] = size;
    });
    const auto doubleClick = [this] {
        pullSelectedItem();
        run([this] { m_.lvwFiles_DblClick(); });
    };
    connect(lvwFiles_, &FileTable::doubleClickedAnywhere, this, doubleClick);
    connect(lvwFiles_, &FileTable::enterPressed, this, [this, doubleClick] {
        selectCurrentRow();
        doubleClick();
    });
    connect(lvwFiles_, &FileTable::menuKeyPressed, this, &MainWindow::menuKey);
    connect(lvwFiles_, &FileTable::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint pos) {
                pullSelectedItem();
                const int vbButton = button == Qt::LeftButton    ? kLeftButton
                                     : button == Qt::RightButton ? kRightButton
                                     : button == Qt::MiddleButton ? 4
                                                                  : 0;
                if (vbButton == 0) return;
                const Twips t = Twips::of(this);
                run([&] { m_.lvwFiles_MouseUp(vbButton, shiftBits(mods), t.fromPxX(pos.x()), t.fromPxY(pos.y())); });
            });
    connect(lvwFiles_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (!rendering_) pullSelection(selected, deselected);
            });
    connect(lvwFiles_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { if (!rendering_) pullSelectedItem(); });

    // The tab order of the design; "終 了" is first and has the focus.
    std::vector<std::pair<int, QWidget*>> order{
        {m_.cmdExit.tabIndex, cmdExit_},          {m_.cmdUpdate.tabIndex, cmdUpdate_},
        {m_.txtFolderComment.tabIndex, txtFolderComment_}, {m_.lvwFiles.tabIndex, lvwFiles_},
        {m_.tvwFolders.tabIndex, tvwFolders_},    {m_.cmdHelp.tabIndex, cmdHelp_},
        {m_.cmdOption.tabIndex, cmdOption_}};
    std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1].second, order[i].second);
    order.front().second->setFocus(Qt::OtherFocusReason);
}

bool MainWindow::start() {
    if (!m_.Form_Load()) return false;
    render();
    cmdExit_->setFocus(Qt::OtherFocusReason);
    // The focus frame shows from the start, as on Windows, not only once the
    // person has used the keyboard.
    setAttribute(Qt::WA_KeyboardFocusChange);
    return true;
}

// --- Rendering ---------------------------------------------------------------

void MainWindow::render() {
    rendering_ = true;
    setWindowTitle(toQ(m_.caption));
    const auto setCaption = [](QAbstractButton* b, const Control& c) {
        b->setText(toQ(c.caption));
        b->setEnabled(c.enabled);
        b->setVisible(c.visible);
    };
    setCaption(cmdUpdate_, m_.cmdUpdate);
    setCaption(cmdExit_, m_.cmdExit);
    setCaption(cmdHelp_, m_.cmdHelp);
    setCaption(cmdOption_, m_.cmdOption);
    lblFolderList_->setText(toQ(m_.lblFolderList.caption));
    lblStatus_->setText(toQ(m_.lblStatus.caption));
    label3_->setText(toQ(m_.Label3.caption));
    if (txtFolderComment_->text() != toQ(m_.txtFolderComment.text)) txtFolderComment_->setText(toQ(m_.txtFolderComment.text));
    statusPanel_->setText(toQ(m_.StatusBar1.panelText));
    // While a load fills the tree and the list they show as it emptied them.
    if (!ui_.loading()) {
        renderTree();
        renderList();
    }
    renderGeometry();
    rendering_ = false;
}

void MainWindow::renderGeometry() {
    const Twips t = Twips::of(this);
    cmdUpdate_->setGeometry(t.toPx(m_.cmdUpdate.geometry));
    cmdExit_->setGeometry(t.toPx(m_.cmdExit.geometry));
    cmdHelp_->setGeometry(t.toPx(m_.cmdHelp.geometry));
    cmdOption_->setGeometry(t.toPx(m_.cmdOption.geometry));
    lblFolderList_->setGeometry(t.toPx(m_.lblFolderList.geometry));
    lblStatus_->setGeometry(t.toPx(m_.lblStatus.geometry));
    label3_->setGeometry(t.toPx(m_.Label3.geometry));
    txtFolderComment_->setGeometry(t.toPx(m_.txtFolderComment.geometry));
    tvwFolders_->setGeometry(t.toPx(m_.tvwFolders.geometry));
    lvwFiles_->setGeometry(t.toPx(m_.lvwFiles.geometry));
    // Docked to the bottom, the full width, whatever rounding did above.
    const int barHeight = t.toPxY(m_.StatusBar1.geometry.height);
    statusBar_->setGeometry(0, height() - barHeight, width(), barHeight);
    statusPanel_->setMinimumWidth(std::max(0, t.toPxX(m_.StatusBar1.panelWidth) - 4));
}

void MainWindow::renderTree() {
    const TreeView& tree = m_.tvwFolders;
    if (tree.revision() != shownTreeRevision_) {
        tvwFolders_->clear();
        treeItems_.assign(tree.nodes().size(), nullptr);
        // Children by name whatever order the folder listed them in, as a
        // person looks for them; each item keeps its node's number.
        std::vector<std::size_t> order(tree.nodes().size());
        std::vector<QString> texts;
        texts.reserve(tree.nodes().size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
            texts.push_back(toQ(tree.nodes()[i].text));
        }
        // By parent (a parent is numbered before its children), then by name.
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            const int pa = tree.nodes()[a].parent, pb = tree.nodes()[b].parent;
            return pa != pb ? pa < pb : texts[a].compare(texts[b], Qt::CaseInsensitive) < 0;
        });
        for (const std::size_t i : order) {
            const TreeNode& node = tree.nodes()[i];
            QTreeWidgetItem* item = nullptr;
            if (node.parent > 0 && static_cast<std::size_t>(node.parent) <= treeItems_.size() &&
                treeItems_[static_cast<std::size_t>(node.parent - 1)] != nullptr) {
                item = new QTreeWidgetItem(treeItems_[static_cast<std::size_t>(node.parent - 1)]);
            } else {
                item = new QTreeWidgetItem(tvwFolders_);
            }
            item->setText(0, texts[i]);
            if (node.parent == 0) item->setToolTip(0, texts[i]);
            item->setData(0, Qt::UserRole, static_cast<int>(i + 1));
            treeItems_[i] = item;
        }
        shownTreeRevision_ = tree.revision();
    }
    if (tvwFolders_->topLevelItemCount() > 0) {
        QTreeWidgetItem* root = tvwFolders_->topLevelItem(0);
        root->setExpanded(tree.rootExpanded);
    }
    if (tree.selectedNode >= 1 && static_cast<std::size_t>(tree.selectedNode) <= treeItems_.size()) {
        QTreeWidgetItem* selected = treeItems_[static_cast<std::size_t>(tree.selectedNode - 1)];
        if (tvwFolders_->currentItem() != selected || !selected->isSelected()) tvwFolders_->setCurrentItem(selected);
    } else {
        tvwFolders_->clearSelection();
    }
}

void MainWindow::renderList() {
    const ListView& list = m_.lvwFiles;
    const bool reset = listModel_->update(list, m_.ImageList1);
    if (reset || !sameWidths(shownColumns_, list.columns)) {
        fitColumns();
        shownColumns_ = list.columns;
    }
    // Between resets the view's selection is the person's, pulled into the
    // rows as it changes; rows replaced or reordered bring their own.
    if (reset) showSelection();
}

void MainWindow::fitColumns() {
    // The person's width where a divider was dragged; else the column's own,
    // widened to the widest cell and the header where it fits its content.
    const ListView& list = m_.lvwFiles;
    const Twips t = Twips::of(this);
    QHeaderView* header = lvwFiles_->horizontalHeader();
    for (std::size_t i = 0; i < list.columns.size(); ++i) {
        const int column = static_cast<int>(i);
        int width = t.toPxX(list.columns[i].width);
        if (const auto kept = personWidths_.find(column); kept != personWidths_.end()) {
            width = kept->second;
        } else if (list.columns[i].fitsContent) {
            width = std::max({width, contentWidth(column), header->sectionSizeHint(column)});
        }
        if (header->sectionSize(column) != width) header->resizeSection(column, width);
    }
}

int MainWindow::contentWidth(int column) const {
    // In the list's font. Plain ASCII texts (times, sizes, the backup mark)
    // add up the advances of their characters, so that a folder of many
    // thousand rows is measured at once; the widest is then laid out whole.
    const QFontMetricsF metrics(lvwFiles_->font());
    std::array<qreal, 128> advance{};
    for (std::size_t c = 32; c < advance.size(); ++c) {
        advance[c] = metrics.horizontalAdvance(QChar(static_cast<char16_t>(c)));
    }
    qreal widest = 0;
    const std::string* widestText = nullptr;
    for (const ListItem& row : m_.lvwFiles.rows) {
        const std::string& text = row.cells[static_cast<std::size_t>(column)];
        qreal width = 0;
        for (const char c : text) {
            if (static_cast<unsigned char>(c) >= advance.size()) {
                width = metrics.horizontalAdvance(toQ(text));
                break;
            }
            width += advance[static_cast<unsigned char>(c)];
        }
        if (width > widest) {
            widest = width;
            widestText = &text;
        }
    }
    if (widestText != nullptr) widest = std::max(widest, metrics.horizontalAdvance(toQ(*widestText)));
    // The style's margin on either side of a cell's text, and the grid line.
    const int margin = lvwFiles_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lvwFiles_) + 1;
    return static_cast<int>(std::ceil(widest)) + 2 * margin + (lvwFiles_->showGrid() ? 1 : 0);
}

void MainWindow::showSelection() {
    const ListView& list = m_.lvwFiles;
    QItemSelectionModel* sel = lvwFiles_->selectionModel();
    QItemSelection wanted;
    const int columns = listModel_->columnCount();
    for (std::size_t i = 0; i < list.rows.size() && columns > 0; ++i) {
        if (!list.rows[i].selected) continue;
        std::size_t j = i;
        while (j + 1 < list.rows.size() && list.rows[j + 1].selected) ++j;
        wanted.select(listModel_->index(static_cast<int>(i), 0), listModel_->index(static_cast<int>(j), columns - 1));
        i = j;
    }
    sel->select(wanted, QItemSelectionModel::ClearAndSelect);
    if (list.selectedItem >= 0 && list.selectedItem < listModel_->rowCount()) {
        // In sight: the scroll range is the new rows' first, not the last
        // shown list's (an empty one while the load read the folder).
        lvwFiles_->doItemsLayout();
        sel->setCurrentIndex(listModel_->index(list.selectedItem, 0), QItemSelectionModel::NoUpdate);
        lvwFiles_->scrollTo(listModel_->index(list.selectedItem, 0));
    }
}

void MainWindow::pullSelection(const QItemSelection& selected, const QItemSelection& deselected) {
    // What the person changed, into the rows' selected flags: as many rows
    // as changed, not every row.
    ListView& list = m_.lvwFiles;
    if (!listModel_->isCurrent(list)) return;  // the next render shows the rows afresh
    const auto mark = [&](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            const int bottom = std::min(range.bottom(), static_cast<int>(list.rows.size()) - 1);
            for (int r = std::max(range.top(), 0); r <= bottom; ++r) {
                list.rows[static_cast<std::size_t>(r)].selected = on;
            }
        }
    };
    mark(deselected, false);
    mark(selected, true);
    pullSelectedItem();
}

void MainWindow::selectCurrentRow() {
    // As a click on it would: a row not yet selected becomes the selection.
    QItemSelectionModel* sel = lvwFiles_->selectionModel();
    const QModelIndex current = sel->currentIndex();
    if (current.isValid() && !sel->isRowSelected(current.row(), QModelIndex())) {
        sel->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
}

void MainWindow::menuKey(Qt::KeyboardModifiers modifiers) {
    // As a right-click on the current row.
    selectCurrentRow();
    const QModelIndex current = lvwFiles_->selectionModel()->currentIndex();
    const QPoint position = current.isValid() ? lvwFiles_->visualRect(current).center() : QPoint();
    pullSelectedItem();
    const Twips t = Twips::of(this);
    run([&] {
        m_.lvwFiles_MouseUp(kRightButton, shiftBits(modifiers), t.fromPxX(position.x()), t.fromPxY(position.y()));
    });
}

void MainWindow::pullSelectedItem() {
    // SelectedItem: the current row when it is selected, else the first
    // selected row.
    ListView& list = m_.lvwFiles;
    if (!listModel_->isCurrent(list)) return;
    const QItemSelectionModel* sel = lvwFiles_->selectionModel();
    const int current = sel->currentIndex().isValid() ? sel->currentIndex().row() : -1;
    if (current >= 0 && current < static_cast<int>(list.rows.size()) &&
        list.rows[static_cast<std::size_t>(current)].selected) {
        list.selectedItem = current;
        return;
    }
    int first = -1;
    for (const QItemSelectionRange& range : sel->selection()) {
        if (first < 0 || range.top() < first) first = range.top();
    }
    list.selectedItem = first;
}

// --- Size, state and closing ---------------------------------------------------

void MainWindow::applyWindowState(WindowState state) {
    switch (state) {
    case WindowState::Minimized:
        if (!iconifyOnX11(this)) showMinimized();
        break;
    case WindowState::Maximized:
        showMaximized();
        // Without a window manager (a bare X server) nobody maximises the
        // window: fill the screen's work area then. Never where one runs: it
        // may just be slow, and a new size would take the maximised state off.
        if (!onX11WithoutWindowManager(this)) break;
        QTimer::singleShot(300, this, [this] {
            QScreen* s = screen();
            if (s == nullptr || !isMaximized() || isMinimized()) return;
            const QRect area = s->availableGeometry();
            if (frameGeometry().width() < area.width() * 9 / 10 || frameGeometry().height() < area.height() * 9 / 10) {
                setGeometry(area);
            }
        });
        break;
    case WindowState::Normal: showNormal(); break;
    }
}

void MainWindow::reportSize() {
    const Twips t = Twips::of(this);
    const QRect outer = frameGeometry();
    m_.width = t.fromPxX(outer.width());
    m_.height = t.fromPxY(outer.height());
    m_.clientWidth = t.fromPxX(width());
    m_.clientHeight = t.fromPxY(height());
}

void MainWindow::handleResize() {
    if (applyingSize_) return;
    m_.windowState = shownState_;
    reportSize();
    const Twips t = Twips::of(this);
    const QSize before = size();
    run([this] { m_.Form_Resize(); });
    // Not while a maximise or minimise asked for is still on its way (the
    // platform window holds the latest asked for or reported).
    if (m_.windowState == WindowState::Normal && windowHandle()->windowStates() == Qt::WindowNoState) {
        // The minimum size the layout asked for.
        const QSize wanted(t.toPxX(m_.clientWidth), t.toPxY(m_.clientHeight));
        if (wanted != before && (wanted.width() > before.width() || wanted.height() > before.height())) {
            applyingSize_ = true;
            resize(std::max(wanted.width(), before.width()), std::max(wanted.height(), before.height()));
            applyingSize_ = false;
            renderGeometry();
        }
    }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    handleResize();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Only the window system's own reports (spontaneous events) say what the
    // window is: Qt also announces each state it was asked for at once, and
    // a window manager minimising a maximised window may report a normal
    // state on the way.
    if (watched == windowHandle() && event->type() == QEvent::WindowStateChange && event->spontaneous()) {
        const Qt::WindowStates states = windowHandle()->windowStates();
        const WindowState now = states & Qt::WindowMinimized   ? WindowState::Minimized
                                : states & Qt::WindowMaximized ? WindowState::Maximized
                                                               : WindowState::Normal;
        if (now != shownState_) {
            shownState_ = now;
            // Coming back from the task bar lays out again (and reloads after an open).
            handleResize();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) run([this] { m_.Form_Activate(); });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (pressFocusedButton(this, event)) return;
    if (event->key() == Qt::Key_F5 && modifiersOf(event) == Qt::NoModifier) {
        run([this] { m_.cmdUpdate_Click(); });
        return;
    }
    if (isParentKey(event)) {
        if (m_.tvwFolders.count() > 0) run([this] { m_.tvwFolders_NodeClick(1); });
        return;
    }
    if (event->key() == Qt::Key_D && modifiersOf(event) == Qt::ControlModifier) {
        pullSelectedItem();
        run([this] { m_.fun_aCompare(); });
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::endProgram() {
    // The exit button has written everything: close without the unload steps.
    ended_ = true;
    close();
    emit programEnded();
}

void MainWindow::closeFromSystem() {
    // A copy or a load under way stops first, and its action ends as a
    // failed one.
    if (ui_.copying() || ui_.loading()) {
        ui_.cancelCopy();
        ui_.cancelLoad();
        QTimer::singleShot(50, this, [this] { closeFromSystem(); });
        return;
    }
    // A small window, message box or input box first, as through its title
    // bar; the handler that opened it then finishes before the main window
    // closes.
    if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
        modal->close();
        QTimer::singleShot(0, this, [this] { closeFromSystem(); });
        return;
    }
    // What the unload steps show from here on (a save that fails says so)
    // is closed too: the session is ending, nobody is there to answer.
    if (!closingModals_) {
        closingModals_ = new QTimer(this);
        connect(closingModals_, &QTimer::timeout, this, [this] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) modal->close();
        });
        closingModals_->start(50);
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box, as any input to the window, is not taken during a copy.
    if (ui_.copying()) {
        event->ignore();
        return;
    }
    // A load is stopped: the window closes once it has ended.
    if (ui_.loading()) {
        event->ignore();
        closeFromSystem();
        return;
    }
    if (!ended_) {
        ended_ = true;
        m_.Form_Unload();
        emit programEnded();
    }
    event->accept();
}

}  // namespace mabrel::gui
