#include "gui/qt/compare_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QThread>
#include <algorithm>

#include "gui/qt/gui_util.h"
#include "gui/shared/compare_colours.h"

namespace mabrel::gui {

namespace {

constexpr int kTickMs = 40;

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(0xFF000000u | rgb)); }

// A face whose characters line up, Japanese included.
QFont lineFont() {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
                                 QStringLiteral("IPAゴシック"), QStringLiteral("Noto Sans Mono CJK JP"),
                                 QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(10);
    return font;
}

}  // namespace

// --- The rows ------------------------------------------------------------------

void CompareRowsModel::setComparison(const backup::TextComparison* comparison) {
    beginResetModel();
    comparison_ = comparison;
    endResetModel();
}

int CompareRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || comparison_ == nullptr ? 0 : static_cast<int>(comparison_->rows.size());
}

int CompareRowsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant CompareRowsModel::data(const QModelIndex& index, int role) const {
    if (comparison_ == nullptr || !index.isValid()) return {};
    const backup::CompareRow& row = comparison_->rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::UserRole) return static_cast<int>(row.kind);
    if (role != Qt::DisplayRole) return {};
    if ((newerSide_ ? row.right : row.left) < 0) return QString();
    QString text;
    for (const backup::Run& run : comparison_->runs(static_cast<std::size_t>(index.row()), newerSide_)) text += toQ(run.text);
    return text;
}

QVariant CompareRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (comparison_ == nullptr || orientation != Qt::Vertical || section < 0 ||
        section >= static_cast<int>(comparison_->rows.size())) {
        return {};
    }
    const backup::CompareRow& row = comparison_->rows[static_cast<std::size_t>(section)];
    const std::int32_t line = newerSide_ ? row.right : row.left;
    if (role == Qt::DisplayRole) return line < 0 ? QString() : QString::number(line + 1);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ForegroundRole) return colour(kLineNumber);
    return {};
}

void ChangeStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), colour(kNoLine));
    const int h = height();
    for (const auto& m : model_.stripMarks()) {
        const int top = static_cast<int>(m.from * h);
        const int bottom = std::max(top + 2, static_cast<int>(m.to * h));
        const std::uint32_t rgb = m.kind == backup::RowKind::Removed ? kRemovedCharacters
                                  : m.kind == backup::RowKind::Added ? kAddedCharacters
                                                                     : kChangedStrip;
        painter.fillRect(QRect(1, top, width() - 2, bottom - top), colour(rgb));
    }
    if (model_.currentRow() >= 0 && model_.comparison() != nullptr && !model_.comparison()->rows.empty()) {
        const int y = static_cast<int>(static_cast<double>(model_.currentRow()) * h /
                                       static_cast<double>(model_.comparison()->rows.size()));
        painter.setPen(colour(kLineNumber));
        painter.drawLine(0, y, width(), y);
    }
}

void ChangeStrip::mousePressEvent(QMouseEvent* event) {
    model_.picChanges_Click(height() > 0 ? event->position().y() / height() : 0);
    if (clicked) clicked();
}

void CompareRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const CompareRowsModel*>(index.model());
    if (model == nullptr || model->comparison() == nullptr) return;
    const backup::TextComparison& c = *model->comparison();
    const auto rowIndex = static_cast<std::size_t>(index.row());
    const backup::CompareRow& row = c.rows[rowIndex];
    const bool newer = model->newerSide();
    const bool hasLine = (newer ? row.right : row.left) >= 0;
    const bool selected = option.state & QStyle::State_Selected;

    painter->save();
    painter->fillRect(option.rect, colour(lineColour(row.kind, newer, hasLine)));
    // The current row framed, its colours kept; the sides parted by a line.
    if (selected) {
        painter->setPen(option.palette.color(QPalette::Highlight));
        painter->drawLine(option.rect.topLeft(), option.rect.topRight());
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    }
    painter->setFont(option.font);
    const QRect area = option.rect.adjusted(4, 0, -2, 0);
    painter->setPen(option.palette.color(QPalette::Text));
    const QFontMetrics metrics(option.font);
    // Only what is in view is drawn: lines may be 100 KB long.
    const QRect visible = painter->clipBoundingRect().toAlignedRect();
    const int right = visible.isEmpty() ? area.right() : visible.right();
    int x = area.left();
    for (const backup::Run& run : c.runs(rowIndex, newer)) {
        const QString text = toQ(run.text);
        const int width = metrics.horizontalAdvance(text);
        if (run.changed && row.kind == backup::RowKind::Changed) {
            painter->fillRect(QRect(x, option.rect.top() + 1, width, option.rect.height() - 2),
                              colour(characterColour(newer)));
        }
        painter->drawText(QRect(x, area.top(), width + 1, area.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += width;
        if (x > right) break;
    }
    painter->restore();
}

// --- The window ------------------------------------------------------------------

CompareDialog::CompareDialog(frm_compare& model, QWidget* owner) : QDialog(owner), model_(model) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    setWindowTitle(toQ(model_.caption));
    setModal(true);
    setFont(designFont(9));
    // Over the main window, or as the person last left a compare window.
    if (owner != nullptr) {
        const QRect main = owner->geometry();
        const ComparePlacement p = comparePlacement({main.x(), main.y(), main.width(), main.height()});
        setGeometry(p.left, p.top, p.width, p.height);
        // Maximised over a maximised main window.
        if (owner->isMaximized()) setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        const Twips t = Twips::of(this);
        resize(t.toPxX(model_.clientWidth), t.toPxY(model_.clientHeight));
    }

    older_ = new QLabel(this);
    newer_ = new QLabel(this);
    for (QLabel* l : {older_, newer_}) {
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    for (const bool newerSide : {false, true}) {
        auto* grid = new QTableView(this);
        auto* model = new CompareRowsModel(newerSide, grid);
        grid->setModel(model);
        grid->setItemDelegate(new CompareRowDelegate(grid));
        grid->setFont(lineFont());
        grid->setShowGrid(false);
        grid->setWordWrap(false);
        grid->setSelectionBehavior(QAbstractItemView::SelectRows);
        grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
        grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
        grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        grid->horizontalHeader()->hide();
        grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        grid->verticalHeader()->setDefaultSectionSize(QFontMetrics(grid->font()).height() + 2);
        grid->verticalHeader()->setFont(grid->font());
        grid->setTabKeyNavigation(false);
        connect(grid, &QAbstractItemView::clicked, this, [this](const QModelIndex& at) {
            model_.grdRows_Click(at.row());
            render();
        });
        (newerSide ? newerGrid_ : olderGrid_) = grid;
        (newerSide ? newerModel_ : olderModel_) = model;
    }
    // Up and down as one; sideways each by itself.
    connect(olderGrid_->verticalScrollBar(), &QScrollBar::valueChanged, newerGrid_->verticalScrollBar(), &QScrollBar::setValue);
    connect(newerGrid_->verticalScrollBar(), &QScrollBar::valueChanged, olderGrid_->verticalScrollBar(), &QScrollBar::setValue);
    olderGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    strip_ = new ChangeStrip(model_, this);
    strip_->clicked = [this] { render(); };
    ignoreWhitespace_ = new QCheckBox(this);
    ignoreLineEnds_ = new QCheckBox(this);
    connect(ignoreWhitespace_, &QCheckBox::clicked, this, [this] {
        model_.chkIgnoreWhitespace_Click();
        render();
    });
    connect(ignoreLineEnds_, &QCheckBox::clicked, this, [this] {
        model_.chkIgnoreLineEnds_Click();
        render();
    });
    find_ = new QLineEdit(this);
    find_->setClearButtonEnabled(true);
    connect(find_, &QLineEdit::returnPressed, this, [this] {
        if (!model_.find(fromQ(find_->text()))) QApplication::beep();
        render();
    });
    auto* findKey = new QShortcut(QKeySequence::Find, this);
    connect(findKey, &QShortcut::activated, this, [this] {
        find_->setFocus(Qt::ShortcutFocusReason);
        find_->selectAll();
    });
    auto* findNextKey = new QShortcut(QKeySequence::FindNext, this);
    connect(findNextKey, &QShortcut::activated, this, [this] {
        model_.find(fromQ(find_->text()));
        render();
    });
    auto* copyKey = new QShortcut(QKeySequence::Copy, this);
    copyKey->setContext(Qt::WindowShortcut);
    connect(copyKey, &QShortcut::activated, this, [this] { copySelection(); });

    status_ = new QLabel(this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    previous_ = new QPushButton(this);
    next_ = new QPushButton(this);
    close_ = new QPushButton(this);
    for (QPushButton* b : {previous_, next_, close_}) b->setAutoDefault(false);
    previous_->setToolTip(QStringLiteral("Alt+↑"));
    next_->setToolTip(QStringLiteral("Alt+↓"));
    connect(previous_, &QPushButton::clicked, this, [this] {
        model_.cmdPrevious_Click();
        render();
    });
    connect(next_, &QPushButton::clicked, this, [this] {
        model_.cmdNext_Click();
        render();
    });
    connect(close_, &QPushButton::clicked, this, [this] {
        model_.cmdClose_Click();
        accept();
    });
    // Alt+Down and Alt+Up wherever the focus is, the table's own arrows too.
    auto* nextKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Down), this);
    auto* previousKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Up), this);
    connect(nextKey, &QShortcut::activated, next_, [this] {
        model_.cmdNext_Click();
        render();
    });
    connect(previousKey, &QShortcut::activated, previous_, [this] {
        model_.cmdPrevious_Click();
        render();
    });
    setTabOrder(newerGrid_, olderGrid_);
    setTabOrder(olderGrid_, find_);
    setTabOrder(find_, next_);
    setTabOrder(next_, previous_);
    setTabOrder(previous_, close_);

    connect(&timer_, &QTimer::timeout, this, &CompareDialog::tick);
    started_.start();
    render();
}

