// The page list on a live list box: its operations, drops from a file manager and the keyboard.
#include "errorreport.h"
#include "keycodes.h"
#include "listbox.h"
#include "modalhelper.h"
#include "pagelist.h"
#include "pagelisthandlers.h"

#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

// A window with the page list on it, its drop and key events routed to the page list's handlers
// the way the main window routes them.
class ListForm : public QWidget {
public:
    ListForm()
    {
        list = new ListBox(this);
        list->setObjectName(QStringLiteral("List1"));
        list->setGeometry(10, 10, 300, 200);
        other = new QPushButton(QStringLiteral("other"), this);
        other->setGeometry(10, 220, 80, 25);
        QObject::connect(list, &ListBox::dataDropped, this, [this](const QMimeData *data) {
            ErrorReport::guard([&] { PageListHandlers::drop(*this, *data); }, this);
        });
        QObject::connect(list, &ListBox::keyDown, this, [this](qint16 &key, int) {
            ErrorReport::guard([&] { PageListHandlers::keyDown(*this, key); }, this);
        });
        // Connected after the handler, so it sees the code the handler left.
        QObject::connect(list, &ListBox::keyDown, this,
                         [this](qint16 &key, int) { keyAfterHandler = key; });
        resize(330, 260);
    }

    ListBox *list;
    QPushButton *other;
    qint16 keyAfterHandler = -1;
};

// "a b* c* d": entries with stars selected.
void fill(PageList &list, const QString &entries)
{
    list.Clear();
    const QStringList words = entries.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &word : words)
        list.AddItem(QString(word).remove(QLatin1Char('*')));
    for (qint16 i = 0; i < words.size(); ++i)
        list.setSelected(i, words[i].endsWith(QLatin1Char('*')));
}

QString describe(const PageList &list)
{
    QStringList words;
    for (qint16 i = 0; i < list.ListCount(); ++i)
        words << list.List(i) + (list.Selected(i) ? QStringLiteral("*") : QString());
    return words.join(QLatin1Char(' '));
}

void dropOn(ListBox *list, QMimeData *data)
{
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
    QDropEvent drop(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
}

QMimeData *urlsData(const QList<QUrl> &urls)
{
    auto *data = new QMimeData;
    data->setUrls(urls);
    return data;
}

} // namespace

class tst_PageList : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        form = std::make_unique<ListForm>();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->list->setFocus();
        QTRY_VERIFY(form->list->hasFocus());
    }
    void cleanup() { form.reset(); }

    void operations();
    void keys_data();
    void keys();
    void deletePrompt_data();
    void deletePrompt();
    void tabStillMovesFocus();
    void dropAppendsInOrder();
    void dropWithoutFiles();
    void dropBeyondLimit();

private:
    std::unique_ptr<ListForm> form;
};

void tst_PageList::operations()
{
    PageList list(*form->list);
    QCOMPARE(list.ListIndex(), qint16(-1));
    fill(list, QStringLiteral("a b* c"));
    QCOMPARE(list.ListCount(), qint16(3));

    // The selected flag belongs to the position, not to the text.
    list.setList(1, QStringLiteral("z"));
    QCOMPARE(describe(list), QStringLiteral("a z* c"));

    // Setting the current index never changes a selected flag.
    list.setListIndex(2);
    QCOMPARE(list.ListIndex(), qint16(2));
    QCOMPARE(describe(list), QStringLiteral("a z* c"));
    list.setListIndex(0);
    QCOMPARE(describe(list), QStringLiteral("a z* c"));

    // Reading past the end gives an empty text; writing there is a failure.
    QCOMPARE(list.List(7), QString());
    QVERIFY_THROWS_EXCEPTION(FailureException, list.setList(7, QStringLiteral("x")));

    list.Clear();
    QCOMPARE(list.ListCount(), qint16(0));
    QCOMPARE(list.ListIndex(), qint16(-1));
}

