// Joins a list of pages through the program's window and saves the result, as a user would:
// the pages dropped on the list, Concatenate clicked, =Save= answered with a file name. What
// it writes is the window's saved file, for comparing with folvane-convert's output and for
// reading in other word processors.
//   window_save LIST OUT.rtf
#include "enginesetup.h"
#include "form1.h"
#include "listbox.h"
#include "modaldriver.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QUrl>

#include <cstdio>

int main(int argc, char *argv[])
{
    EngineSetup::allowRunningAsRoot();
    EngineSetup::setApplicationAttributes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Folvane"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    if (argc != 3) {
        std::fprintf(stderr, "usage: window_save LIST OUT.rtf\n");
        return 2;
    }
    QFile listFile(QString::fromLocal8Bit(argv[1]));
    if (!listFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    QList<QUrl> pages;
    for (const QByteArray &line : listFile.readAll().split('\n')) {
        const QString path = QString::fromLocal8Bit(line.trimmed());
        if (!path.isEmpty() && !path.startsWith(QLatin1Char('#')))
            pages << QUrl::fromLocalFile(path);
    }
    const QFileInfo out(QString::fromLocal8Bit(argv[2]));

    Form1 form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form, 10000))
        std::fprintf(stderr, "the window was not shown\n");
    auto *list = form.findChild<ListBox *>(QStringLiteral("List1"));
    auto *concatenate = form.findChild<QPushButton *>(QStringLiteral("Command1"));
    auto *save = form.findChild<QPushButton *>(QStringLiteral("command2"));
    if (!list || !concatenate || !save) {
        std::fprintf(stderr, "the window lacks a control\n");
        return 1;
    }

    // All pages at once, as a file manager hands them over.
    QMimeData data;
    data.setUrls(pages);
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    if (list->count() != pages.size()) {
        std::fprintf(stderr, "the list holds %lld entries, not %lld\n", qint64(list->count()),
                     qint64(pages.size()));
        return 1;
    }

    // The run returns when the last page is in the pane.
    QTest::mouseClick(concatenate, Qt::LeftButton);

    bool answered = false;
    whenModal<QFileDialog>(
        [&](QFileDialog *dialog) {
            if (out.exists())
                whenModal<QMessageBox>(
                    [](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
            dialog->setDirectory(out.absolutePath());
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!edit) {
                dialog->reject();
                return;
            }
            edit->setText(out.fileName());
            answered = true;
            QTest::keyClick(edit, Qt::Key_Return);
        },
        QStringLiteral("CommonDialog1Dialog"), 60000);
    QTest::mouseClick(save, Qt::LeftButton);
    if (!answered || !out.exists()) {
        std::fprintf(stderr, "the result was not saved\n");
        return 1;
    }
    std::printf("saved %lld pages to %s\n", qint64(pages.size()),
                qPrintable(out.absoluteFilePath()));
    return 0;
}
