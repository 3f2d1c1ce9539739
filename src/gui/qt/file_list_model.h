// The file list's rows as a Qt table model. It copies nothing: it reads the
// window model's list and image list where they are, and turns each picture
// of the image list into a pixmap once, however many rows show it.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QPixmap>
#include <cstdint>
#include <utility>
#include <vector>

#include "app/controls.h"

namespace mabrel::gui {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FileListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Shows this list after a change: the view is reset when the rows were
    // replaced or reordered or the columns changed (true then); otherwise
    // only what is visible is drawn again, as a cell may have changed.
    bool update(const ListView& list, const ImageList& images);
    // Whether the view shows the list's rows as they are now, in number and
    // order (false between a handler's change and the next update).
    bool isCurrent(const ListView& list) const {
        return list_ == &list && revision_ == list.revision && rowCount_ == static_cast<int>(list.rows.size());
    }

    const std::vector<ListItem>& rows() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QPixmap iconOf(int imageIndex) const;

    const ListView* list_ = nullptr;
    const ImageList* images_ = nullptr;
    // As at the last reset: the view's idea of the rows.
    int rowCount_ = 0;
    std::uint64_t revision_ = 0;
    std::vector<ColumnHeader> columns_;
    // By picture; the picture is held, so that its address names it alone.
    mutable QHash<const IconImage*, std::pair<SharedIcon, QPixmap>> pixmaps_;
};

}  // namespace mabrel::gui
