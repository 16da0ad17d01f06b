// Throughput of the RTF writer and reader on a generated document of mixed content, next to
// the time Qt needs to build the same document through a QTextCursor, and how both scale.
//
//   rtf_bench            all figures, then a summary
//   rtf_bench --benchmark_filter=Write

#include "rtfformat.h"
#include "rtfreader.h"
#include "rtfwriter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>

namespace {

// The building blocks, made once so that building a document costs only QTextCursor calls.
struct Material {
    QList<QString> words;
    QList<QTextCharFormat> charFormats;
    QList<QTextBlockFormat> blockFormats;
    QList<QTextListFormat> listFormats;
    QTextTableFormat tableFormat;
    QList<QByteArray> images;

    Material()
    {
        const char *const vocabulary[] = {
            "The quick brown fox jumps over the lazy dog. ",
            "Lorem ipsum dolor sit amet, consectetur adipiscing elit. ",
            "Caf\u00e9 cr\u00e8me br\u00fbl\u00e9e na\u00efve r\u00e9sum\u00e9 \u2014 ",
            "Zw\u00f6lf Boxk\u00e4mpfer jagen Viktor quer \u00fcber den gro\u00dfen Sylter Deich. ",
            "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440! ",
            "Numbers 1234567890 and symbols {braces} \\backslash\\ [brackets] ",
            "\u4e2d\u6587\u6587\u672c\u548c\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8 ",
            "Some plain words that carry most of a typical page of text along. "};
        for (const char *text : vocabulary)
            words.append(QString::fromUtf8(text));

        charFormats.resize(8);
        charFormats[1].setFontWeight(QFont::Bold);
        charFormats[2].setFontItalic(true);
        charFormats[3].setForeground(QColor(200, 30, 30));
        charFormats[3].setFontPointSize(14);
        charFormats[4].setFontFamilies({QStringLiteral("Courier New")});
        charFormats[5].setUnderlineStyle(QTextCharFormat::SingleUnderline);
        charFormats[5].setBackground(QColor(255, 255, 160));
        charFormats[6].setAnchor(true);
        charFormats[6].setAnchorHref(QStringLiteral("https://example.org/page"));
        charFormats[6].setForeground(QColor(0, 0, 238));
        charFormats[6].setUnderlineStyle(QTextCharFormat::SingleUnderline);
        charFormats[7].setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        // Text read back from RTF carries a font size on every run (the writer sets the
        // document's default size after each \plain), so the runs put in here carry it too:
        // the reader is measured against Qt inserting the same formats. The RTF is the same
        // either way, as the writer leaves out a size equal to the default.
        if (const qreal points = QTextDocument().defaultFont().pointSizeF(); points > 0) {
            for (QTextCharFormat &format : charFormats) {
                if (!format.hasProperty(QTextFormat::FontPointSize))
                    format.setFontPointSize(points);
            }
        }

        blockFormats.resize(3);
        blockFormats[1].setAlignment(Qt::AlignJustify);
        blockFormats[1].setBottomMargin(6);
        blockFormats[2].setLeftMargin(24);
        blockFormats[2].setTextIndent(-12);

        for (auto style : {QTextListFormat::ListDecimal, QTextListFormat::ListDisc}) {
            QTextListFormat format;
            format.setStyle(style);
            listFormats.append(format);
        }
        tableFormat.setBorder(1);
        tableFormat.setCellPadding(3);
        tableFormat.setHeaderRowCount(1);

        for (int i = 0; i < 3; ++i) {
            QImage image(48 + 16 * i, 32, QImage::Format_RGB32);
            image.fill(QColor(40 * i, 120, 200 - 50 * i));
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            images.append(bytes);
        }
    }
};

const Material &material()
{
    static const Material instance;
    return instance;
}

// One section: three paragraphs of formatted runs; every second also a two-level list, every
// tenth a table, every twentieth an image.
void buildSections(QTextDocument &document, int sections)
{
    const Material &m = material();
    for (int i = 0; i < m.images.size(); ++i)
        document.addResource(QTextDocument::ImageResource,
                             QUrl(QStringLiteral("bench:image%1").arg(i)), m.images.at(i));
    QTextCursor cursor(&document);
    // One edit block, as the reader uses: Qt then defers its bookkeeping to the end.
    cursor.beginEditBlock();
    for (int s = 0; s < sections; ++s) {
        for (int paragraph = 0; paragraph < 3; ++paragraph) {
            cursor.insertBlock(m.blockFormats.at((s + paragraph) % m.blockFormats.size()),
                               QTextCharFormat());
            for (int run = 0; run < 24; ++run)
                cursor.insertText(m.words.at((s + run + paragraph) % m.words.size()),
                                  m.charFormats.at((s * 3 + run) % m.charFormats.size()));
        }
        if (s % 2)
            continue;
        QTextList *list = cursor.insertList(m.listFormats.at(s / 2 % 2));
        for (int item = 0; item < 4; ++item) {
            if (item > 0)
                cursor.insertBlock();
            cursor.insertText(m.words.at((s + item) % m.words.size()), m.charFormats.first());
        }
        QTextListFormat nested = list->format();
        nested.setIndent(2);
        nested.setStyle(QTextListFormat::ListLowerAlpha);
        cursor.insertList(nested);
        cursor.insertText(m.words.at(s % m.words.size()), m.charFormats.at(1));
        cursor.insertBlock(QTextBlockFormat());
        if (s % 10 == 8) {
            QTextTable *table = cursor.insertTable(4, 3, m.tableFormat);
            for (int cell = 0; cell < 12; ++cell)
                table->cellAt(cell / 3, cell % 3)
                    .firstCursorPosition()
                    .insertText(m.words.at(cell % m.words.size()),
                                m.charFormats.at(cell % m.charFormats.size()));
            // Not movePosition(End): that lays the block out.
            cursor = document.rootFrame()->lastCursorPosition();
        }
        if (s % 20 == 18) {
            QTextImageFormat image;
            image.setName(QStringLiteral("bench:image%1").arg(s / 20 % m.images.size()));
            image.setWidth(96);
            cursor.insertImage(image);
        }
    }
    cursor.endEditBlock();
}

constexpr qint64 megabyte = 1000 * 1000;

// Sections needed for about `megabytes` of RTF, measured on a small sample.
int sectionsFor(int megabytes)
{
    static const double bytesPerSection = [] {
        QTextDocument sample;
        buildSections(sample, 200);
        return double(RtfWriter::write(sample).size()) / 200;
    }();
    return qMax(1, int(megabytes * megabyte / bytesPerSection));
}

const QTextDocument &documentOf(int megabytes)
{
    static std::map<int, std::unique_ptr<QTextDocument>> documents;
    auto &document = documents[megabytes];
    if (!document) {
        document = std::make_unique<QTextDocument>();
        buildSections(*document, sectionsFor(megabytes));
    }
    return *document;
}

const QByteArray &rtfOf(int megabytes)
{
    static std::map<int, QByteArray> texts;
    QByteArray &text = texts[megabytes];
    if (text.isEmpty())
        text = RtfWriter::write(documentOf(megabytes));
    return text;
}

void BM_Write(benchmark::State &state)
{
    const QTextDocument &document = documentOf(int(state.range(0)));
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray rtf = RtfWriter::write(document);
        bytes += rtf.size();
        benchmark::DoNotOptimize(rtf.constData());
    }
    state.SetBytesProcessed(bytes);
}

