#include "commondialog.h"
#include "dispatch.h"
#include "modaldriver.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int FileNameId = 1;
constexpr int ShowSaveId = 31;
const QString DialogName = QStringLiteral("CommonDialog1Dialog");

// Types a name into the dialog's name field, in folder, and presses Enter, as a user does.
void typeName(QFileDialog *dialog, const QString &folder, const QString &name)
{
    dialog->setDirectory(folder);
    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->clear();
    QTest::keyClicks(edit, name);
    QTest::keyClick(edit, Qt::Key_Return);
}

QString showSave(CommonDialog &dialog)
{
    Dispatch::call(&dialog, ShowSaveId);
    return Dispatch::get(&dialog, FileNameId).toString();
}

} // namespace

class TestCommonDialog : public QObject {
    Q_OBJECT

private slots:
    void dialogAsShown();
    void typedName_data();
    void typedName();
    void cancelGivesEmptyName();
    void overwriteIsConfirmed_data();
    void overwriteIsConfirmed();
};

void TestCommonDialog::dialogAsShown()
{
    QWidget window;
    window.show();
    auto *control = new CommonDialog(&window);
    bool seen = false;
    whenModal<QFileDialog>(
        [&](QFileDialog *dialog) {
            seen = true;
            QCOMPARE(dialog->window()->parentWidget(), &window);
            QCOMPARE(dialog->windowModality(), Qt::WindowModal);
            QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
            QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
            QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("(*.rtf) (*.rtf)")});
            // The filter box shows the description alone.
            auto *filterBox = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            QVERIFY(filterBox);
            QCOMPARE(filterBox->currentText(), QStringLiteral("(*.rtf)"));
            dialog->reject();
        },
        DialogName);
    showSave(*control);
    QVERIFY(seen);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestCommonDialog::typedName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("chosen");

    QTest::newRow("no extension") << QStringLiteral("out") << QStringLiteral("out.rtf");
    QTest::newRow("rtf extension") << QStringLiteral("out.rtf") << QStringLiteral("out.rtf");
    QTest::newRow("other extension") << QStringLiteral("notes.txt") << QStringLiteral("notes.txt");
    QTest::newRow("spaces and dots")
        << QStringLiteral("my report.v2.RTF") << QStringLiteral("my report.v2.RTF");
    QTest::newRow("in a sub folder")
        << QStringLiteral("sub/inner") << QStringLiteral("sub/inner.rtf");
}

void TestCommonDialog::typedName()
{
    QFETCH(QString, typed);
    QFETCH(QString, chosen);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QWidget window;
    window.show();
    auto *control = new CommonDialog(&window);
    whenModal<QFileDialog>([&](QFileDialog *dialog) { typeName(dialog, dir.path(), typed); },
                           DialogName);
    QCOMPARE(showSave(*control), QDir(dir.path()).filePath(chosen));
    // Choosing a name writes nothing.
    QVERIFY(!QFile::exists(QDir(dir.path()).filePath(chosen)));
}

void TestCommonDialog::cancelGivesEmptyName()
{
    QWidget window;
    window.show();
    auto *control = new CommonDialog(&window);
    Dispatch::put(control, FileNameId, QStringLiteral("/tmp/earlier.rtf"));
    whenModal<QFileDialog>(
        [&](QFileDialog *dialog) {
            // The earlier name is offered again.
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QCOMPARE(edit->text(), QStringLiteral("earlier.rtf"));
            QTest::keyClick(dialog, Qt::Key_Escape);
        },
        DialogName);
    QCOMPARE(showSave(*control), QString());
}

void TestCommonDialog::overwriteIsConfirmed_data()
{
    QTest::addColumn<bool>("replace");
    QTest::newRow("replace") << true;
    QTest::newRow("keep") << false;
}

void TestCommonDialog::overwriteIsConfirmed()
{
    QFETCH(bool, replace);

    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("existing.rtf"));
    {
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\\rtf1 old}");
    }
    QWidget window;
    window.show();
    auto *control = new CommonDialog(&window);
    bool asked = false;
    whenModal<QFileDialog>(
        [&](QFileDialog *dialog) {
            whenModal<QMessageBox>([&](QMessageBox *box) {
                asked = true;
                QVERIFY(box->text().contains(QLatin1String("existing.rtf")));
                box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
                if (!replace) {
                    // Back in the file dialog, which stays open: give up.
                    QTimer::singleShot(0, dialog, [dialog] {
                        QVERIFY(dialog->isVisible());
                        dialog->reject();
                    });
                }
            });
            typeName(dialog, dir.path(), QStringLiteral("existing"));
        },
        DialogName);
    const QString chosen = showSave(*control);
    QVERIFY(asked);
    QCOMPARE(chosen, replace ? existing : QString());
    QFile file(existing);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("{\\rtf1 old}"));
}

QTEST_MAIN(TestCommonDialog)
#include "tst_commondialog.moc"
