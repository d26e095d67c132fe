#pragma once

#include <QHash>
#include <QWidget>

#include <memory>

#include "ui/window_description.h"

namespace pw {

// A window built from its description: its controls by name, and its created event.
// While it exists it can be found by the description's name.
class LoadedWindow : public QWidget {
    Q_OBJECT
public:
    explicit LoadedWindow(const WindowDescription& description);
    ~LoadedWindow() override;

    const WindowDescription& description() const { return description_; }
    QWidget* control(const char* name) const;
    template <class T>
    T* controlAs(const char* name) const {
        return qobject_cast<T*>(control(name));
    }

    // The loaded window of that name, or nullptr.
    static LoadedWindow* Find(const char* windowName);

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
    QHash<QString, QWidget*> controls_;
};

// Builds the window and its controls, sets their settings and binds their events; the
// created event is not fired yet.
std::unique_ptr<LoadedWindow> BuildWindow(const WindowDescription& description);

// Build, fire created, show centred.
std::unique_ptr<LoadedWindow> LoadWindow(const WindowDescription& description);

}  // namespace pw