void BM_Read(benchmark::State &state)
{
    const QByteArray &rtf = rtfOf(int(state.range(0)));
    for (auto _ : state) {
        auto document = std::make_unique<QTextDocument>();
        QTextCursor cursor(document.get());
        const RtfReadResult result = RtfReader::insert(cursor, QByteArrayView(rtf));
        benchmark::DoNotOptimize(result.errors.size());
        // Tearing the document down is not part of reading.
        state.PauseTiming();
        cursor = QTextCursor();
        document.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(qint64(state.iterations()) * rtf.size());
}

// The same content put in by QTextCursor calls, no RTF involved: the floor for reading.
void BM_QtInsert(benchmark::State &state)
{
    const int sections = sectionsFor(int(state.range(0)));
    const qint64 rtfBytes = rtfOf(int(state.range(0))).size();
    for (auto _ : state) {
        auto document = std::make_unique<QTextDocument>();
        buildSections(*document, sections);
        state.PauseTiming();
        document.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(qint64(state.iterations()) * rtfBytes);
}

BENCHMARK(BM_Write)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Read)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_QtInsert)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(2);

// Prints the usual table, keeping each run's CPU time for the summary (the machine may be
// busy with other work; CPU time is what the code costs).
class SummaryReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Iteration)
                milliseconds[run.run_name.function_name + "/" + run.run_name.args] =
                    run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> milliseconds;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto time = [&reporter](const char *name) {
        const auto found = reporter.milliseconds.find(name);
        return found == reporter.milliseconds.end() ? 0.0 : found->second;
    };
    std::printf("\nSummary, CPU time (RTF of %.1f MB and %.1f MB):\n", rtfOf(1).size() / 1e6,
                rtfOf(10).size() / 1e6);
    if (const double write = time("BM_Write/10"); write > 0)
        std::printf("  writer: %.0f MB/s\n", rtfOf(10).size() / 1e6 / (write / 1000));
    if (const double read = time("BM_Read/10"); read > 0) {
        std::printf("  reader: %.0f MB/s\n", rtfOf(10).size() / 1e6 / (read / 1000));
        if (const double qt = time("BM_QtInsert/10"); qt > 0)
            std::printf("  reader %.0f ms vs Qt's own insertion %.0f ms: parsing adds %.0f%%\n",
                        read, qt, (read - qt) / qt * 100);
    }
    // What the reader made of the 1 MB text, next to the document it came from.
    {
        const QTextDocument &source = documentOf(1);
        QTextDocument read;
        QTextCursor cursor(&read);
        const RtfReadResult result = RtfReader::insert(cursor, QByteArrayView(rtfOf(1)));
        std::printf("  read back: %d of %d characters, %d of %d blocks, %lld errors\n",
                    read.characterCount(), source.characterCount(), read.blockCount(),
                    source.blockCount(), qint64(result.errors.size()));
    }
    for (const char *name : {"BM_Write", "BM_Read", "BM_QtInsert"}) {
        const double one = time((std::string(name) + "/1").c_str());
        const double ten = time((std::string(name) + "/10").c_str());
        if (one > 0 && ten > 0)
            std::printf("  %s: 10x input takes %.2fx the time\n", name, ten / one);
    }
    return 0;
}
