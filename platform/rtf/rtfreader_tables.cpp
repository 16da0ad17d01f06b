// The RTF reader's table model: rows and cells as the RTF gives them (\cell, \row,
// nesting), laid out on a grid of cell boundaries and put into QTextTables.

#include "rtfreader_p.h"

#include <QTextTable>
#include <algorithm>

namespace RtfImport {

RowDef &Builder::rowDef()
{
    if (m_rowDefs.size() < m_rowDefDepth)
        m_rowDefs.resize(m_rowDefDepth);
    return m_rowDefs[m_rowDefDepth - 1];
}

CellDef *Builder::borderTarget()
{
    return m_borderTarget == BorderTarget::Cell ? &rowDef().pending : nullptr;
}

void Builder::endCell(size_t depth)
{
    endParagraph(depth);
    depth = std::min<size_t>(depth, kMaxTableDepth);
    OpenTable &t = m_tables[depth - 1];
    if (t.rowCells.size() < size_t(kMaxCellsPerRow)) {
        t.rowCells.push_back(std::move(t.cell));
    } else {
        auto &last = t.rowCells.back().items;
        for (Item &i : t.cell.items)
            last.push_back(std::move(i));
    }
    t.cell = CellModel();
}

void Builder::endRow(size_t depth)
{
    depth = std::min<size_t>(depth, kMaxTableDepth);
    closeTablesDeeperThan(depth);
    if (!m_paragraph.isEmpty() ||
        (m_tables.size() >= depth && !m_tables[depth - 1].cell.items.empty()))
        endCell(depth);
    while (m_tables.size() < depth)
        m_tables.emplace_back();
    OpenTable &t = m_tables[depth - 1];
    RowModel row;
    row.cells = std::move(t.rowCells);
    t.rowCells.clear();
    if (m_rowDefs.size() >= depth)
        row.def = m_rowDefs[depth - 1];
    if (!row.cells.empty() || !row.def.cells.empty())
        t.model->rows.push_back(std::move(row));
}

void Builder::closeTablesDeeperThan(size_t depth)
{
    while (m_tables.size() > depth) {
        OpenTable t = std::move(m_tables.back());
        m_tables.pop_back();
        if (!t.cell.items.empty())
            t.rowCells.push_back(std::move(t.cell));
        if (!t.rowCells.empty()) {
            RowModel row;
            row.cells = std::move(t.rowCells);
            if (m_rowDefs.size() > m_tables.size())
                row.def = m_rowDefs[m_tables.size()];
            t.model->rows.push_back(std::move(row));
        }
        if (t.model->rows.empty())
            continue;
        if (m_tables.empty()) {
            emitTable(m_cursor, *t.model);
            m_needBlock = false;
        } else {
            m_tables.back().cell.items.push_back(Item{Paragraph(), std::move(t.model)});
        }
    }
}

void Builder::emitTable(QTextCursor &c, TableModel &table)
{
    // The columns come from the union of all cell boundaries, so cells of different widths
    // line up; when that grid would be far larger than the cells there are, rows go into
    // tables of their own by cell count instead.
    std::vector<int> grid;
    size_t cells = 0;
    for (RowModel &row : table.rows) {
        const size_t n =
            std::min<size_t>(std::max(row.cells.size(), row.def.cells.size()), kMaxCellsPerRow);
        row.cells.resize(n);
        int prev = row.def.left;
        for (size_t i = 0; i < n; ++i) {
            int right = i < row.def.cells.size() ? row.def.cells[i].right : prev + 1440;
            // Clamped the way \cellx is read, so what is written here reads back the same.
            right = std::max(std::min(right, kMaxTwips), prev + 1);
            if (i < row.def.cells.size())
                row.def.cells[i].right = right;
            else {
                CellDef d;
                d.right = right;
                row.def.cells.push_back(d);
            }
            prev = right;
            grid.push_back(right);
        }
        cells += n;
    }
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    const bool useGrid = grid.size() <= size_t(kMaxCellsPerRow) &&
                         table.rows.size() * grid.size() <= 4 * cells + 4096;
    if (useGrid) {
        emitTableSegment(c, table, 0, table.rows.size(), true);
        return;
    }
    size_t begin = 0;
    while (begin < table.rows.size()) {
        size_t end = begin + 1;
        while (end < table.rows.size() &&
               table.rows[end].cells.size() == table.rows[begin].cells.size())
            ++end;
        emitTableSegment(c, table, begin, end, false);
        begin = end;
    }
}

void Builder::emitTableSegment(QTextCursor &c, TableModel &table, size_t begin, size_t end,
                               bool useGrid)
{
    struct Placed {
        size_t row;
        int col, rowSpan, colSpan;
        CellModel *cell;
        const CellDef *def;
    };
    std::vector<int> grid;
    for (size_t r = begin; r < end; ++r)
        for (const CellDef &d : table.rows[r].def.cells)
            grid.push_back(d.right);
    std::sort(grid.begin(), grid.end());
    grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    int cols = 0;
    if (useGrid)
        cols = int(grid.size());
    else
        for (size_t r = begin; r < end; ++r)
            cols = std::max(cols, int(table.rows[r].cells.size()));
    const int rows = int(end - begin);
    if (cols == 0 || rows == 0)
        return;

    std::vector<Placed> placed;
    std::vector<int> above(size_t(cols), -1), current(size_t(cols), -1);
    auto appendItems = [](CellModel &to, CellModel &from) {
        for (Item &i : from.items) {
            if (i.table || !i.paragraph.isEmpty())
                to.items.push_back(std::move(i));
        }
        from.items.clear();
    };
    for (size_t r = begin; r < end; ++r) {
        RowModel &row = table.rows[r];
        std::fill(current.begin(), current.end(), -1);
        int prevRight = row.def.left;
        int lastPlaced = -1;
        for (size_t i = 0; i < row.cells.size(); ++i) {
            const CellDef &d = row.def.cells[i];
            int c0, c1;
            if (useGrid) {
                c0 = int(std::upper_bound(grid.begin(), grid.end(), prevRight) - grid.begin());
                c1 = int(std::lower_bound(grid.begin(), grid.end(), d.right) - grid.begin());
                c0 = std::min(c0, c1);
            } else {
                c0 = c1 = int(i);
            }
            prevRight = d.right;
            if (c0 >= cols)
                continue;
            c1 = std::min(c1, cols - 1);
            if (d.merge && lastPlaced >= 0) {
                Placed &p = placed[size_t(lastPlaced)];
                p.colSpan = c1 - p.col + 1;
                appendItems(*p.cell, row.cells[i]);
                for (int k = c0; k <= c1; ++k)
                    current[size_t(k)] = lastPlaced;
                continue;
            }
            if (d.vMerge && above[size_t(c0)] >= 0) {
                const int owner = above[size_t(c0)];
                Placed &p = placed[size_t(owner)];
                // The span above reaches down into this row, or already does (when a cell
                // that spans columns is continued by several cells).
                if (p.row + size_t(p.rowSpan) == r)
                    p.rowSpan += 1;
                if (p.row + size_t(p.rowSpan) == r + 1) {
                    appendItems(*p.cell, row.cells[i]);
                    for (int k = c0; k <= c1; ++k)
                        current[size_t(k)] = owner;
                    lastPlaced = owner;
                    continue;
                }
            }
            placed.push_back(Placed{r, c0, 1, c1 - c0 + 1, &row.cells[i], &d});
            lastPlaced = int(placed.size() - 1);
            for (int k = c0; k <= c1; ++k)
                current[size_t(k)] = lastPlaced;
        }
        std::swap(above, current);
    }

    // Spans must not overlap: a cell whose place a span already covers gives that span its
    // content, and a span that would run into another one is dropped.
    std::vector<int> occupied(size_t(rows) * size_t(cols), -1);
    std::vector<Placed> kept;
    kept.reserve(placed.size());
    for (Placed &p : placed) {
        const int r0 = int(p.row - begin);
        p.rowSpan = std::min(p.rowSpan, rows - r0);
        p.colSpan = std::min(p.colSpan, cols - p.col);
        const int at = occupied[size_t(r0) * size_t(cols) + size_t(p.col)];
        if (at >= 0) {
            appendItems(*kept[size_t(at)].cell, *p.cell);
            continue;
        }
        bool free = true;
        for (int y = r0; y < r0 + p.rowSpan && free; ++y)
            for (int x = p.col; x < p.col + p.colSpan && free; ++x)
                free = occupied[size_t(y) * size_t(cols) + size_t(x)] < 0;
        if (!free)
            p.rowSpan = p.colSpan = 1;
        for (int y = r0; y < r0 + p.rowSpan; ++y)
            for (int x = p.col; x < p.col + p.colSpan; ++x)
                occupied[size_t(y) * size_t(cols) + size_t(x)] = int(kept.size());
        kept.push_back(p);
    }
    placed = std::move(kept);

    const RowDef &first = table.rows[begin].def;
    QTextTableFormat format;
    int border = first.border;
    QTextFrameFormat::BorderStyle borderStyle = first.borderStyle;
    QColor borderColor = first.borderColor;
    for (const CellDef &d : first.cells) {
        if (d.border > border) {
            border = d.border;
            borderStyle = d.borderStyle;
            borderColor = d.borderColor;
        }
    }
    format.setBorder(border > 0 ? border / kTwipsPerPixel : 0);
    format.setBorderStyle(border > 0 ? borderStyle : QTextFrameFormat::BorderStyle_None);
    if (border > 0 && borderColor.isValid())
        format.setBorderBrush(borderColor);
    const int padding = first.padding >= 0 ? first.padding : first.gap;
    if (padding >= 0)
        format.setCellPadding(padding / kTwipsPerPixel);
    format.setCellSpacing(first.spacing > 0 ? 2 * first.spacing / kTwipsPerPixel : 0);
    if (first.alignment)
        format.setAlignment(first.alignment);
    if (first.rightToLeft)
        format.setLayoutDirection(Qt::RightToLeft);
    int headers = 0;
    while (begin + size_t(headers) < end && table.rows[begin + size_t(headers)].def.header)
        ++headers;
    if (headers > 0)
        format.setHeaderRowCount(headers);
    if (useGrid) {
        QList<QTextLength> widths;
        int prev = std::min(first.left, grid.front() - 1);
        for (int g : grid) {
            widths.append(QTextLength(QTextLength::FixedLength, (g - prev) / kTwipsPerPixel));
            prev = g;
        }
        format.setColumnWidthConstraints(widths);
    }
    QTextTable *t = c.insertTable(rows, cols, format);
    for (const Placed &p : placed) {
        if (p.rowSpan > 1 || p.colSpan > 1)
            t->mergeCells(int(p.row - begin), p.col, p.rowSpan, p.colSpan);
    }
    for (const Placed &p : placed) {
        QTextTableCell cell = t->cellAt(int(p.row - begin), p.col);
        if (p.def->background.isValid() || p.def->vAlign != QTextCharFormat::AlignNormal) {
            QTextTableCellFormat f = cell.format().toTableCellFormat();
            if (p.def->background.isValid())
                f.setBackground(p.def->background);
            if (p.def->vAlign != QTextCharFormat::AlignNormal)
                f.setVerticalAlignment(p.def->vAlign);
            cell.setFormat(f);
        }
        QTextCursor cc = cell.firstCursorPosition();
        emitItems(cc, p.cell->items, ++m_containers);
    }
    c.setPosition(t->lastPosition() + 1);
}

} // namespace RtfImport
