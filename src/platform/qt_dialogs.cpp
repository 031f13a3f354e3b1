#include "platform/qt_dialogs.h"

#include <QApplication>
#include <QMessageBox>

Dialogs::Answer QtDialogs::show(const QString& text, const QString& title, Icon icon,
                                Buttons buttons, const QString& detail) {
    // Centred over the program's window, and modal to it.
    QMessageBox box(QApplication::activeWindow());
    box.setText(text);
    // Informative text sits under the text; a detailed text would hide behind a button that
    // an operator who found no board has no reason to press.
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    if (!title.isEmpty())
        box.setWindowTitle(title);
    switch (icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int chosen = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return chosen == QMessageBox::Yes ? Answer::Yes : Answer::No;
}
