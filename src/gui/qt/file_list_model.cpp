#include "gui/qt/file_list_model.h"

#include <QImage>

#include "gui/qt/gui_util.h"

namespace mabrel::gui {

namespace {

bool sameColumns(const std::vector<ColumnHeader>& a, const std::vector<ColumnHeader>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].text != b[i].text || a[i].alignment != b[i].alignment) return false;
    }
    return true;
}

Qt::Alignment toQt(Alignment a) {
    switch (a) {
    case Alignment::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case Alignment::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case Alignment::Left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

bool FileListModel::update(const ListView& list, const ImageList& images) {
    if (isCurrent(list) && images_ == &images && sameColumns(columns_, list.columns)) {
        if (rowCount_ > 0 && !columns_.empty()) {
            emit dataChanged(index(0, 0), index(rowCount_ - 1, static_cast<int>(columns_.size()) - 1));
        }
        return false;
    }
    beginResetModel();
    list_ = &list;
    images_ = &images;
    rowCount_ = static_cast<int>(list.rows.size());
    revision_ = list.revision;
    columns_ = list.columns;
    pixmaps_.clear();
    endResetModel();
    return true;
}

const std::vector<ListItem>& FileListModel::rows() const {
    static const std::vector<ListItem> none;
    return list_ != nullptr ? list_->rows : none;
}

int FileListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rowCount_; }

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    // The rows are read where they are; while a handler changes them the
    // view may ask for rows that are gone.
    if (!index.isValid() || list_ == nullptr || index.row() >= static_cast<int>(list_->rows.size()) ||
        index.column() >= 6) {
        return {};
    }
    const ListItem& row = list_->rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return toQ(row.cells[static_cast<std::size_t>(index.column())]);
    case Qt::DecorationRole:
        if (index.column() == 0 && row.smallIcon > 0) return iconOf(row.smallIcon);
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() < static_cast<int>(columns_.size()))
            return QVariant::fromValue(toQt(columns_[static_cast<std::size_t>(index.column())].alignment));
        return {};
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(columns_.size())) return {};
    const ColumnHeader& column = columns_[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) return toQ(column.text);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(toQt(column.alignment));
    return {};
}

QPixmap FileListModel::iconOf(int imageIndex) const {
    if (images_ == nullptr || imageIndex < 1 || static_cast<std::size_t>(imageIndex) > images_->images.size()) {
        return {};
    }
    const SharedIcon& icon = images_->images.picture(static_cast<std::size_t>(imageIndex - 1));
    if (!icon) return {};
    if (auto it = pixmaps_.constFind(icon.get()); it != pixmaps_.constEnd()) return it->second;
    QPixmap pixmap;
    if (icon->width > 0 && icon->height > 0 &&
        icon->pixels.size() >= static_cast<std::size_t>(icon->width) * static_cast<std::size_t>(icon->height)) {
        QImage image(reinterpret_cast<const uchar*>(icon->pixels.data()), icon->width, icon->height, icon->width * 4,
                     QImage::Format_ARGB32);
        // The list's images are 16 x 16 whatever the picture was.
        pixmap = QPixmap::fromImage(image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    pixmaps_.insert(icon.get(), {icon, pixmap});
    return pixmap;
}

}  // namespace mabrel::gui
