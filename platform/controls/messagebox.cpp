#include "messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace MessageBox {

int show(QWidget *parent, const QString &prompt, int style)
{
    QMessageBox box(parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    box.setWindowTitle(QApplication::applicationName());
    box.setText(prompt);
    // Read out when the box appears, as its description.
    box.setAccessibleDescription(prompt);
    box.setIcon((style & Exclamation) == Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
    if ((style & 7) == YesNo) {
        QPushButton *yes = box.addButton(QMessageBox::Yes);
        QPushButton *no = box.addButton(QMessageBox::No);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? Yes : No;
    }
    box.setDefaultButton(box.addButton(QMessageBox::Ok));
    box.exec();
    return Ok;
}

} // namespace MessageBox
