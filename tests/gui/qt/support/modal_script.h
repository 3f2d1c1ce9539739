// What the person does in the modal windows a test opens: each step acts on
// the next visible modal window of its type that no earlier step handled.
// A modal window that no step expects is closed after 3 s (one a step
// handles, after a minute) and recorded, so that a test fails instead of
// hanging; so does a step left over at the end.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

namespace mabrel::gui::test {

inline void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

// Replaces what a line edit holds as the person does: select all, delete,
// type (ASCII key by key, Japanese as the input method commits it).
inline void retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; }))
        return QTest::keyClicks(edit, text);
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(edit, &commit);
}

class ModalScript {
public:
    ModalScript() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(10);
    }
    ~ModalScript() {
        EXPECT_TRUE(done()) << steps_.size() << " modal windows never came";
        for (const QString& title : unexpected) ADD_FAILURE() << "unexpected modal window " << title.toStdString();
    }
    template <typename T>
    void on(std::function<void(T*)> step) {
        steps_.push_back({[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                          [step](QWidget* w) { step(qobject_cast<T*>(w)); }});
    }
    bool done() const { return steps_.empty(); }
    std::vector<QString> unexpected;  // titles of the modal windows nobody expected

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        const bool seen = std::find(handled_.begin(), handled_.end(), modal) != handled_.end();
        const bool expected = modal != nullptr && !seen && !steps_.empty() && steps_.front().first(modal);
        // A person acts only on a window the window manager has put on the screen.
        const bool onScreen = modal != nullptr && modal->windowHandle() != nullptr && modal->windowHandle()->isExposed();
        if (modal == nullptr || !modal->isVisible()) {
            idleTicks_ = 0;
        } else if (expected && onScreen) {
            // Acted on from a fresh event, so that a window the step opens in
            // turn is served by this timer too.
            handled_.emplace_back(modal);
            idleTicks_ = 0;
            QTimer::singleShot(0, modal, [act = steps_.front().second, target = QPointer<QWidget>(modal)] {
                if (target) act(target);
            });
            steps_.pop_front();
        } else if (++idleTicks_ >= (seen || expected ? 6000 : 300)) {  // a step may wait on its window a minute
            unexpected.push_back(modal->windowTitle());
            idleTicks_ = 0;
            modal->close();
        }
    }

    std::deque<std::pair<std::function<bool(QWidget*)>, std::function<void(QWidget*)>>> steps_;
    std::vector<QPointer<QWidget>> handled_;
    QTimer timer_;
    int idleTicks_ = 0;
};

}  // namespace mabrel::gui::test
