// The file list's rows as a Qt table model. It holds a copy of what the
// window model's list shows, replaced whole when the list changes, and turns
// each row's image of the image list into a pixmap when the row is drawn.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
#include <vector>

#include "app/controls.h"

namespace mabrel::gui {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Takes over the rows, columns and images when they differ from those
    // shown; true when the view was reset.
    bool update(const ListView& list, const ImageList& images);

    const std::vector<ListItem>& rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QPixmap iconOf(int imageIndex) const;

    std::vector<ListItem> rows_;
    std::vector<ColumnHeader> columns_;
    const ImageList* images_ = nullptr;
    std::size_t imageCount_ = 0;
    mutable QHash<int, QPixmap> pixmaps_;
};

}  // namespace mabrel::gui
