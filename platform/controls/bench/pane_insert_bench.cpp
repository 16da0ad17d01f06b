// What the result pane costs for one big insertion: the RTF read into a document that no view
// lays out (the floor: reading alone), the same insertion into the shown pane with its layout, how
// long the event loop then goes without turning (the longest gap between two ticks of a 20 ms
// timer: what is left to lay out), and a save of the whole pane.
//
// usage: pane_insert_bench FILE.rtf [SECONDS]   SECONDS: how long to watch the event loop (10)
#include "richtextbox.h"
#include "rtfreader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: pane_insert_bench FILE.rtf [SECONDS]\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pane_insert_bench: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString rtf = QString::fromLatin1(file.readAll());
    const int watch = argc > 2 ? QByteArray(argv[2]).toInt() * 1000 : 10000;
    QElapsedTimer clock;

    qint64 floor = 0;
    {
        QTextDocument unlaid;
        QTextCursor cursor(&unlaid);
        clock.start();
        RtfReader::insert(cursor, QStringView(rtf));
        floor = qMax<qint64>(1, clock.elapsed());
        std::printf("read into a document no view lays out: %8lld ms, %lld characters\n", floor,
                    qint64(unlaid.characterCount()));
    }

    RichTextBox pane;
    pane.resize(800, 600);
    pane.show();
    pane.setSelRTF(QStringLiteral("{\\rtf1 A page before.\\par}"));
    // the pane laid out as a run leaves it between two pages
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    clock.start();
    pane.setSelRTF(QStringLiteral("\r\n") + rtf);
    std::printf("inserted into the shown pane:           %8lld ms, %.1f times the reading\n",
                clock.elapsed(), double(clock.elapsed()) / double(floor));

    qint64 last = clock.elapsed(), longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = qMax(longest, now - last);
        last = now;
    });
    tick.start(20);
    const qint64 watchFrom = clock.elapsed();
    while (clock.elapsed() - watchFrom < watch)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    std::printf("longest gap of the event loop after it: %8lld ms over %d s\n", longest,
                watch / 1000);

    QTemporaryDir dir;
    clock.start();
    pane.SaveFile(dir.filePath(QStringLiteral("saved.rtf")));
    std::printf("saved:                                  %8lld ms, %lld bytes\n", clock.elapsed(),
                QFileInfo(dir.filePath(QStringLiteral("saved.rtf"))).size());
    return 0;
}
