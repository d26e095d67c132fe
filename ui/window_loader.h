#pragma once

#include <QHash>
#include <QWidget>

#include <memory>
#include <vector>

#include "lessons/catalogue.h"
#include "ui/roll_up_menu.h"
#include "ui/window_description.h"

namespace pw {

// A window built from its description: its controls by name, their settings, and their
// events bound to `handler`. The created event is fired by FireCreated.
class LoadedWindow : public QWidget {
    Q_OBJECT
public:
    LoadedWindow(const WindowDescription& description, WindowEventHandler& handler);

    QWidget* control(const char* name) const;
    template <class T>
    T* controlAs(const char* name) const {
        return qobject_cast<T*>(control(name));
    }

    // Runs the window's created handler.
    void FireCreated();
    // Shows the window at its outer size (frame included) centred on the screen.
    void ShowCentred();
    // Shows the window modal for all of the program's windows and returns once it is closed.
    void ExecModal();

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void FitOuterSize();

    const WindowDescription& description_;
    WindowEventHandler& handler_;
    QHash<QString, QWidget*> controls_;
};

// The lesson menu's groups as the menu shows them.
QList<RollUpMenu::Group> LessonMenuGroups(const std::vector<LessonMenuGroup>& menu);

}  // namespace pw
