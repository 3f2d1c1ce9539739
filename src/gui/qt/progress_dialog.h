// The small modal window a long copy shows: the file's name, how much of it
// is copied, and キャンセル. Closing it in any way (キャンセル, Escape, its
// close box, the system) cancels the copy; the copy's end closes it.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace mabrel::gui {

class ProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit ProgressDialog(QWidget* owner);

    void setProgress(const QString& fileName, std::uint64_t copied, std::uint64_t total);
    bool cancelled() const { return cancelled_; }

    QLabel* nameLabel() const { return name_; }
    QProgressBar* bar() const { return bar_; }
    QLabel* amountLabel() const { return amount_; }
    QPushButton* cancelButton() const { return cancel_; }

    // "1,234.5 MB / 2,048.0 MB"; small files in bytes.
    static QString amountText(std::uint64_t copied, std::uint64_t total);

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* name_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QLabel* amount_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QString fileName_;
    bool cancelled_ = false;
};

}  // namespace mabrel::gui