void tst_PageList::keys_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("currentBefore");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("currentAfter");

    const int none = Qt::NoModifier;
    // clang-format off
    QTest::newRow("block up") << "a b* c* d" << 3 << int(Qt::Key_Up) << none << "b* c* a d" << 1;
    QTest::newRow("block down") << "a b* c* d" << 0 << int(Qt::Key_Down) << none << "a d b* c*" << 2;
    QTest::newRow("left moves up") << "a b* c* d" << 3 << int(Qt::Key_Left) << none << "b* c* a d" << 1;
    QTest::newRow("right moves down") << "a b* c* d" << 0 << int(Qt::Key_Right) << none << "a d b* c*" << 2;
    QTest::newRow("top entry stays") << "a* b c" << 2 << int(Qt::Key_Up) << none << "a* b c" << 2;
    QTest::newRow("bottom entry stays") << "a b c*" << 0 << int(Qt::Key_Down) << none << "a b c*" << 0;
    QTest::newRow("top pair up") << "a* b* c" << 2 << int(Qt::Key_Up) << none << "b* a c" << 0;
    QTest::newRow("bottom pair down") << "a b* c*" << 0 << int(Qt::Key_Down) << none << "a c b*" << 2;
    QTest::newRow("gap up") << "a* b c*" << 0 << int(Qt::Key_Up) << none << "a* c* b" << 1;
    QTest::newRow("shift is ignored") << "a b* c* d" << 3 << int(Qt::Key_Up) << int(Qt::ShiftModifier) << "b* c* a d" << 1;
    QTest::newRow("ctrl is ignored") << "a b* c* d" << 0 << int(Qt::Key_Down) << int(Qt::ControlModifier) << "a d b* c*" << 2;
    QTest::newRow("letter consumed") << "a b* c" << 1 << int(Qt::Key_C) << none << "a b* c" << 1;
    QTest::newRow("home consumed") << "a b* c" << 1 << int(Qt::Key_Home) << none << "a b* c" << 1;
    QTest::newRow("end consumed") << "a b* c" << 1 << int(Qt::Key_End) << none << "a b* c" << 1;
    QTest::newRow("page up consumed") << "a b* c" << 1 << int(Qt::Key_PageUp) << none << "a b* c" << 1;
    QTest::newRow("page down consumed") << "a b* c" << 1 << int(Qt::Key_PageDown) << none << "a b* c" << 1;
    QTest::newRow("space consumed") << "a b* c" << 1 << int(Qt::Key_Space) << none << "a b* c" << 1;
    QTest::newRow("shift+end consumed") << "a b* c" << 1 << int(Qt::Key_End) << int(Qt::ShiftModifier) << "a b* c" << 1;
    QTest::newRow("one entry") << "a*" << 0 << int(Qt::Key_Down) << none << "a*" << 0;
    QTest::newRow("empty list") << "" << -1 << int(Qt::Key_Up) << none << "" << -1;
    // clang-format on
}

void tst_PageList::keys()
{
    QFETCH(QString, before);
    QFETCH(int, currentBefore);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, after);
    QFETCH(int, currentAfter);

    PageList list(*form->list);
    fill(list, before);
    list.setListIndex(qint16(currentBefore));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(describe(list), after);
    QCOMPARE(int(list.ListIndex()), currentAfter);
    QCOMPARE(form->keyAfterHandler, KeyCode::None);
    QVERIFY(form->list->hasFocus());
}

void tst_PageList::deletePrompt_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("keyAfter");

    QTest::newRow("no") << int(QMessageBox::No) << int(Qt::NoModifier) << "a b* c" << 46;
    QTest::newRow("yes") << int(QMessageBox::Yes) << int(Qt::NoModifier) << "" << 0;
    QTest::newRow("ctrl+delete yes")
        << int(QMessageBox::Yes) << int(Qt::ControlModifier) << "" << 0;
}

void tst_PageList::deletePrompt()
{
    QFETCH(int, answer);
    QFETCH(int, modifiers);
    QFETCH(QString, after);
    QFETCH(int, keyAfter);

    PageList list(*form->list);
    fill(list, QStringLiteral("a b* c"));
    list.setListIndex(1);

    auto seen = answerMessageBox(QMessageBox::StandardButton(answer));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete, Qt::KeyboardModifiers(modifiers));

    QVERIFY(seen->shown);
    QCOMPARE(seen->text, QStringLiteral("are you sure you want to erase the list and start over"));
    QCOMPARE(seen->title, QApplication::applicationName());
    QCOMPARE(seen->icon, QMessageBox::NoIcon);
    QCOMPARE(seen->buttons, (QStringList{QStringLiteral("Yes"), QStringLiteral("No")}));
    QCOMPARE(seen->defaultButton, QStringLiteral("Yes"));
    QCOMPARE(describe(list), after);
    QCOMPARE(int(form->keyAfterHandler), keyAfter);
    if (after.isEmpty())
        QCOMPARE(list.ListIndex(), qint16(-1));
}

