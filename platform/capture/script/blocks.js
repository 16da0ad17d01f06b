// Blocks and runs: paragraphs, and the text, breaks and objects in them.
//
// One unit of the page capture's script (see parts.js): captureBlocks(w) adds to the walk w the
// Builder, which collects the blocks of one flow (the page, or a table cell) as the program
// reads them, and the functions that add text, line breaks and inline objects to a flow. It uses
// the styles and places units and reads w.range, the range being walked.
function captureBlocks(w) {
    'use strict';
    const {textPropsOf, formatFor, formatOf, takePlaces, requeuePlaces} = w;
    const places = w.places;
    const COLLAPSIBLE = /^[ \t\n\r\f]*$/;
    const NEEDS_COLLAPSE = /[\t\n\f]| {2}/;
    const PRE_MODES = new Set(['pre', 'pre-wrap', 'break-spaces']);

    // A run that shows nothing goes; the places it began wait for the next run.
    function dropLastRun(p) {
        const run = p.runs.pop();
        if (run.places)
            requeuePlaces(run.places);
    }

    // A Builder collects the blocks of one flow (the page, or a table cell).
    class Builder {
        constructor() {
            this.blocks = [];
            this.para = null;
            this.space = 0; // collapsed vertical margin waiting for the next paragraph
        }
        open(ctx) {
            if (!this.para) {
                // every member from the start, so that all paragraphs share one shape
                const p = {kind: 'p', runs: [], indent: Math.round(ctx.ml), align: ctx.al, marginTop: undefined,
                    marginBottom: undefined, textIndent: undefined, background: undefined, pre: undefined,
                    heading: undefined, rule: undefined, listItem: undefined, dir: undefined, item: undefined,
                    lastSpace: true, brEnd: false, hadBr: undefined};
                if (this.space)
                    p.marginTop = Math.round(this.space);
                this.space = 0;
                if (ctx.ti)
                    p.textIndent = Math.round(ctx.ti);
                if (ctx.bbg)
                    p.background = ctx.bbg;
                if (ctx.pre)
                    p.pre = 1;
                if (ctx.h)
                    p.heading = ctx.h;
                if (ctx.rtl)
                    p.dir = 'rtl';
                if (ctx.li && !ctx.li.used && ctx.h && ctx.li.desc.marker === 'none' && !ctx.li.marker) {
                    // An item that shows no marker and starts with a heading: readers take a
                    // heading in a list for a numbered heading of an outline, so the item goes
                    // to its first paragraph of text, or back to the heading (settleItem).
                    if (!ctx.li.heading) {
                        ctx.li.heading = p;
                        ctx.li.headingIndent = Math.round(ctx.ml - ctx.lml);
                    }
                } else if (ctx.li && !ctx.li.used) {
                    ctx.li.used = true;
                    p.listItem = ctx.li.desc;
                    p.item = ctx.li;
                    p.indent = Math.round(ctx.ml - ctx.lml);
                    if (ctx.li.marker) {
                        const run = {text: ctx.li.marker, format: ctx.li.mf};
                        if (places.pending)
                            takePlaces(run);
                        p.runs.push(run);
                        p.lastSpace = /\s$/.test(ctx.li.marker);
                        this.para = p;
                        return p;
                    }
                }
                p.lastSpace = true;
                p.brEnd = false;
                this.para = p;
            }
            return this.para;
        }
        text(s, fmt, href) {
            const p = this.para;
            const last = p.runs[p.runs.length - 1];
            if (last && last.text !== undefined && last.format === fmt && last.href === href &&
                !places.pending)
                last.text += s;
            else {
                const run = {text: s, format: fmt};
                if (href)
                    run.href = href;
                if (places.pending)
                    takePlaces(run);
                p.runs.push(run);
            }
        }
        close() {
            const p = this.para;
            if (!p)
                return;
            this.para = null;
            // a trailing collapsible space and one trailing <br> show nothing
            let last = p.runs[p.runs.length - 1];
            if (last && last.text !== undefined && !p.pre) {
                last.text = last.text.replace(/ +$/, '');
                if (!last.text)
                    dropLastRun(p);
            }
            last = p.runs[p.runs.length - 1];
            if (last && last.text !== undefined && last.text.endsWith('\u2028') &&
                (p.runs.length > 1 || last.text.length > 1)) {
                last.text = last.text.slice(0, -1);
                if (!last.text)
                    dropLastRun(p);
            } else if (last && last.text === '\u2028') {
                dropLastRun(p); // a paragraph holding only a <br>: an empty line
            }
            const keep = p.runs.length > 0 || p.hadBr || p.rule;
            // left undefined rather than deleted, which keeps the object's shape; JSON omits them
            p.lastSpace = undefined;
            p.brEnd = undefined;
            p.hadBr = undefined;
            const item = p.item;
            p.item = undefined;
            // what the reader assumes needs no room in the result
            p.kind = undefined;
            if (!p.indent)
                p.indent = undefined;
            if (p.align === 'left')
                p.align = undefined;
            if (!keep) {
                if (item) // the item's marker goes to its first paragraph that shows something
                    item.used = false;
                // nothing shown: its margins still separate what comes before from what follows
                this.space = Math.max(this.space, p.marginTop || 0);
                return;
            }
            this.blocks.push(p);
        }
        // An item none of whose paragraphs took it so far, before a list inside it begins or
        // when it ends: it goes to the heading it began with, unless that has been handed over.
        settleItem(li) {
            li.used = true;
            const p = li.heading;
            li.heading = undefined;
            if (!p || (p !== this.para && this.blocks.indexOf(p) < 0))
                return;
            p.listItem = li.desc;
            p.indent = li.headingIndent || undefined;
        }
        margin(v) {
            if (this.para)
                this.close();
            if (v > this.space)
                this.space = v;
        }
        finish() {
            this.close();
            if (this.space && this.blocks.length) {
                const last = this.blocks[this.blocks.length - 1];
                if (last.kind !== 'table')
                    last.marginBottom = Math.round(this.space);
            }
            return this.blocks;
        }
    }

    function inRange(node) {
        const range = w.range;
        if (!range)
            return true;
        try {
            return range.intersectsNode(node);
        } catch (e) {
            return false;
        }
    }

    // es: the style of el, the element holding the text
    function addText(b, ctx, el, str, es) {
        if (!str)
            return;
        // Spaces between blocks, or after a space already shown, collapse to nothing. The
        // white-space mode alone decides that, before the text's other properties are read.
        if ((!b.para || b.para.lastSpace) && COLLAPSIBLE.test(str)) {
            const ws = es.whiteSpace;
            if (ws === 'normal' || ws === 'nowrap')
                return;
        }
        addStyledText(b, ctx, textPropsOf(el, es), str);
    }
    // text of the character properties tp, its white space treated as their mode asks
    function addStyledText(b, ctx, tp, str) {
        if (tp.vis !== 'visible' || tp.size === 0)
            return;
        const ws = tp.ws;
        // Most text needs none of the replacements below; testing is cheaper than replacing.
        let t = str.indexOf('\r') < 0 ? str : str.replace(/\r\n?/g, '\n');
        const pre = PRE_MODES.has(ws);
        if (pre) {
            t = t.replace(/\n/g, '\u2028');
        } else if (ws === 'pre-line') {
            t = t.replace(/[ \t]*\n[ \t]*/g, '\n').replace(/[ \t]+/g, ' ').replace(/\n/g, '\u2028');
        } else if (NEEDS_COLLAPSE.test(t)) {
            t = t.replace(/[ \t\n\f]+/g, ' ');
        }
        const p = b.para;
        if (!pre) {
            if ((!p || p.lastSpace) && t.charCodeAt(0) === 32)
                t = t.slice(1);
            if (t.indexOf('\u2028 ') >= 0)
                t = t.replace(/\u2028 /g, '\u2028');
        }
        if (!t)
            return;
        const para = b.open(ctx);
        b.text(t, formatFor(tp, ctx), ctx.href);
        const end = t.charCodeAt(t.length - 1);
        para.lastSpace = end === 32 || end === 0x2028;
    }

    function addBreak(b, ctx, el) {
        const p = b.open(ctx);
        b.text('\u2028', formatOf(el, ctx), ctx.href);
        p.lastSpace = true;
        p.hadBr = true;
    }

    function addInlineObject(b, ctx, el, obj) {
        const p = b.open(ctx);
        const run = {image: obj, format: formatOf(el, ctx)};
        if (ctx.href)
            run.href = ctx.href;
        if (places.pending)
            takePlaces(run);
        p.runs.push(run);
        p.lastSpace = false;
    }

    Object.assign(w, {PRE_MODES, Builder, inRange, addText, addStyledText, addBreak, addInlineObject});
}
