// Tables: their rows, cells, spans, column widths, borders and backgrounds as laid out.
//
// One unit of the page capture's script (see parts.js): captureTables(w) adds to the walk w
// table(), which walks a <table> into one table block of a flow, each cell's content a flow of
// its own. It uses the styles, blocks, generated content and places units, and walks the cells
// with the walk unit's walkChildren.
function captureTables(w) {
    'use strict';
    const {cs, px, colour, alignOf, mayGenerate, PRE_MODES, Builder, inRange, addGenerated,
        reachElement} = w;

    // A table's caption, its first header group and its rows (header rows first, footer rows
    // last), as the caption, tHead and rows properties give them; found among the children,
    // since each of those properties makes a collection object for every table, which costs
    // more than the rest of the table.
    function tableParts(el) {
        const parts = {caption: null, head: null, rows: []};
        const body = [];
        const foot = [];
        const addRows = (group, to) => {
            for (let r = group.firstElementChild; r; r = r.nextElementSibling) {
                if (r.tagName === 'TR')
                    to.push({el: r, group: group});
            }
        };
        for (let child = el.firstElementChild; child; child = child.nextElementSibling) {
            switch (child.tagName) {
            case 'TR':
                body.push({el: child, group: el});
                break;
            case 'TBODY':
                addRows(child, body);
                break;
            case 'THEAD':
                addRows(child, parts.rows);
                if (!parts.head)
                    parts.head = child;
                break;
            case 'TFOOT':
                addRows(child, foot);
                break;
            case 'CAPTION':
                if (!parts.caption)
                    parts.caption = child;
                break;
            }
        }
        parts.rows.push(...body, ...foot);
        return parts;
    }

    function* table(b, ctx, el, s, partial) {
        b.margin(px(s.marginTop));
        b.close();
        const parts = tableParts(el);
        const caption = parts.caption;
        const rows = parts.rows.filter((r) => cs(r.el, r.group).display !== 'none' && (!partial || inRange(r.el)));
        const grid = [];
        const cells = [];
        let cols = 0;
        rows.forEach(({el: row, group}, ri) => {
            grid[ri] = grid[ri] || [];
            let ci = 0;
            const rowStyle = cs(row);
            for (let cell = row.firstElementChild; cell; cell = cell.nextElementSibling) {
                const tag = cell.tagName;
                if (tag !== 'TD' && tag !== 'TH')
                    continue;
                const cst = cs(cell, row, rowStyle, tag);
                if (cst.display === 'none')
                    continue;
                while (grid[ri][ci])
                    ++ci;
                const cs_ = Math.max(1, cell.colSpan || 1);
                let rs = cell.rowSpan;
                if (rs === 0 || ri + rs > rows.length)
                    rs = rows.length - ri;
                rs = Math.max(1, rs);
                for (let y = ri; y < ri + rs; ++y) {
                    grid[y] = grid[y] || [];
                    for (let x = ci; x < ci + cs_; ++x)
                        grid[y][x] = true;
                }
                cells.push({el: cell, r: ri, c: ci, rs: rs, cs: cs_, st: cst, row: row, group: group});
                ci += cs_;
                cols = Math.max(cols, ci);
            }
        });
        for (const g of grid)
            cols = Math.max(cols, g ? g.length : 0);
        if (!rows.length || !cols) {
            if (caption)
                yield* w.walk(b, ctx, caption, partial);
            return;
        }
        if (caption && cs(caption).display !== 'none') {
            const cap = cs(caption);
            const sub = Object.assign({}, ctx, {al: alignOf(cap), h: 0, pre: false, li: null, rtl: cap.direction === 'rtl'});
            b.close();
            reachElement(caption);
            yield* w.walkChildren(b, sub, caption, partial);
            b.close();
        }

        // column widths as laid out: each column from its first single-column cell, since the
        // cells of a column are laid out as wide as the column
        const widths = new Array(cols).fill(0);
        for (const cell of cells) {
            if (cell.cs === 1 && !widths[cell.c])
                widths[cell.c] = cell.el.getBoundingClientRect().width;
        }
        for (const cell of cells) {
            if (cell.cs > 1) {
                let known = 0;
                let unknown = 0;
                for (let x = cell.c; x < cell.c + cell.cs; ++x) {
                    if (widths[x])
                        known += widths[x];
                    else
                        ++unknown;
                }
                if (unknown) {
                    const rest = Math.max(0, cell.el.getBoundingClientRect().width - known) / unknown;
                    for (let x = cell.c; x < cell.c + cell.cs; ++x) {
                        if (!widths[x])
                            widths[x] = rest || 20;
                    }
                }
            }
        }

        const first = cells[0].st;
        const collapse = s.borderCollapse === 'collapse';
        const bd = Math.max(px(s.borderLeftWidth), px(first.borderLeftWidth));
        const t = {
            kind: 'table', rows: rows.length, columns: cols, widths: widths.map((x) => Math.round(x)),
            width: Math.round(el.getBoundingClientRect().width), border: Math.round(bd * 4) / 4,
            padding: Math.round(px(first.paddingLeft)),
            spacing: collapse ? 0 : Math.round(px((s.borderSpacing || '0').split(' ')[0])),
            indent: Math.round(ctx.ml + px(s.marginLeft)), cells: []
        };
        if (s.direction === 'rtl')
            t.dir = 'rtl';
        const bc = colour(px(first.borderLeftWidth) ? first.borderLeftColor : s.borderLeftColor);
        if (bc && bd)
            t.borderColour = bc;
        if (t.indent > 0)
            t.indent = Math.min(t.indent, 400);
        if (parts.head && cs(parts.head).display !== 'none')
            t.headerRows = Math.min(rows.length, rows.filter((r) => r.group === parts.head).length);
        const tbg = colour(s.backgroundColor);
        // a row's background (or its group's) shows behind each of its cells that has none
        const rowBgs = new Map();
        function bgOf(e) {
            let v = rowBgs.get(e);
            if (v === undefined) {
                v = colour(cs(e).backgroundColor);
                rowBgs.set(e, v);
            }
            return v;
        }
        for (const cell of cells) {
            const cb = new Builder();
            // the cell's flow starts at its content edge: the table's padding places it
            const sub = Object.assign({}, ctx, {
                ml: 0, lml: 0, al: alignOf(cell.st), bbg: null, bg: null, h: 0, li: null, ti: 0, rowOf: null,
                pre: PRE_MODES.has(cell.st.whiteSpace), rtl: cell.st.direction === 'rtl', linkBox: null
            });
            reachElement(cell.row);
            reachElement(cell.el);
            const pseudo = mayGenerate(cell.el, '');
            if (pseudo)
                addGenerated(cb, sub, cell.el, cell.st, '::before');
            if (!partial)
                yield* w.walkChildren(cb, sub, cell.el, false);
            else if (inRange(cell.el))
                yield* w.walkChildren(cb, sub, cell.el,
                             cell.el.contains(w.range.startContainer) || cell.el.contains(w.range.endContainer));
            if (pseudo)
                addGenerated(cb, sub, cell.el, cell.st, '::after');
            const out = {row: cell.r, column: cell.c, blocks: cb.finish()};
            if (cell.rs > 1)
                out.rowSpan = cell.rs;
            if (cell.cs > 1)
                out.columnSpan = cell.cs;
            let bg = colour(cell.st.backgroundColor) || bgOf(cell.row);
            if (!bg && cell.group !== el)
                bg = bgOf(cell.group);
            if (!bg)
                bg = tbg;
            if (bg)
                out.background = bg;
            if (cell.el.tagName === 'TH')
                out.header = 1;
            t.cells.push(out);
        }
        b.blocks.push(t);
        b.space = 0;
        b.margin(px(s.marginBottom));
    }

    Object.assign(w, {table});
}