void tst_PageList::tabStillMovesFocus()
{
    PageList list(*form->list);
    fill(list, QStringLiteral("a b"));
    QTest::keyClick(form->list, Qt::Key_Tab);
    QTRY_VERIFY(form->other->hasFocus());
    QCOMPARE(describe(list), QStringLiteral("a b"));
    QTest::keyClick(form->other, Qt::Key_Backtab);
    QTRY_VERIFY(form->list->hasFocus());
}

void tst_PageList::dropAppendsInOrder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString page = dir.filePath(QStringLiteral("a page.htm"));
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    const QString folder = dir.filePath(QStringLiteral("süd folder"));
    QVERIFY(QDir().mkpath(folder));
    QFile(page).open(QIODevice::WriteOnly);
    QFile(notes).open(QIODevice::WriteOnly);

    PageList list(*form->list);
    fill(list, QStringLiteral("x y*"));
    list.setListIndex(0);

    std::unique_ptr<QMimeData> data(urlsData(
        {QUrl::fromLocalFile(page), QUrl::fromLocalFile(notes), QUrl::fromLocalFile(folder),
         QUrl::fromLocalFile(page), QUrl(QStringLiteral("https://example.org/a%20b.html")),
         QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.html")))}));
    dropOn(form->list, data.get());

    const QStringList expected{QStringLiteral("x"),
                               QStringLiteral("y"),
                               page,
                               notes,
                               folder,
                               page,
                               QStringLiteral("https://example.org/a b.html"),
                               dir.filePath(QStringLiteral("missing.html"))};
    QCOMPARE(list.ListCount(), qint16(expected.size()));
    for (qint16 i = 0; i < list.ListCount(); ++i)
        QCOMPARE(list.List(i), expected[i]);
    // Existing entries keep their selection and the current index stays.
    QCOMPARE(describe(list).section(QLatin1Char(' '), 0, 1), QStringLiteral("x y*"));
    for (qint16 i = 2; i < list.ListCount(); ++i)
        QVERIFY(!list.Selected(i));
    QCOMPARE(list.ListIndex(), qint16(0));
}

void tst_PageList::dropWithoutFiles()
{
    PageList list(*form->list);
    fill(list, QStringLiteral("x"));
    int dropped = 0;
    connect(form->list, &ListBox::dataDropped, this, [&dropped] { ++dropped; });
    QMimeData text;
    text.setText(QStringLiteral("/some/dragged/text.html"));
    dropOn(form->list, &text);
    QCOMPARE(dropped, 0);
    QCOMPARE(describe(list), QStringLiteral("x"));

    // Handed to the handler directly, a drop without a file list changes nothing either.
    PageListHandlers::drop(*form, text);
    QCOMPARE(describe(list), QStringLiteral("x"));
}

void tst_PageList::dropBeyondLimit()
{
    PageList list(*form->list);
    QStringList many;
    for (int i = 0; i < PageList::MaxCount - 3; ++i)
        many << QString::number(i);
    form->list->addItems(many);
    list.setListIndex(5);

    QList<QUrl> urls;
    for (int i = 0; i < 10; ++i)
        urls << QUrl::fromLocalFile(QStringLiteral("/pages/%1.html").arg(i));
    std::unique_ptr<QMimeData> data(urlsData(urls));
    auto seen = answerMessageBox(QMessageBox::Ok);
    dropOn(form->list, data.get());

    QCOMPARE(list.ListCount(), PageList::MaxCount);
    QCOMPARE(list.List(PageList::MaxCount - 1), QStringLiteral("/pages/2.html"));
    QVERIFY(seen->shown);
    QVERIFY2(seen->text.contains(QLatin1String("7 of the 10")), qPrintable(seen->text));
    QCOMPARE(list.ListIndex(), qint16(5));

    // A full list takes nothing more, and says so.
    auto again = answerMessageBox(QMessageBox::Ok);
    dropOn(form->list, data.get());
    QCOMPARE(list.ListCount(), PageList::MaxCount);
    QVERIFY(again->shown);
}

QTEST_MAIN(tst_PageList)
#include "tst_pagelist.moc"
