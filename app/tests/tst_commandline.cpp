// The window's command line: entries named there are listed as a drop of the same items lists
// them, and the program's own options.
#include "form1.h"
#include "listbox.h"
#include "pagelist.h"
#include "pagelisthandlers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_CommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void entries_data();
    void entries();
    void program_data();
    void program();

private:
    QTemporaryDir m_dir;
};

void tst_CommandLine::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char *name : {"a.html", "b.htm", "notes.txt"}) {
        QFile file(m_dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<p>page</p>");
    }
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder")));
    QDir::setCurrent(m_dir.path());
}

void tst_CommandLine::entries_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("listed"); // relative to the folder, or as they are
    QTest::addColumn<int>("alreadyListed");

    QTest::newRow("order kept") << QStringList{"b.htm", "a.html"} << QStringList{"b.htm", "a.html"}
                                << 0;
    QTest::newRow("folder and other files as a drop")
        << QStringList{"folder", "notes.txt"} << QStringList{"folder", "notes.txt"} << 0;
    QTest::newRow("missing file listed all the same")
        << QStringList{"gone.html", "a.html"} << QStringList{"gone.html", "a.html"} << 0;
    QTest::newRow("paths cleaned")
        << QStringList{"./folder/../a.html", "folder/"} << QStringList{"a.html", "folder"} << 0;
    QTest::newRow("addresses as they are")
        << QStringList{"https://example.org/x.html", "file:///tmp/y.html"}
        << QStringList{"=https://example.org/x.html", "=/tmp/y.html"} << 0;
    QTest::newRow("after what is listed") << QStringList{"a.html"} << QStringList{"a.html"} << 2;
}

void tst_CommandLine::entries()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, listed);
    QFETCH(int, alreadyListed);

    Form1 form;
    form.show();
    PageList list(*form.findChild<ListBox *>(QStringLiteral("List1")));
    for (int i = 0; i < alreadyListed; ++i)
        list.AddItem(QStringLiteral("earlier %1").arg(i));
    PageListHandlers::open(form, arguments);

    QCOMPARE(int(list.ListCount()), alreadyListed + listed.size());
    for (int i = 0; i < listed.size(); ++i) {
        const QString expected = listed[i].startsWith(u'=')
                                     ? listed[i].mid(1)
                                     : QDir::cleanPath(m_dir.filePath(listed[i]));
        QCOMPARE(list.List(qint16(alreadyListed + i)), expected);
    }
}

void tst_CommandLine::program_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("link"); // started through a link of this name; empty: by its path
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("stdoutHas");
    QTest::addColumn<QByteArray>("stderrHas");

    const QString path;
    QTest::newRow("--help") << QStringList{"--help"} << path << 0 << QByteArray("[FILE|URL...]")
                            << QByteArray();
    QTest::newRow("--help: usage by name")
        << QStringList{"--help"} << path << 0
        << QByteArray("Usage: folvane [options] [FILE|URL...]\n") << QByteArray();
    QTest::newRow("-h through a link: usage by name")
        << QStringList{"-h"} << QStringLiteral("html-to-rtf") << 0
        << QByteArray("Usage: folvane [options] [FILE|URL...]\n") << QByteArray();
    QTest::newRow("-h: exit statuses")
        << QStringList{"-h"} << path << 0
        << QByteArray("\nExit status:\n  0  the window was closed") << QByteArray();
    QTest::newRow("--version") << QStringList{"--version"} << path << 0
                               << QByteArray("folvane " FOLVANE_VERSION) << QByteArray();
    QTest::newRow("unknown option")
        << QStringList{"--frobnicate", "a.html"} << path << 2 << QByteArray()
        << QByteArray("folvane: Unknown option 'frobnicate'.\n");
    QTest::newRow("unknown option through a link")
        << QStringList{"-x"} << QStringLiteral("html-to-rtf") << 2 << QByteArray()
        << QByteArray("folvane: Unknown option 'x'.\n");
    QTest::newRow("--help-all") << QStringList{"--help-all"} << path << 2 << QByteArray()
                                << QByteArray("folvane: Unknown option 'help-all'.\n");
}

void tst_CommandLine::program()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, link);
    QFETCH(int, status);
    QFETCH(QByteArray, stdoutHas);
    QFETCH(QByteArray, stderrHas);

    QString program = QStringLiteral(FOLVANE_PROGRAM);
    if (!link.isEmpty()) {
        program = m_dir.filePath(link);
        QFile::remove(program);
        QVERIFY(QFile::link(QStringLiteral(FOLVANE_PROGRAM), program));
    }
    // As on a terminal with no display: none of this needs one.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(120000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    const QByteArray out = process.readAllStandardOutput();
    QVERIFY2(out.contains(stdoutHas), out.constData());
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains(stderrHas), err.constData());
    // A bad command line: the line that names the problem, and where the usage is; no more.
    if (status == 2) {
        QCOMPARE(err, stderrHas + "Try 'folvane --help' for more information.\n");
        QVERIFY(out.isEmpty());
    }
    // The program is named by its name, never by the path it was started by.
    const QByteArray path = QFile::encodeName(program);
    QVERIFY(!out.contains(path) && !err.contains(path));
}

QTEST_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