void CompareDialog::run() {
    timer_.start(kTickMs);
    // Hidden meanwhile: a file that is no text never shows a window. The
    // person's input waits, as during a copy.
    if (!model_.visible && !model_.unloaded) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        while (!model_.visible && !model_.unloaded) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
            QThread::msleep(5);
            tick();
        }
        QApplication::restoreOverrideCursor();
    }
    if (!model_.unloaded) {
        newerGrid_->setFocus(Qt::OtherFocusReason);
        exec();
    }
    timer_.stop();
}

void CompareDialog::tick() {
    if (model_.Timer_Tick(static_cast<int>(started_.elapsed()))) render();
    if (model_.unloaded && isVisible()) accept();
}

void CompareDialog::render() {
    older_->setText(toQ(model_.lblOlder.caption));
    newer_->setText(toQ(model_.lblNewer.caption));
    status_->setText(toQ(model_.lblStatus.caption));
    progress_->setVisible(model_.prgProgress.visible);
    // A busy bar while the comparison cannot tell how far it is.
    progress_->setRange(0, model_.progress < 0 ? 0 : 1000);
    progress_->setValue(std::max(model_.progress, 0));
    previous_->setText(toQ(model_.cmdPrevious.caption));
    next_->setText(toQ(model_.cmdNext.caption));
    close_->setText(toQ(model_.cmdClose.caption));
    previous_->setEnabled(model_.cmdPrevious.enabled);
    next_->setEnabled(model_.cmdNext.enabled);
    ignoreWhitespace_->setText(toQ(model_.chkIgnoreWhitespace.caption));
    ignoreLineEnds_->setText(toQ(model_.chkIgnoreLineEnds.caption));
    ignoreWhitespace_->setChecked(model_.options.ignoreWhitespace);
    ignoreLineEnds_->setChecked(model_.options.ignoreLineEnds);
    ignoreWhitespace_->setEnabled(model_.chkIgnoreWhitespace.enabled);
    ignoreLineEnds_->setEnabled(model_.chkIgnoreLineEnds.enabled);
    find_->setPlaceholderText(toQ(model_.txtFind.caption));
    setWindowTitle(toQ(model_.caption));
    if (newerModel_->comparison() != model_.comparison()) {
        olderModel_->setComparison(model_.comparison());
        newerModel_->setComparison(model_.comparison());
        fitColumns();
    }
    scrollToPlace();
    strip_->update();
    layOut();
}

