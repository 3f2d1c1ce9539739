#include "gui/file_list_model.h"

#include <QImage>

#include "gui/gui_util.h"

namespace mabrel::gui {

namespace {

bool sameRows(const std::vector<ListItem>& a, const std::vector<ListItem>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].smallIcon != b[i].smallIcon || a[i].cells != b[i].cells) return false;
    }
    return true;
}

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
    if (images_ == &images && imageCount_ == images.images.size() && sameColumns(columns_, list.columns) &&
        sameRows(rows_, list.rows)) {
        return false;
    }
    beginResetModel();
    rows_ = list.rows;
    columns_ = list.columns;
    images_ = &images;
    imageCount_ = images.images.size();
    pixmaps_.clear();
    endResetModel();
    return true;
}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()) || index.column() >= 6) return {};
    const ListItem& row = rows_[static_cast<std::size_t>(index.row())];
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
    if (auto it = pixmaps_.constFind(imageIndex); it != pixmaps_.constEnd()) return *it;
    QPixmap pixmap;
    if (images_ != nullptr && imageIndex >= 1 && static_cast<std::size_t>(imageIndex) <= images_->images.size()) {
        const IconImage& icon = images_->images[static_cast<std::size_t>(imageIndex - 1)].second;
        if (icon.width > 0 && icon.height > 0 &&
            icon.pixels.size() >= static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height)) {
            QImage image(reinterpret_cast<const uchar*>(icon.pixels.data()), icon.width, icon.height,
                         icon.width * 4, QImage::Format_ARGB32);
            // The list's images are 16 x 16 whatever the picture was.
            pixmap = QPixmap::fromImage(image.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        }
    }
    pixmaps_.insert(imageIndex, pixmap);
    return pixmap;
}

}  // namespace mabrel::gui
