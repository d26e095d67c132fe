#include "host/first_frame.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <utility>

namespace pw {
namespace {

// Waits, as a child of the widget, for the window's first expose: the widgets are drawn
// in its handling, so `then` is posted to run after it.
class FirstExposeWatch : public QObject {
public:
    FirstExposeWatch(QWidget& widget, std::function<void()> then) : QObject(&widget), then_(std::move(then)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, parent(), std::move(then_));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then_;
};

}  // namespace

void AfterWindowFirstDrawn(QWidget& widget, std::function<void()> then) {
    // At the next turn: the window may be shown right after the widget is made.
    QTimer::singleShot(0, &widget, [&widget, then = std::move(then)]() mutable {
        QWidget* top = widget.window();
        QWindow* window = top->windowHandle();
        if (!top->isVisible() || !window || window->isExposed()) return then();
        window->installEventFilter(new FirstExposeWatch(widget, std::move(then)));
    });
}

}  // namespace pw
