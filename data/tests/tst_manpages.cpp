// The manual pages against the programs: each page, as man renders it, lists the options and the
// exit statuses that the program's --help lists, no more and no fewer; and man renders it without
// a warning.
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <type_traits>

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QStringList &environment = {})
{
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : environment)
        variables.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    process.setProcessEnvironment(variables);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    Run result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

// The lines of text from the line heading up to the next heading: a line that starts at the
// margin and is not blank.
QStringList section(const QString &text, const QString &heading)
{
    QStringList lines;
    bool in = false;
    for (const QString &line : text.split(u'\n')) {
        const bool isHeading = !line.isEmpty() && !line.front().isSpace();
        if (isHeading) {
            if (in)
                break;
            in = line.trimmed() == heading;
            continue;
        }
        if (in)
            lines << line;
    }
    return lines;
}

// Every option that a line of a list names at its start, before its description: "-o, --output
// <file>  Write..." in --help, "-o, --output=FILE" in the page, each line of a list indented by
// indent.
QSet<QString> options(const QStringList &lines, int indent)
{
    static const QRegularExpression name(QStringLiteral("(?<![\\w-])(--?[A-Za-z][\\w-]*)"));
    QSet<QString> found;
    for (const QString &line : lines) {
        if (line.size() <= indent || line.left(indent).trimmed().size() != 0 ||
            line[indent] != u'-')
            continue;
        // The names end where the description begins, two spaces on.
        const QString names = line.mid(indent).section(QStringLiteral("  "), 0, 0);
        for (const QRegularExpressionMatch &match : name.globalMatch(names))
            found << match.captured(1);
    }
    return found;
}

// The statuses that the lines of a list begin with, indented by indent.
QSet<int> statuses(const QStringList &lines, int indent)
{
    const QRegularExpression status(QStringLiteral("^ {%1}(\\d+)(\\s|$)").arg(indent));
    QSet<int> found;
    for (const QString &line : lines) {
        if (const QRegularExpressionMatch match = status.match(line); match.hasMatch())
            found << match.captured(1).toInt();
    }
    return found;
}

QString listed(QStringList items)
{
    items.sort();
    return items.join(QStringLiteral(", "));
}

template <typename T> QStringList texts(const QSet<T> &set)
{
    QStringList items;
    for (const T &item : set) {
        if constexpr (std::is_same_v<T, int>)
            items << QString::number(item);
        else
            items << item;
    }
    return items;
}

// The page as a reader sees it on a terminal 200 columns wide, so that no option's line wraps.
const QStringList ManEnvironment = {QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("MANROFFSEQ="),
                                    QStringLiteral("MANWIDTH=200")};

} // namespace

class tst_ManPages : public QObject {
    Q_OBJECT

private slots:
    void sameAsHelp_data();
    void sameAsHelp();
    void rendersWithoutWarnings_data();
    void rendersWithoutWarnings();
};

void tst_ManPages::sameAsHelp_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("page");
    QTest::newRow("folvane") << QStringLiteral(FOLVANE_PROGRAM)
                             << QStringLiteral(FOLVANE_MAN_DIR "/folvane.1");
    QTest::newRow("folvane-convert")
        << QStringLiteral(FOLVANE_CONVERT) << QStringLiteral(FOLVANE_MAN_DIR "/folvane-convert.1");
}

void tst_ManPages::sameAsHelp()
{
    QFETCH(QString, program);
    QFETCH(QString, page);

    const Run help = run(program, {QStringLiteral("--help")});
    QCOMPARE(help.status, 0);
    const Run man = run(QStringLiteral("man"),
                        {QStringLiteral("-E"), QStringLiteral("UTF-8"), QStringLiteral("-l"), page},
                        ManEnvironment);
    QVERIFY2(man.status == 0, qPrintable(man.err));

    // --help: "Options:" and "Exit status:" lists indented by two.
    const QSet<QString> helpOptions = options(section(help.out, QStringLiteral("Options:")), 2);
    const QSet<int> helpStatuses = statuses(section(help.out, QStringLiteral("Exit status:")), 2);
    // The page: OPTIONS and EXIT STATUS, each item's tag indented by seven.
    const QSet<QString> pageOptions = options(section(man.out, QStringLiteral("OPTIONS")), 7);
    const QSet<int> pageStatuses = statuses(section(man.out, QStringLiteral("EXIT STATUS")), 7);

    // Both lists were found, and hold what every program has.
    QVERIFY2(helpOptions.contains(QStringLiteral("--help")), qPrintable(help.out));
    QVERIFY2(pageOptions.contains(QStringLiteral("--help")), qPrintable(man.out));
    QVERIFY2(helpStatuses.contains(0) && helpStatuses.contains(2), qPrintable(help.out));
    QCOMPARE(listed(texts(pageOptions)), listed(texts(helpOptions)));
    QCOMPARE(listed(texts(pageStatuses)), listed(texts(helpStatuses)));

    // The page's name and synopsis are the program's.
    const QString name = QFileInfo(program).fileName();
    const QStringList nameSection = section(man.out, QStringLiteral("NAME"));
    QVERIFY2(!nameSection.isEmpty() &&
                 nameSection.first().trimmed().startsWith(name + QStringLiteral(" - ")),
             qPrintable(nameSection.join(u'\n')));
    QVERIFY(section(man.out, QStringLiteral("SYNOPSIS")).join(u'\n').contains(name));
}

void tst_ManPages::rendersWithoutWarnings_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("folvane") << QStringLiteral(FOLVANE_MAN_DIR "/folvane.1");
    QTest::newRow("folvane-convert") << QStringLiteral(FOLVANE_MAN_DIR "/folvane-convert.1");
}

// As Debian's checks render a page: on a terminal 80 columns wide, with groff's warnings on.
void tst_ManPages::rendersWithoutWarnings()
{
    QFETCH(QString, page);
    const Run man = run(QStringLiteral("man"),
                        {QStringLiteral("--warnings"), QStringLiteral("-E"),
                         QStringLiteral("UTF-8"), QStringLiteral("-l"), page},
                        {QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("MANROFFSEQ="),
                         QStringLiteral("MANWIDTH=80")});
    QCOMPARE(man.status, 0);
    QVERIFY2(man.err.isEmpty(), qPrintable(man.err));
    QVERIFY(man.out.contains(QStringLiteral("EXIT STATUS")));
}

QTEST_MAIN(tst_ManPages)
#include "tst_manpages.moc"
