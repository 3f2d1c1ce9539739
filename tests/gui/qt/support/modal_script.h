// What the person does in the modal windows a test opens. Steps are taken in
// order, each on the next visible modal window of its type that no earlier
// step handled:
//
//   ModalScript script;
//   script.on<RClickDialog>([](RClickDialog* d) { QTest::mouseClick(d->button(1), Qt::LeftButton); });
//   script.on<QInputDialog>([](QInputDialog* d) { d->setTextValue("x"); d->accept(); });
//   QTest::mouseClick(...);        // opens the windows; returns when they are closed
//   EXPECT_TRUE(script.done());
//
// A modal window that no step expects is closed through its title bar after a
// while and recorded in `unexpected`, so a test fails instead of hanging.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <vector>

namespace mabrel::gui::test {

inline void click(QAbstractButton* b) { QTest::mouseClick(b, Qt::LeftButton); }

class ModalScript : public QObject {
    Q_OBJECT
public:
    ModalScript();
    ~ModalScript() override;

    template <typename T>
    void on(std::function<void(T*)> step) {
        steps_.push_back(Step{[](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
                              [step](QWidget* w) { step(qobject_cast<T*>(w)); }});
    }

    bool done() const { return steps_.empty(); }
    // Window titles of the modal windows nobody expected.
    std::vector<QString> unexpected;

private:
    void poll();

    struct Step {
        std::function<bool(QWidget*)> matches;
        std::function<void(QWidget*)> act;
    };
    std::deque<Step> steps_;
    std::vector<QPointer<QWidget>> handled_;
    QTimer timer_;
    int idleTicks_ = 0;
};

}  // namespace mabrel::gui::test
