// The main window as the user meets it: its layout, focus, routing and error report.
#include "form1.h"
#include "listbox.h"
#include "loadpendingflag.h"
#include "modalhelper.h"
#include "pagelist.h"

#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

class tst_Form1 : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        form = std::make_unique<Form1>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    }
    void cleanup() { form.reset(); }

    void window();
    void controls_data();
    void controls();
    void fonts();
    void focusAndTabOrder();
    void resizingMovesNothing();
    void routedKeysAndDrops();
    void failingHandlerIsReported();
    void closingEndsWaits();

private:
    template <typename T = QWidget> T *child(const char *name)
    {
        return form->findChild<T *>(QLatin1String(name));
    }
    std::unique_ptr<Form1> form;
};

void tst_Form1::window()
{
    QCOMPARE(form->windowTitle(), QStringLiteral("Folvane"));
    QCOMPARE(form->size(), QSize(731, 510));
    QCOMPARE(form->palette().color(QPalette::Window), QColor(0xBB, 0xD0, 0xCA));
    QVERIFY(form->autoFillBackground());
    QVERIFY(form->loadPendingFlag().isEmpty());
}

void tst_Form1::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("background");

    const QColor button(0xC0, 0xD8, 0xCC);
    const QColor caption(0xBB, 0xD0, 0xCA);
    // Positions in pixels: the design's twips divided by 15.
    QTest::newRow("List1") << "List1" << QRect(80, 24, 641, 212) << QString() << QColor();
    QTest::newRow("Command1") << "Command1" << QRect(8, 192, 65, 25) << "Concatenate" << button;
    QTest::newRow("WebBrowser1") << "WebBrowser1" << QRect(80, 248, 641, 73) << QString()
                                 << QColor();
    QTest::newRow("RichTextBox1") << "RichTextBox1" << QRect(80, 328, 641, 161) << QString()
                                  << QColor();
    QTest::newRow("command2") << "command2" << QRect(8, 224, 65, 25) << "=Save=" << button;
    QTest::newRow("Label1") << "Label1" << QRect(8, 288, 65, 25) << "HTML=" << caption;
    QTest::newRow("Label2") << "Label2" << QRect(8, 0, 593, 17)
                            << "Drop HTML files on list box below, sort using arrow keys and "
                               "mouse, then press the concatenate and save buttons"
                            << QColor(Qt::white);
    QTest::newRow("Label3") << "Label3" << QRect(8, 392, 57, 25) << "TEXT=" << caption;
    QTest::newRow("Label4") << "Label4" << QRect(8, 80, 65, 81) << "HTML File Listbox:" << caption;
}

void tst_Form1::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QColor, background);

    auto *widget = form->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), form.get());
    QVERIFY(widget->isVisible());
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QCOMPARE(button->palette().color(QPalette::Button), background);
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        QVERIFY(label->autoFillBackground());
        QCOMPARE(label->palette().color(QPalette::Window), background);
    }
}

void tst_Form1::fonts()
{
    for (const char *name : {"Label1", "Label3", "Label4"}) {
        const QFont font = child(name)->font();
        QCOMPARE(font.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(font.pointSizeF(), 13.5);
        QCOMPARE(font.weight(), QFont::Normal);
    }
    // The instruction line keeps the window's own font.
    QCOMPARE(child("Label2")->font(), form->font());
    // The narrow caption wraps its text inside the label.
    QVERIFY(child<QLabel>("Label4")->wordWrap());

    // The hidden dialog control exists, with its design-time settings, but shows nothing on the
    // window.
    QObject *dialog = form->findChild<QObject *>(QStringLiteral("CommonDialog1"));
    QVERIFY(dialog);
    QVERIFY(!dialog->isWidgetType());
    QCOMPARE(dialog->property("Filter").toString(), QStringLiteral("(*.rtf)|*.rtf"));
    QCOMPARE(dialog->property("DefaultExt").toString(), QStringLiteral("rtf"));
}

void tst_Form1::focusAndTabOrder()
{
    QTRY_COMPARE(QApplication::focusWidget(), child("List1"));

    // Controls that take the focus, in the order Tab visits them.
    QStringList order;
    QWidget *w = child("List1");
    do {
        if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty() &&
            w->parentWidget() == form.get())
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != child("List1"));
    QCOMPARE(order, (QStringList{"List1", "Command1", "WebBrowser1", "RichTextBox1", "command2"}));

    QTest::keyClick(child("List1"), Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), child("Command1"));
    QTest::keyClick(child("Command1"), Qt::Key_Backtab);
    QTRY_COMPARE(QApplication::focusWidget(), child("List1"));
}

void tst_Form1::resizingMovesNothing()
{
    QMap<QString, QRect> before;
    for (QWidget *w : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        before[w->objectName()] = w->geometry();
    for (const QSize size : {QSize(1000, 800), QSize(300, 200)}) {
        form->resize(size);
        QTRY_COMPARE(form->size(), size);
        for (QWidget *w : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            QCOMPARE(w->geometry(), before.value(w->objectName()));
    }
}

void tst_Form1::routedKeysAndDrops()
{
    auto *list = child<ListBox>("List1");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/pages/a.html")),
                  QUrl::fromLocalFile(QStringLiteral("/pages/b.html"))});
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);

    PageList pages(*list);
    QCOMPARE(pages.ListCount(), qint16(2));
    pages.setSelected(1, true);
    // The focus is in the list from the start, so the arrows act on it at once.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(pages.List(0), QStringLiteral("/pages/b.html"));
    QCOMPARE(pages.List(1), QStringLiteral("/pages/a.html"));
}

void tst_Form1::failingHandlerIsReported()
{
    auto *list = child<ListBox>("List1");
    PageList(*list).AddItem(QStringLiteral("/pages/a.html"));
    // Without its viewer the window's preview handler cannot complete.
    delete child("WebBrowser1");

    auto seen = answerMessageBox(QMessageBox::Ok);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QTRY_VERIFY(seen->shown);
    QVERIFY2(seen->text.contains(QLatin1String("91")), qPrintable(seen->text));
    QCOMPARE(seen->icon, QMessageBox::Critical);

    // The program goes on: the window is there and its list still works.
    QVERIFY(form->isVisible());
    QCOMPARE(PageList(*list).ListCount(), qint16(1));
    PageList(*list).setSelected(0, false);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(PageList(*list).List(0), QStringLiteral("/pages/a.html"));
}

void tst_Form1::closingEndsWaits()
{
    PageList(*child<ListBox>("List1")).AddItem(QStringLiteral("/pages/a.html"));
    QVERIFY(form->close()); // no prompt
    QVERIFY(!form->isVisible());
    QVERIFY(form->loadPendingFlag().isWindowClosed());
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
