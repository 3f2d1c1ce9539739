#include "gui/qt/progress_dialog.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/qt/gui_util.h"

namespace mabrel::gui {

namespace {

// Twips.
constexpr int kWidth = 5400;
constexpr int kButtonWidth = 1215;
constexpr int kButtonHeight = 375;
constexpr int kMargin = 150;
constexpr int kBarSteps = 1000;

}  // namespace

ProgressDialog::ProgressDialog(QWidget* owner) : QDialog(owner) {
    // As the other small windows: a title bar with a close button only.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral(" コピー中"));
    setModal(true);
    setFont(designFont(9));
    const Twips t = Twips::of(owner != nullptr ? owner : this);

    auto* heading = new QLabel(QStringLiteral("ファイルをコピーしています。"), this);
    name_ = new QLabel(this);
    name_->setTextFormat(Qt::PlainText);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, kBarSteps);
    bar_->setValue(0);
    amount_ = new QLabel(this);
    amount_->setTextFormat(Qt::PlainText);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setAutoDefault(false);  // Enter presses it as the focused button
    cancel_->setFixedSize(t.toPxX(kButtonWidth), t.toPxY(kButtonHeight));
    connect(cancel_, &QPushButton::clicked, this, &ProgressDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(amount_, 1);
    bottom->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    const int margin = t.toPxX(kMargin);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(heading);
    layout->addWidget(name_);
    layout->addWidget(bar_);
    layout->addLayout(bottom);
    amount_->setText(amountText(0, 0));
    setFixedWidth(t.toPxX(kWidth));
    setFixedHeight(sizeHint().height());
    cancel_->setFocus(Qt::OtherFocusReason);
}

QString ProgressDialog::amountText(std::uint64_t copied, std::uint64_t total) {
    const QLocale locale(QLocale::Japanese, QLocale::Japan);
    if (total < (std::uint64_t{1} << 20)) {
        return locale.toString(static_cast<qulonglong>(copied)) + QStringLiteral(" / ") +
               locale.toString(static_cast<qulonglong>(total)) + QStringLiteral(" バイト");
    }
    const auto mb = [&](std::uint64_t bytes) {
        return locale.toString(static_cast<double>(bytes) / (1 << 20), 'f', 1) + QStringLiteral(" MB");
    };
    return mb(copied) + QStringLiteral(" / ") + mb(total);
}

void ProgressDialog::setProgress(const QString& fileName, std::uint64_t copied, std::uint64_t total) {
    if (fileName != fileName_) {
        fileName_ = fileName;
        // A long name keeps its start and its extension; the whole of it is
        // in the tooltip.
        const QMargins m = layout()->contentsMargins();
        const int room = width() - m.left() - m.right();
        name_->setText(QFontMetrics(name_->font()).elidedText(fileName, Qt::ElideMiddle, room));
        name_->setToolTip(fileName);
    }
    const double share = total == 0 ? 1.0 : static_cast<double>(copied) / static_cast<double>(total);
    bar_->setValue(static_cast<int>(share * kBarSteps));
    amount_->setText(amountText(copied, total));
}

void ProgressDialog::reject() {
    // Stays until the copy has stopped, which closes it.
    cancelled_ = true;
    cancel_->setEnabled(false);
}

void ProgressDialog::keyPressEvent(QKeyEvent* event) {
    if (pressFocusedButton(this, event)) return;
    QDialog::keyPressEvent(event);
}

}  // namespace mabrel::gui
