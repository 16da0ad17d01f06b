#pragma once

#include <QLatin1String>

// What the capture script (script/parts.js) tells the program of a selection: JSON text, one part
// at a time, whose members are named here where the program reads them. Lengths are CSS pixels;
// a member left out is 0, false or empty, unless said otherwise.
namespace CaptureProtocol {

// A part: {blocks, formats, url, last, restart, profile}, or {error} when the walk failed.
namespace Part {
// The blocks completed since the part before: paragraphs and tables, in reading order.
inline constexpr QLatin1String Blocks{"blocks"};
// The character formats added since the part before; with those of all earlier parts, they are
// what the runs' format indexes count.
inline constexpr QLatin1String Formats{"formats"};
// The page's address when the part was walked.
inline constexpr QLatin1String Url{"url"};
// 1 on the final part of the walk.
inline constexpr QLatin1String Last{"last"};
// 1 when the page changed between two parts: the selection was walked again, whole, and this
// part replaces every earlier one.
inline constexpr QLatin1String Restart{"restart"};
// With FOLVANE_CAPTURE_PROFILE: the time of each stage of the walk, and counts, by name.
inline constexpr QLatin1String Profile{"profile"};
// Why the walk failed, as text.
inline constexpr QLatin1String Error{"error"};
} // namespace Part

// A block is a paragraph, or a table when its kind says so.
namespace Block {
inline constexpr QLatin1String Kind{"kind"};
inline constexpr QLatin1String TableKind{"table"};
} // namespace Block

// A paragraph: {runs, marginTop, marginBottom, indent, textIndent, align, background, pre,
// heading, rule, listItem, dir}.
namespace Paragraph {
inline constexpr QLatin1String Runs{"runs"};
inline constexpr QLatin1String MarginTop{"marginTop"};
inline constexpr QLatin1String MarginBottom{"marginBottom"};
// The left indent of its text, list markers' room excluded.
inline constexpr QLatin1String Indent{"indent"};
// The indent of the first line, against the others.
inline constexpr QLatin1String TextIndent{"textIndent"};
// "center", "right" or "justify"; left when left out. The sides are the page's, whatever the
// direction.
inline constexpr QLatin1String Align{"align"};
inline constexpr QLatin1String Center{"center"};
inline constexpr QLatin1String Right{"right"};
inline constexpr QLatin1String Justify{"justify"};
// A colour, #rrggbb, behind the whole paragraph.
inline constexpr QLatin1String Background{"background"};
// 1 for preformatted text, whose lines do not wrap.
inline constexpr QLatin1String Pre{"pre"};
// The heading level, 1 to 6.
inline constexpr QLatin1String Heading{"heading"};
// 1 for a horizontal rule, which the paragraph stands for.
inline constexpr QLatin1String Rule{"rule"};
// The list item whose first paragraph this is. An item that shows no marker and begins with a
// heading is on its first paragraph that is not one, where it has one.
inline constexpr QLatin1String ListItem{"listItem"};
// "rtl" for a paragraph written from right to left (its block's computed direction); left to
// right when left out.
inline constexpr QLatin1String Direction{"dir"};
inline constexpr QLatin1String RightToLeft{"rtl"};
} // namespace Paragraph

// A list item: {list, marker, level, start}.
namespace ListItem {
// A number for the list it belongs to, the same for all its items.
inline constexpr QLatin1String List{"list"};
// disc, circle, square, decimal, lower-alpha, upper-alpha, lower-roman, upper-roman or none.
inline constexpr QLatin1String Marker{"marker"};
// 1 for an item of a top-level list, more for one in a list inside an item.
inline constexpr QLatin1String Level{"level"};
// The number the list's first item shows, on that item (1 when left out).
inline constexpr QLatin1String Start{"start"};
} // namespace ListItem

// A run: {text, format, href, places} or {image, format, href, places}.
namespace Run {
// The text shown, U+2028 for a line break.
inline constexpr QLatin1String Text{"text"};
// The index of its character format.
inline constexpr QLatin1String Format{"format"};
// The address of the link it is in: absolute, as the page resolved it.
inline constexpr QLatin1String Href{"href"};
// The places of the page that begin at the run's first character, as a list of names: the id
// of an element, or the name of an <a name>, of the page at the part's address (frames' own
// places are left out). An element that shows no text of its own, or is hidden, begins at the
// next run; a place that nothing follows, at the last run.
inline constexpr QLatin1String Places{"places"};
// A picture in the text.
inline constexpr QLatin1String Image{"image"};
} // namespace Run

// A picture: {src, width, height, alt} for one the program fetches, or {svg, width, height, alt}
// for an inline SVG as markup.
namespace Image {
inline constexpr QLatin1String Src{"src"};
inline constexpr QLatin1String Svg{"svg"};
inline constexpr QLatin1String Width{"width"};
inline constexpr QLatin1String Height{"height"};
// What shows in its place when the picture cannot be had.
inline constexpr QLatin1String Alt{"alt"};
} // namespace Image

// A character format: {families, size, weight, italic, colour, background, underline, strike,
// vertical, caps}.
namespace Format {
// The CSS font-family stack, as a list of names.
inline constexpr QLatin1String Families{"families"};
// The font size (16 when left out).
inline constexpr QLatin1String Size{"size"};
// The font weight, 100 to 900 (400 when left out).
inline constexpr QLatin1String Weight{"weight"};
inline constexpr QLatin1String Italic{"italic"};
// The text's colour, #rrggbb (black when left out), and the colour behind it.
inline constexpr QLatin1String Colour{"colour"};
inline constexpr QLatin1String Background{"background"};
inline constexpr QLatin1String Underline{"underline"};
inline constexpr QLatin1String Strike{"strike"};
// "super" or "sub".
inline constexpr QLatin1String Vertical{"vertical"};
inline constexpr QLatin1String Super{"super"};
inline constexpr QLatin1String Sub{"sub"};
// "upper", "lower", "capitalize" or "small" (small capitals).
inline constexpr QLatin1String Caps{"caps"};
inline constexpr QLatin1String Upper{"upper"};
inline constexpr QLatin1String Lower{"lower"};
inline constexpr QLatin1String Capitalize{"capitalize"};
inline constexpr QLatin1String Small{"small"};
} // namespace Format

// A table: {kind: "table", rows, columns, widths, width, border, borderColour, padding, spacing,
// indent, headerRows, dir, cells}.
namespace Table {
inline constexpr QLatin1String Rows{"rows"};
inline constexpr QLatin1String Columns{"columns"};
// The width of each column, as laid out.
inline constexpr QLatin1String Widths{"widths"};
// The whole table's width.
inline constexpr QLatin1String Width{"width"};
// The width and colour of the cells' borders.
inline constexpr QLatin1String Border{"border"};
inline constexpr QLatin1String BorderColour{"borderColour"};
inline constexpr QLatin1String Padding{"padding"};
// The room between cells; 0 for collapsed borders.
inline constexpr QLatin1String Spacing{"spacing"};
// The table's left indent.
inline constexpr QLatin1String Indent{"indent"};
// How many rows at the top are the table's header.
inline constexpr QLatin1String HeaderRows{"headerRows"};
// "rtl" for a table whose columns run from right to left.
inline constexpr QLatin1String Direction{"dir"};
inline constexpr QLatin1String Cells{"cells"};
} // namespace Table

// A cell: {row, column, rowSpan, columnSpan, background, header, blocks}, at the grid position
// of its top left corner; spans are 1 when left out.
namespace Cell {
inline constexpr QLatin1String Row{"row"};
inline constexpr QLatin1String Column{"column"};
inline constexpr QLatin1String RowSpan{"rowSpan"};
inline constexpr QLatin1String ColumnSpan{"columnSpan"};
inline constexpr QLatin1String Background{"background"};
// 1 for a header cell (<th>).
inline constexpr QLatin1String Header{"header"};
// The cell's content: blocks, as the part's.
inline constexpr QLatin1String Blocks{"blocks"};
} // namespace Cell

} // namespace CaptureProtocol
