#include "ui/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "host/qt_text.h"

namespace pw {

MessageAnswer MessageBoxes::Ask(const MessageRequest& request) {
    QMessageBox box;
    box.setWindowTitle(ToQString(request.caption));
    box.setText(ToQString(request.text));
    box.setTextFormat(Qt::PlainText);
    box.setIcon(QMessageBox::NoIcon);
    box.setWindowModality(Qt::ApplicationModal);
    if (request.buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        if (!request.yesText.empty()) {
            box.button(QMessageBox::Yes)->setText(ToQString(request.yesText));
            box.button(QMessageBox::No)->setText(ToQString(request.noText));
            box.setDefaultButton(QMessageBox::No);
        }
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int pressed = box.exec();
    if (request.buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    return pressed == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace pw
