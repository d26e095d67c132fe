#include "ui/window_loader.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>

#include "assets/asset_resources.h"
#include "host/flash_view.h"
#include "host/qt_text.h"
#include "host/web_view.h"
#include "lessons/catalogue.h"
#include "ui/controls.h"
#include "ui/roll_up_menu.h"
#include "ui/shelf.h"

namespace pw {
namespace {

QWidget* CreateControl(const WindowDescription& window, const ControlDescription& c, QWidget* parent,
                       WindowEventHandler& handler) {
    switch (c.type) {
    case ControlType::PictureBox: {
        auto* box = new PictureBox(parent);
        if (c.picture) box->SetPicture(QString::fromUtf8(c.picture));
        return box;
    }
    case ControlType::GroupBox:
        return new FrameBox(parent);
    case ControlType::Label: {
        auto* label = new StatusLabel(parent);
        if (c.caption) label->SetCaption(FromUtf8(c.caption));
        return label;
    }
    case ControlType::ProgressBar:
        return new StoredPositionBar(parent);
    case ControlType::RollUpMenu: {
        auto* menu = new RollUpMenu(parent);
        // The built-in lessons; the program gives it those of a signed catalogue.
        menu->SetGroups(LessonMenuGroups(LessonMenu(BuiltInCatalogue())));
        if (c.itemClicked != WindowEvent::None)
            QObject::connect(menu, &RollUpMenu::itemClicked, menu, [&handler, event = c.itemClicked](int group, int item) {
                handler.HandleWindowEvent(event, group, item);
            });
        return menu;
    }
    case ControlType::PictureButton: {
        auto* button = new PictureButton(parent);
        if (c.picture) button->SetPicture(QString::fromUtf8(c.picture));
        if (c.caption) button->setText(QString::fromUtf8(c.caption));
        if (c.clicked != WindowEvent::None)
            QObject::connect(button, &QAbstractButton::clicked, button,
                             [&handler, event = c.clicked] { handler.HandleWindowEvent(event, 0, 0); });
        return button;
    }
    case ControlType::WebView:
        return new WebView(parent);
    case ControlType::FlashView:
        return new FlashView(parent);
    case ControlType::CornerButton: {
        auto* button = new CornerButton(parent);
        // As far from the corner as the description puts it from the window's outer corner.
        button->KeepFromCorner(window.outerWidth - c.left - c.width, window.outerHeight - c.top - c.height);
        if (c.caption) button->setText(QString::fromUtf8(c.caption));
        if (c.picture) button->setIcon(QIcon(QString::fromUtf8(c.picture)));
        if (c.clicked != WindowEvent::None)
            QObject::connect(button, &QAbstractButton::clicked, button,
                             [&handler, event = c.clicked] { handler.HandleWindowEvent(event, 0, 0); });
        return button;
    }
    case ControlType::Shelf: {
        auto* shelf = new Shelf(parent);
        // A tile is chosen as the menu's row is: the same event, the same handler.
        QObject::connect(shelf, &Shelf::tileClicked, shelf, [&handler, event = c.itemClicked](int group, int item) {
            handler.HandleWindowEvent(event, group, item);
        });
        QObject::connect(shelf, &Shelf::favouriteClicked, shelf, [&handler, event = c.clicked](int group, int item) {
            handler.HandleWindowEvent(event, group, item);
        });
        QObject::connect(shelf, &Shelf::leaveRequested, shelf,
                         [&handler] { handler.HandleWindowEvent(WindowEvent::ShelfClicked, 0, 0); });
        return shelf;
    }
    }
    return nullptr;
}

}  // namespace

QList<RollUpMenu::Group> LessonMenuGroups(const std::vector<LessonMenuGroup>& menu) {
    QList<RollUpMenu::Group> groups;
    for (const LessonMenuGroup& group : menu) {
        QStringList items;
        for (const Text& item : group.items) items.append(ToQString(item));
        groups.append({ToQString(group.header), items});
    }
    return groups;
}

LoadedWindow::LoadedWindow(const WindowDescription& description, WindowEventHandler& handler)
    : description_(description), handler_(handler) {
    static const bool resourcesReady = (InitAssetResources(), true);
    (void)resourcesReady;
    InstallControlAccessibility();
    setObjectName(QString::fromUtf8(description.name));
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint;
    if (description.buttons == TitleBarButtons::MinimiseAndClose) flags |= Qt::WindowMinimizeButtonHint;
    setWindowFlags(flags);
    setWindowTitle(QString::fromUtf8(description.title));
    setFixedSize(description.outerWidth, description.outerHeight);
    CreateControls();
}

QWidget* LoadedWindow::control(const char* name) const { return controls_.value(QString::fromUtf8(name), nullptr); }

void LoadedWindow::CreateControls() {
    // A parent may come later in the description than the controls on it: create the
    // containers first.
    auto create = [this](const ControlDescription& c) {
        QWidget* parent = c.parent ? controls_.value(QString::fromUtf8(c.parent), this) : this;
        QWidget* w = CreateControl(description_, c, parent, handler_);
        w->setObjectName(QString::fromUtf8(c.name));
        w->setGeometry(c.left, c.top, c.width, c.height);
        if (c.pointer == MousePointer::Hand) w->setCursor(Qt::PointingHandCursor);
        if (c.accessibleName) w->setAccessibleName(QString::fromUtf8(c.accessibleName));
        w->setVisible(c.visible);
        controls_.insert(w->objectName(), w);
    };
    for (const ControlDescription& c : description_.controls)
        if (c.type == ControlType::PictureBox) create(c);
    for (const ControlDescription& c : description_.controls)
        if (c.type != ControlType::PictureBox) create(c);
    // Earlier controls lie above later ones among siblings.
    for (auto it = description_.controls.rbegin(); it != description_.controls.rend(); ++it)
        controls_.value(QString::fromUtf8(it->name))->raise();
}

void LoadedWindow::FireCreated() {
    if (description_.created != WindowEvent::None) handler_.HandleWindowEvent(description_.created, 0, 0);
}

void LoadedWindow::FitOuterSize() {
    // The description gives the outer size; take off what the window manager's frame uses.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize client(description_.outerWidth - frame.width(), description_.outerHeight - frame.height());
    if (client != size()) setFixedSize(client);
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - description_.outerWidth) / 2,
             area.y() + (area.height() - description_.outerHeight) / 2);
    }
}

void LoadedWindow::ShowCentred() {
    FitOuterSize();
    show();
    QTimer::singleShot(0, this, [this] {
        // The frame is known only once the window manager has framed the window.
        FitOuterSize();
        // Not needed to show the window, and reading it loaded three picture plugins.
        if (windowIcon().isNull()) setWindowIcon(QIcon(QStringLiteral(":/assets/pebblewick.png")));
    });
}

void LoadedWindow::ExecModal() {
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    connect(this, &LoadedWindow::closed, &loop, &QEventLoop::quit);
    ShowCentred();
    loop.exec(QEventLoop::DialogExec);
}

void LoadedWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

}  // namespace pw
