        // ---- blocks and runs: paragraphs, and the text, breaks and objects in them -------------
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
                    const p = {k: 'p', r: [], ml: Math.round(ctx.ml), al: ctx.al, mt: undefined, mb: undefined,
                        ti: undefined, bg: undefined, pre: undefined, h: undefined, hr: undefined,
                        li: undefined, item: undefined, lastSpace: true, brEnd: false, hadBr: undefined};
                    if (this.space)
                        p.mt = Math.round(this.space);
                    this.space = 0;
                    if (ctx.ti)
                        p.ti = Math.round(ctx.ti);
                    if (ctx.bbg)
                        p.bg = ctx.bbg;
                    if (ctx.pre)
                        p.pre = 1;
                    if (ctx.h)
                        p.h = ctx.h;
                    if (ctx.li && !ctx.li.used) {
                        ctx.li.used = true;
                        p.li = ctx.li.desc;
                        p.item = ctx.li;
                        p.ml = Math.round(ctx.ml - ctx.lml);
                        if (ctx.li.marker) {
                            p.r.push({s: ctx.li.marker, f: ctx.li.mf});
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
                const last = p.r[p.r.length - 1];
                if (last && last.s !== undefined && last.f === fmt && last.a === href)
                    last.s += s;
                else {
                    const run = {s: s, f: fmt};
                    if (href)
                        run.a = href;
                    p.r.push(run);
                }
            }
            close() {
                const p = this.para;
                if (!p)
                    return;
                this.para = null;
                // a trailing collapsible space and one trailing <br> show nothing
                let last = p.r[p.r.length - 1];
                if (last && last.s !== undefined && !p.pre) {
                    last.s = last.s.replace(/ +$/, '');
                    if (!last.s)
                        p.r.pop();
                }
                last = p.r[p.r.length - 1];
                if (last && last.s !== undefined && last.s.endsWith('\u2028') && (p.r.length > 1 || last.s.length > 1)) {
                    last.s = last.s.slice(0, -1);
                    if (!last.s)
                        p.r.pop();
                } else if (last && last.s === '\u2028') {
                    p.r.pop(); // a paragraph holding only a <br>: an empty line
                }
                const keep = p.r.length > 0 || p.hadBr || p.hr;
                // left undefined rather than deleted, which keeps the object's shape; JSON omits them
                p.lastSpace = undefined;
                p.brEnd = undefined;
                p.hadBr = undefined;
                const item = p.item;
                p.item = undefined;
                // what the reader assumes needs no room in the result
                p.k = undefined;
                if (!p.ml)
                    p.ml = undefined;
                if (p.al === 'l')
                    p.al = undefined;
                if (!keep) {
                    if (item) // the item's marker goes to its first paragraph that shows something
                        item.used = false;
                    // nothing shown: its margins still separate what comes before from what follows
                    this.space = Math.max(this.space, p.mt || 0);
                    return;
                }
                this.blocks.push(p);
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
                    if (last.k !== 't')
                        last.mb = Math.round(this.space);
                }
                return this.blocks;
            }
        }

        let range = null; // the range being walked

        function inRange(node) {
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
            const run = {img: obj, f: formatOf(el, ctx)};
            if (ctx.href)
                run.a = ctx.href;
            p.r.push(run);
            p.lastSpace = false;
        }
