// What assistive technology hears of the window, through Qt's accessibility interface.
#include "errorreport.h"
#include "form1.h"
#include "modaldriver.h"
#include "pagelisthandlers.h"
#include "webbrowser.h"

#include <QAccessible>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QWebEngineView>

namespace {

QString accessibleText(QObject *object, QAccessible::Text text)
{
    QAccessibleInterface *interface = QAccessible::queryAccessibleInterface(object);
    return interface ? interface->text(text) : QStringLiteral("<no interface>");
}

} // namespace

class tst_Accessibility : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        form = std::make_unique<Form1>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() { form.reset(); }

    void names_data();
    void names();
    void boxesReadTheirText_data();
    void boxesReadTheirText();

private:
    std::unique_ptr<Form1> form;
};

void tst_Accessibility::names_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");

    QTest::newRow("list") << "List1"
                          << "HTML File Listbox" << int(QAccessible::List);
    QTest::newRow("viewer") << "WebBrowser1"
                            << "HTML" << -1;
    QTest::newRow("result pane") << "RichTextBox1"
                                 << "TEXT" << int(QAccessible::EditableText);
    QTest::newRow("Concatenate") << "Command1"
                                 << "Concatenate" << int(QAccessible::Button);
    QTest::newRow("Save") << "command2"
                          << "=Save=" << int(QAccessible::Button);
}

void tst_Accessibility::names()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    QFETCH(int, role);

    QWidget *widget = form->findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(accessibleText(widget, QAccessible::Name), name);
    if (role >= 0)
        QCOMPARE(int(QAccessible::queryAccessibleInterface(widget)->role()), role);
    // The engine's view takes the focus for the viewer: it carries the name too.
    if (auto *browser = qobject_cast<WebBrowser *>(widget))
        QCOMPARE(accessibleText(browser->view(), QAccessible::Name), name);
}

void tst_Accessibility::boxesReadTheirText_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::newRow("confirmation") << "MessageBox"
                                  << QString::fromLatin1(PageListHandlers::ClearPrompt);
    QTest::newRow("error report") << "ErrorReport"
                                  << "Run-time error '75':\n\nPath/File access error";
}

void tst_Accessibility::boxesReadTheirText()
{
    QFETCH(QString, box);
    QFETCH(QString, text);

    QString heard;
    whenModal<QMessageBox>(
        [&](QMessageBox *shown) {
            heard = accessibleText(shown, QAccessible::Description);
            shown
                ->button(shown->buttons().contains(shown->button(QMessageBox::No))
                             ? QMessageBox::No
                             : QMessageBox::Ok)
                ->click();
        },
        box);
    if (box == QLatin1String("MessageBox")) {
        QWidget *list = form->findChild<QWidget *>(QStringLiteral("List1"));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
    } else {
        ErrorReport::show(Failure{75, QStringLiteral("Path/File access error")}, form.get());
    }
    QCOMPARE(heard, text);
}

QTEST_MAIN(tst_Accessibility)
#include "tst_accessibility.moc"
