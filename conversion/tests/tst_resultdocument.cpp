#include "commondialog.h"
#include "errorreport.h"
#include "failure.h"
#include "lockedfolder.h"
#include "modaldriver.h"
#include "resultdocument.h"
#include "richtextbox.h"
#include "rtfreader.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// The part of the window that the result document's handlers use.
struct Window {
    QWidget form;
    RichTextBox *box = new RichTextBox(&form);
    CommonDialog *dialog = new CommonDialog(&form);
    Window()
    {
        box->setObjectName(QStringLiteral("RichTextBox1"));
        dialog->setObjectName(QStringLiteral("CommonDialog1"));
        form.resize(400, 300);
        box->resize(400, 300);
        form.show();
    }
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString savedText(const QString &path)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    RtfReader::insert(cursor, QByteArrayView(readFile(path)));
    return document.toPlainText().trimmed();
}

// Answers the next save dialog with a name typed in folder; confirms an overwrite if asked.
void answerSaveDialog(const QString &folder, const QString &name, bool *askedToReplace = nullptr)
{
    whenModal<QFileDialog>(
        [=](QFileDialog *dialog) {
            const QDir target(folder);
            if (target.exists(name) || target.exists(name + QStringLiteral(".rtf"))) {
                whenModal<QMessageBox>([=](QMessageBox *box) {
                    if (askedToReplace)
                        *askedToReplace = true;
                    box->button(QMessageBox::Yes)->click();
                });
            }
            dialog->setDirectory(folder);
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            edit->setText(name);
            QTest::keyClick(edit, Qt::Key_Return);
        },
        QLatin1String(CommonDialog::DialogObjectName));
}

void cancelSaveDialog()
{
    whenModal<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); },
                           QLatin1String(CommonDialog::DialogObjectName));
}

} // namespace

class TestResultDocument : public QObject {
    Q_OBJECT

private slots:
    void insertAndClear();
    void saveWritesDocument_data();
    void saveWritesDocument();
    void cancelledSaveWritesNothing();
    void failedSaveIsReportedAndKeepsEverything();
};

void TestResultDocument::insertAndClear()
{
    Window window;
    ResultDocument::insert(window.form, QStringLiteral("\r\n{\\rtf1 first\\par}"));
    ResultDocument::insert(window.form, QStringLiteral("\r\n{\\rtf1 second\\par}"));
    QString text = window.box->toPlainText();
    QVERIFY(text.indexOf(QLatin1String("first")) < text.indexOf(QLatin1String("second")));

    // The next insertion goes where the user put the insertion point.
    QTextCursor cursor(window.box->document());
    cursor.setPosition(text.indexOf(QLatin1String("second")));
    window.box->setTextCursor(cursor);
    ResultDocument::insert(window.form, QStringLiteral("{\\rtf1 middle }"));
    text = window.box->toPlainText();
    QVERIFY(text.indexOf(QLatin1String("first")) < text.indexOf(QLatin1String("middle")));
    QVERIFY(text.indexOf(QLatin1String("middle")) < text.indexOf(QLatin1String("second")));

    ResultDocument::clear(window.form);
    QCOMPARE(window.box->toPlainText(), QString());
    QCOMPARE(window.box->textCursor().position(), 0);
    ResultDocument::insert(window.form, QStringLiteral("{\\rtf1 again}"));
    QCOMPARE(window.box->toPlainText(), QStringLiteral("again"));
}

void TestResultDocument::saveWritesDocument_data()
{
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");

    QTest::newRow("empty document")
        << QStringList() << QStringLiteral("empty.rtf") << QStringLiteral("empty.rtf");
    QTest::newRow("pages") << QStringList{QStringLiteral("alpha"), QStringLiteral("beta")}
                           << QStringLiteral("pages.rtf") << QStringLiteral("pages.rtf");
    QTest::newRow("name without extension")
        << QStringList{QStringLiteral("gamma")} << QStringLiteral("plain")
        << QStringLiteral("plain.rtf");
}

void TestResultDocument::saveWritesDocument()
{
    QFETCH(QStringList, pages);
    QFETCH(QString, typed);
    QFETCH(QString, written);

    QTemporaryDir dir;
    Window window;
    for (const QString &page : pages)
        ResultDocument::insert(window.form, QStringLiteral("\r\n{\\rtf1 %1\\par}").arg(page));
    answerSaveDialog(dir.path(), typed);
    ResultDocument::save(window.form);

    const QString path = dir.filePath(written);
    QVERIFY(readFile(path).startsWith("{\\rtf1"));
    QCOMPARE(savedText(path).simplified(), pages.join(QLatin1Char(' ')));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});

    // Saving again to the same name writes the current content.
    ResultDocument::insert(window.form, QStringLiteral("{\\rtf1 later}"));
    bool asked = false;
    answerSaveDialog(dir.path(), written, &asked);
    ResultDocument::save(window.form);
    QVERIFY(asked);
    QVERIFY(savedText(path).endsWith(QLatin1String("later")));
}

void TestResultDocument::cancelledSaveWritesNothing()
{
    QTemporaryDir dir;
    Window window;
    ResultDocument::insert(window.form, QStringLiteral("{\\rtf1 kept}"));
    // A name chosen earlier is not saved to again when the dialog is cancelled.
    const QString earlier = dir.filePath(QStringLiteral("earlier.rtf"));
    answerSaveDialog(dir.path(), QStringLiteral("earlier.rtf"));
    ResultDocument::save(window.form);
    QFile::remove(earlier);

    cancelSaveDialog();
    ResultDocument::save(window.form); // throws nothing
    QVERIFY(QDir(dir.path()).isEmpty());
    QCOMPARE(window.box->toPlainText(), QStringLiteral("kept"));
}

void TestResultDocument::failedSaveIsReportedAndKeepsEverything()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/result.rtf");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("{\\rtf1 old}");
    }
    LockedFolder lock(folder);
    if (!lock.isLocked())
        QSKIP("cannot make a folder unwritable here");

    Window window;
    ResultDocument::insert(window.form, QStringLiteral("{\\rtf1 new {\\b text}}"));
    answerSaveDialog(folder, QStringLiteral("result"));
    QString report;
    whenModal<QMessageBox>(
        [&](QMessageBox *box) {
            report = box->text();
            box->accept();
        },
        QStringLiteral("ErrorReport"));
    // As the window routes the click: a failure goes to the error report.
    ErrorReport::guard([&] { ResultDocument::save(window.form); }, &window.form);

    QVERIFY2(report.contains(QLatin1String("'70'")) || report.contains(QLatin1String("'75'")),
             qPrintable(report));
    QVERIFY2(report.contains(path), qPrintable(report));
    QCOMPARE(readFile(path), QByteArray("{\\rtf1 old}"));
    QCOMPARE(window.box->toPlainText(), QStringLiteral("new text"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("result.rtf")});
}

QTEST_MAIN(TestResultDocument)
#include "tst_resultdocument.moc"
