#include "support/modal_script.h"

#include <algorithm>

namespace mabrel::gui::test {

namespace {
constexpr int kTickMs = 10;
constexpr int kUnexpectedAfterTicks = 300;  // 3 s
}  // namespace

ModalScript::ModalScript() {
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &ModalScript::poll);
    timer_.start();
}

ModalScript::~ModalScript() { timer_.stop(); }

void ModalScript::poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
        idleTicks_ = 0;
        return;
    }
    const bool seen = std::any_of(handled_.begin(), handled_.end(), [&](const QPointer<QWidget>& p) { return p == modal; });
    if (!seen && !steps_.empty() && steps_.front().matches(modal)) {
        // Acted on from a fresh event, so that a window the step opens in
        // turn is served by this timer too.
        auto act = steps_.front().act;
        steps_.pop_front();
        handled_.emplace_back(modal);
        idleTicks_ = 0;
        QPointer<QWidget> target(modal);
        QMetaObject::invokeMethod(
            this, [act, target] { if (target) act(target); }, Qt::QueuedConnection);
        return;
    }
    if (++idleTicks_ >= kUnexpectedAfterTicks) {
        unexpected.push_back(modal->windowTitle());
        idleTicks_ = 0;
        modal->close();
    }
}

}  // namespace mabrel::gui::test
