#include "gui/qt/compare_dialog.h"

#include <QApplication>
#include <QHeaderView>
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

bool isTextColumn(int column) { return column == 1 || column == 3; }
bool isNewerColumn(int column) { return column >= 2; }

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

int CompareRowsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QVariant CompareRowsModel::data(const QModelIndex& index, int role) const {
    if (comparison_ == nullptr || !index.isValid()) return {};
    const backup::CompareRow& row = comparison_->rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::UserRole) return static_cast<int>(row.kind);
    if (role != Qt::DisplayRole) return {};
    const bool newer = isNewerColumn(index.column());
    const std::int32_t line = newer ? row.right : row.left;
    if (line < 0) return QString();
    if (!isTextColumn(index.column())) return QString::number(line + 1);
    QString text;
    for (const backup::Run& run : comparison_->runs(static_cast<std::size_t>(index.row()), newer)) text += toQ(run.text);
    return text;
}

QVariant CompareRowsModel::headerData(int, Qt::Orientation, int) const { return {}; }

void CompareRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto* model = qobject_cast<const CompareRowsModel*>(index.model());
    if (model == nullptr || model->comparison() == nullptr) return;
    const backup::TextComparison& c = *model->comparison();
    const auto rowIndex = static_cast<std::size_t>(index.row());
    const backup::CompareRow& row = c.rows[rowIndex];
    const bool newer = isNewerColumn(index.column());
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
    if (index.column() == 2) {
        painter->setPen(colour(kLineNumber));
        painter->drawLine(option.rect.topLeft(), option.rect.bottomLeft());
    }
    painter->setFont(option.font);
    const QRect area = option.rect.adjusted(4, 0, -2, 0);
    if (!isTextColumn(index.column())) {
        if (hasLine) {
            painter->setPen(colour(kLineNumber));
            painter->drawText(area, Qt::AlignRight | Qt::AlignVCenter, index.data().toString());
        }
        painter->restore();
        return;
    }
    painter->setPen(option.palette.color(QPalette::Text));
    const QFontMetrics metrics(option.font);
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
        if (x > area.right()) break;
    }
    painter->restore();
}

// --- The window ------------------------------------------------------------------

CompareDialog::CompareDialog(frm_compare& model, QWidget* owner) : QDialog(owner), model_(model) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint);
    setWindowTitle(toQ(model_.caption));
    setModal(true);
    setFont(designFont(9));
    const Twips t = Twips::of(owner != nullptr ? owner : this);
    resize(t.toPxX(model_.clientWidth), t.toPxY(model_.clientHeight));

    older_ = new QLabel(this);
    newer_ = new QLabel(this);
    for (QLabel* l : {older_, newer_}) {
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    grid_ = new QTableView(this);
    rowsModel_ = new CompareRowsModel(grid_);
    grid_->setModel(rowsModel_);
    grid_->setItemDelegate(new CompareRowDelegate(grid_));
    grid_->setFont(lineFont());
    grid_->setShowGrid(false);
    grid_->setWordWrap(false);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(QFontMetrics(grid_->font()).height() + 2);
    grid_->setTabKeyNavigation(false);

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
    setTabOrder(grid_, next_);
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
        grid_->setFocus(Qt::OtherFocusReason);
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
    if (rowsModel_->comparison() != model_.comparison()) {
        rowsModel_->setComparison(model_.comparison());
        fitColumns();
    }
    if (shownScrollRequests_ != model_.scrollRequests && model_.currentRow() >= 0) {
        shownScrollRequests_ = model_.scrollRequests;
        const QModelIndex at = rowsModel_->index(model_.currentRow(), 1);
        grid_->selectionModel()->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        grid_->scrollTo(at, QAbstractItemView::PositionAtCenter);
    }
    layOut();
}

void CompareDialog::layOut() {
    const Twips t = Twips::of(this);
    older_->setGeometry(t.toPx(model_.lblOlder.geometry));
    newer_->setGeometry(t.toPx(model_.lblNewer.geometry));
    grid_->setGeometry(t.toPx(model_.grdRows.geometry));
    status_->setGeometry(t.toPx(model_.lblStatus.geometry));
    progress_->setGeometry(t.toPx(model_.prgProgress.geometry));
    previous_->setGeometry(t.toPx(model_.cmdPrevious.geometry));
    next_->setGeometry(t.toPx(model_.cmdNext.geometry));
    close_->setGeometry(t.toPx(model_.cmdClose.geometry));
}

void CompareDialog::fitColumns() {
    // The line numbers as wide as the largest; each text half of the rest,
    // or as wide as the longest line, the table then scrolling sideways.
    const backup::TextComparison* c = model_.comparison();
    const QFontMetrics metrics(grid_->font());
    const std::size_t lines = c ? std::max(c->older.lines.size(), c->newer.lines.size()) : 0;
    const int numbers = metrics.horizontalAdvance(QString(QString::number(lines).size(), QLatin1Char('9'))) + 10;
    const int half = std::max(100, (grid_->viewport()->width() - 2 * numbers) / 2);
    int longest = 0;
    if (c != nullptr) {
        for (const backup::TextFile* f : {&c->older, &c->newer}) {
            longest = std::max(longest, metrics.horizontalAdvance(toQ(std::string(f->longestLine()))));
        }
    }
    const int text = std::max(half, longest + 40);
    grid_->setColumnWidth(0, numbers);
    grid_->setColumnWidth(1, text);
    grid_->setColumnWidth(2, numbers);
    grid_->setColumnWidth(3, text);
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
