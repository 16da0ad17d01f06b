#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QString>
#include <QStringList>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

// Entries of a page list that misbehave, made in a folder by the tests of the window's run and
// of the converter. Each page shows "Heading <Name>" and the words of shows(); what it must never
// give is in hidden().
namespace HostileEntries {

// The kinds, each a row of the tests' tables.
inline QStringList kinds()
{
    return {QStringLiteral("named pipe"),
            QStringLiteral("socket"),
            QStringLiteral("folder"),
            QStringLiteral("download after load"),
            QStringLiteral("download while loading"),
            QStringLiteral("rewrites itself"),
            QStringLiteral("fights its selection"),
            QStringLiteral("replaces the capture's functions"),
            QStringLiteral("closes itself and goes back"),
            QStringLiteral("big")};
}

// The big page: about this many elements, a heading and a numbered section after another.
constexpr int BigElements = 300000;
constexpr int BigSectionElements = 12;
constexpr int BigSections = BigElements / BigSectionElements;

inline QByteArray bigPage(int sections)
{
    QByteArray html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Big</title></head>"
                      "<body><h1>Heading Big</h1>";
    for (int i = 0; i < sections; ++i) {
        const QByteArray n = QByteArray::number(i);
        html += "<h2>Section " + n + "</h2><p>Paragraph " + n + " with <b>bold " + n +
                "</b>, <i>slanted</i> and <a href=\"https://example.org/" + n +
                "\">a link</a>.</p><ul><li>item " + n + " a</li><li>item " + n +
                " b</li></ul><table><tr><td>cell " + n + "</td><td>more</td></tr></table>";
    }
    return html + "<p>Last words of Big</p></body></html>";
}

inline QByteArray page(const char *name, const QByteArray &head, const QByteArray &body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + QByteArray(name) +
           "</title>" + head + "</head><body><h1>Heading " + name + "</h1>" + body +
           "</body></html>";
}

inline QByteArray html(const QString &kind)
{
    // It moves on once loaded, and again as soon as it is selected, during the copy.
    if (kind == QLatin1String("download after load"))
        return page("Downloading", {},
                    "<p>Words of Downloading.</p><script>function download() { location.href = "
                    "'data:application/octet-stream,FolvaneDownloadedContent'; }"
                    "addEventListener('load', function () { setTimeout(download, 0); });"
                    "document.addEventListener('selectionchange', download);</script>");
    if (kind == QLatin1String("download while loading"))
        return page("Fetching", {},
                    "<p>Words of Fetching.</p><script>location.href = "
                    "'data:application/octet-stream,FolvaneDownloadedContent';</script>");
    // From a timer, and as soon as it is selected: the copy finds another document than the
    // one selected. (Opening the document drops its listeners, which are added again.)
    if (kind == QLatin1String("rewrites itself"))
        return page("Rewriting", {},
                    "<p>Words of Rewriting.</p><script>var n = 0;"
                    "function rewrite() { document.open(); document.write('<!DOCTYPE html>"
                    "<title>Rewriting</title><h1>Heading Rewriting</h1><p>Words of Rewriting, "
                    "written ' + (++n) + ' times.</p>'); document.close();"
                    "document.addEventListener('selectionchange', rewrite); }"
                    "document.addEventListener('selectionchange', rewrite);"
                    "setInterval(rewrite, 20);</script>");
    if (kind == QLatin1String("fights its selection"))
        return page("Fighting", "<style>body { user-select: none; }</style>",
                    "<p>Words of Fighting.</p><script>"
                    "document.addEventListener('selectstart', function (e) { e.preventDefault(); "
                    "});"
                    "document.addEventListener('selectionchange', function () {"
                    "var s = getSelection(); if (s.rangeCount) s.collapseToStart(); });"
                    "setInterval(function () { getSelection().removeAllRanges(); }, 1);"
                    "</script>");
    if (kind == QLatin1String("replaces the capture's functions"))
        return page("Replacing", {},
                    "<p>Words of Replacing.</p><script>"
                    "window.getSelection = function () { return null; };"
                    "document.getSelection = window.getSelection;"
                    "Range.prototype.cloneRange = function () { throw new Error('no'); };"
                    "Range.prototype.cloneContents = function () { return null; };"
                    "JSON.stringify = function () { return '{}'; };"
                    "Array.prototype.push = function () { return 0; };"
                    "window.getComputedStyle = function () { return null; };"
                    "</script>");
    if (kind == QLatin1String("closes itself and goes back"))
        return page("Closing", {},
                    "<p>Words of Closing.</p><script>window.close(); history.back();"
                    "setTimeout(function () { window.close(); history.back(); }, 100);</script>");
    if (kind == QLatin1String("big"))
        return bigPage(BigSections);
    return {};
}

// The words the entry's page shows, in order, as they must come out; empty for an entry that
// is refused.
inline QStringList shows(const QString &kind)
{
    static const QHash<QString, QStringList> words = {
        {QStringLiteral("download after load"),
         {QStringLiteral("Heading Downloading"), QStringLiteral("Words of Downloading.")}},
        {QStringLiteral("download while loading"),
         {QStringLiteral("Heading Fetching"), QStringLiteral("Words of Fetching.")}},
        {QStringLiteral("rewrites itself"),
         {QStringLiteral("Heading Rewriting"), QStringLiteral("Words of Rewriting")}},
        {QStringLiteral("fights its selection"),
         {QStringLiteral("Heading Fighting"), QStringLiteral("Words of Fighting.")}},
        {QStringLiteral("replaces the capture's functions"),
         {QStringLiteral("Heading Replacing"), QStringLiteral("Words of Replacing.")}},
        {QStringLiteral("closes itself and goes back"),
         {QStringLiteral("Heading Closing"), QStringLiteral("Words of Closing.")}},
        {QStringLiteral("big"),
         {QStringLiteral("Heading Big"), QStringLiteral("Section 0"),
          QStringLiteral("Section %1").arg(BigSections / 2),
          QStringLiteral("Section %1").arg(BigSections - 1), QStringLiteral("Last words of Big")}},
    };
    return words.value(kind);
}

// What must never come out of any entry.
inline QStringList hidden()
{
    return {QStringLiteral("FolvaneDownloadedContent"), QStringLiteral("cannot be shown"),
            QStringLiteral("stopped responding"), QStringLiteral("Index of")};
}

// Makes the entry in folder; its path, or empty when it could not be made.
inline QString make(const QString &kind, const QString &folder)
{
    const QString path = QDir(folder).filePath(
        QString(kind).replace(QLatin1Char(' '), QLatin1Char('-')) +
        (kind == QLatin1String("folder") ? QString() : QStringLiteral(".html")));
    const QByteArray name = QFile::encodeName(path);
    if (kind == QLatin1String("named pipe"))
        return ::mkfifo(name.constData(), 0600) == 0 ? path : QString();
    if (kind == QLatin1String("socket")) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(name.size()) >= sizeof address.sun_path)
            return {};
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound =
            fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return bound ? path : QString();
    }
    if (kind == QLatin1String("folder")) {
        // A page inside, so that a listing of the folder would name it.
        if (!QDir().mkpath(path))
            return {};
        QFile inside(QDir(path).filePath(QStringLiteral("inside.html")));
        return inside.open(QIODevice::WriteOnly) && inside.write(page("Inside", {}, {})) > 0
                   ? path
                   : QString();
    }
    QFile file(path);
    const QByteArray content = html(kind);
    return !content.isEmpty() && file.open(QIODevice::WriteOnly) &&
                   file.write(content) == content.size()
               ? path
               : QString();
}

} // namespace HostileEntries