void CompareDialog::scrollToPlace() {
    if (shownScrollRequests_ == model_.scrollRequests || model_.place.row < 0) return;
    shownScrollRequests_ = model_.scrollRequests;
    const frm_compare::Place& p = model_.place;
    for (QTableView* grid : {olderGrid_, newerGrid_}) {
        // Not scrolled by the view itself (to the line's start, and again
        // when first shown): the place says where.
        grid->setAutoScroll(false);
        const QModelIndex at = grid->model()->index(p.row, 0);
        grid->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        grid->setAutoScroll(true);
    }
    QTableView* grid = rows(p.newerSide);
    grid->scrollTo(grid->model()->index(p.row, 0), QAbstractItemView::PositionAtCenter);
    // The piece sideways in view, a third of the way in: the text before it
    // measured as drawn.
    const QString shown = grid->model()->index(p.row, 0).data().toString();
    const QFontMetrics metrics(grid->font());
    const int x = 4 + metrics.horizontalAdvance(shown.left(p.column));
    const int width = metrics.horizontalAdvance(shown.mid(p.column, std::max(p.length, 1)));
    QScrollBar* bar = grid->horizontalScrollBar();
    const int viewport = grid->viewport()->width();
    // The view sets its scrollbar's range only when it next lays itself
    // out: the range the column needs, now.
    bar->setRange(0, std::max(bar->maximum(), grid->columnWidth(0) - viewport));
    if (x < bar->value() || x + width > bar->value() + viewport) bar->setValue(std::max(0, x - viewport / 3));
}

void CompareDialog::copySelection() {
    QTableView* grid = olderGrid_->hasFocus() ? olderGrid_ : newerGrid_;
    QList<int> selected;
    for (const QModelIndex& i : grid->selectionModel()->selectedRows()) selected.push_back(i.row());
    std::sort(selected.begin(), selected.end());
    std::string text;
    for (const int row : selected) text += model_.copyText(row, row, grid == newerGrid_);
    if (!text.empty()) QApplication::clipboard()->setText(toQ(text));
}

void CompareDialog::layOut() {
    const Twips t = Twips::of(this);
    older_->setGeometry(t.toPx(model_.lblOlder.geometry));
    newer_->setGeometry(t.toPx(model_.lblNewer.geometry));
    olderGrid_->setGeometry(t.toPx(model_.grdOlder.geometry));
    newerGrid_->setGeometry(t.toPx(model_.grdNewer.geometry));
    strip_->setGeometry(t.toPx(model_.picChanges.geometry));
    ignoreWhitespace_->setGeometry(t.toPx(model_.chkIgnoreWhitespace.geometry));
    ignoreLineEnds_->setGeometry(t.toPx(model_.chkIgnoreLineEnds.geometry));
    find_->setGeometry(t.toPx(model_.txtFind.geometry));
    status_->setGeometry(t.toPx(model_.lblStatus.geometry));
    progress_->setGeometry(t.toPx(model_.prgProgress.geometry));
    previous_->setGeometry(t.toPx(model_.cmdPrevious.geometry));
    next_->setGeometry(t.toPx(model_.cmdNext.geometry));
    close_->setGeometry(t.toPx(model_.cmdClose.geometry));
}

void CompareDialog::fitColumns() {
    // Each side's text as wide as its longest line, at least its view: it
    // then scrolls sideways.
    const backup::TextComparison* c = model_.comparison();
    for (QTableView* grid : {olderGrid_, newerGrid_}) {
        const QFontMetrics metrics(grid->font());
        int longest = 0;
        if (c != nullptr) {
            const backup::TextFile& f = grid == newerGrid_ ? c->newer : c->older;
            // Room besides for tabs laid out wider than measured.
            longest = metrics.horizontalAdvance(toQ(std::string(f.longestLine()))) + 16 * metrics.averageCharWidth();
        }
        grid->setColumnWidth(0, std::max(grid->viewport()->width(), longest + 40));
    }
}

void CompareDialog::done(int result) {
    rememberComparePlacement({geometry().x(), geometry().y(), geometry().width(), geometry().height()});
    QDialog::done(result);
}

void CompareDialog::reject() {
    // Escape, the close box, the system: the comparison stops.
    model_.Form_Unload();
    model_.unloaded = true;
    QDialog::reject();
}

void CompareDialog::keyPressEvent(QKeyEvent* event) {
    if (pressFocusedButton(this, event)) return;
    QDialog::keyPressEvent(event);
}

void CompareDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const Twips t = Twips::of(this);
    model_.clientWidth = t.fromPxX(width());
    model_.clientHeight = t.fromPxY(height());
    model_.Form_Resize();
    layOut();
    fitColumns();
}

}  // namespace mabrel::gui
