#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

// The command line of folvane-convert.
struct ConvertOptions {
    enum class Action { Convert, Help, Version, UsageError };

    Action action = Action::Convert;
    QStringList entries; // in the order given; "-" already replaced by the lines of stdin
    QString output;      // empty: standard output
    int jobs = 1;
    bool quiet = false;
    // How the document is written: a table of contents at its start, each page after the first
    // on a new page, and links written with their addresses even where they lead into the
    // document.
    bool tableOfContents = false;
    bool pageBreaks = false;
    bool keepLinks = false;
    QString error;    // for UsageError
    QString helpText; // for Help and UsageError

    // Reads arguments (the program's name first). Lines for "-" come from input.
    static ConvertOptions parse(const QStringList &arguments, std::FILE *input);
};
