// The walk: the selected nodes in document order, rows of items laid out side by side, and
// the documents of frames.
//
// One unit of the page capture's script (see parts.js): captureWalk(w) adds to the walk w
// walkRanges, which walks the selection's ranges into a flow, and walk and walkChildren, which
// the tables unit walks cells with. The walk is a generator: it stops for the program once the
// time set by setDeadline has passed. It tells the places unit where it is. It uses every other
// unit, and sets w.range (the range being walked) and w.frameDepth (how deep in frames the walk
// is).
function captureWalk(w) {
    'use strict';
    const {cs, px, colour, invisible, isBlock, indentOf, alignOf, linkTarget, mayGenerate, textPropsOf,
        formatOf, PRE_MODES, addText, addStyledText, addBreak, addInlineObject, controlText, contentSize,
        imageOf, svgWithStyles, addGenerated, listItemOf, table, findPlaces, reachPlace, reachElement,
        skipPlaces, endPlaces, placesAtEnd} = w;
    const places = w.places;
    const body = w.body;
    const NEVER_SHOWN = new Set(['HEAD', 'SCRIPT', 'STYLE', 'TEMPLATE', 'NOSCRIPT', 'TITLE', 'META',
        'LINK', 'BASE', 'OBJECT', 'EMBED', 'AUDIO', 'VIDEO', 'MAP', 'DATALIST', 'OPTION',
        'OPTGROUP', 'PARAM', 'SOURCE', 'TRACK']);
    const LIST_TAGS = new Set(['UL', 'OL', 'MENU', 'DIR']);
    const REPLACED = new Set(['IMG', 'INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'CANVAS', 'svg', 'IFRAME',
        'FRAME', 'OBJECT', 'EMBED', 'VIDEO', 'AUDIO', 'METER', 'PROGRESS']);

    // The walk stops for the program when the clock says its time is up; the clock is read
    // every few nodes only.
    const CLOCK_CHECK_NODES = 128;
    let untilClockCheck = CLOCK_CHECK_NODES;
    let deadline = Infinity;
    function* pause() {
        untilClockCheck = CLOCK_CHECK_NODES;
        if (performance.now() > deadline)
            yield;
    }
    function setDeadline(time) {
        deadline = time;
    }

    // Walks the ranges into the flow root: each from the element that holds it, in the context
    // its ancestors give it.
    function* walkRanges(root, ranges) {
        const base = {ml: 0, lml: 0, al: 'left', bg: null, bbg: null, u: false, st: false, va: null,
            href: null, pre: false, h: 0, li: null, ti: 0, rowOf: null, rtl: false, linkBox: null};
        // a page written right to left: its paragraphs start at the right, as the body's do
        const bodyStyle = cs(body);
        if (bodyStyle.direction === 'rtl') {
            base.rtl = true;
            base.al = alignOf(bodyStyle);
        }
        if (ranges.length)
            findPlaces(document);
        for (const r of ranges) {
            w.range = r;
            let top = r.commonAncestorContainer;
            if (top.nodeType !== Node.ELEMENT_NODE)
                top = top.parentElement || body;
            if (top === document.documentElement || top.contains(body))
                top = body;
            // the context the selected nodes inherit from their ancestors
            const ctx = Object.assign({}, base);
            const chain = [];
            for (let a = top; a && a !== body && a !== document.documentElement; a = a.parentElement)
                chain.unshift(a);
            for (const a of chain) {
                const s = cs(a);
                const deco = s.textDecorationLine || '';
                if (deco.includes('underline'))
                    ctx.u = true;
                if (deco.includes('line-through'))
                    ctx.st = true;
                if (s.verticalAlign === 'super' || s.verticalAlign === 'sub')
                    ctx.va = s.verticalAlign;
                if (a.tagName === 'A' && a.href)
                    ctx.href = linkTarget(a);
                if (a !== top && isBlock(s.display)) {
                    ctx.ml += indentOf(s);
                    ctx.al = alignOf(s);
                    ctx.pre = PRE_MODES.has(s.whiteSpace);
                    ctx.rtl = s.direction === 'rtl';
                }
            }
            if (top.tagName === 'TR' || top.tagName === 'TBODY' || top.tagName === 'THEAD' ||
                top.tagName === 'TFOOT') {
                let t = top;
                while (t && t.tagName !== 'TABLE')
                    t = t.parentElement;
                if (t)
                    top = t;
            }
            if (top === body) {
                // a selection of the whole body begins where the page's root and body do
                reachElement(document.documentElement);
                reachElement(body);
                yield* walkChildren(root, ctx, body, true);
            } else {
                yield* walk(root, ctx, top, true);
            }
            if (places.holders)
                endPlaces();
            root.close();
        }
        w.range = null;
        placesAtEnd(root.blocks);
        root.finish();
        // The selection's HTML and text are asked for by a second script while the program
        // builds the rich text; it gets the ranges walked here, so that all three renderings are
        // of one selection.
        globalThis.folvaneCapturedRanges = ranges.map((r) => r.cloneRange());
    }

    // el and what it holds are left out: so are its places, and they begin at what follows
    function leftOut(el, place) {
        if (place !== undefined)
            skipPlaces(el);
    }

    function childToward(el, node) {
        while (node && node.parentNode !== el)
            node = node.parentNode;
        return node;
    }

    // partial: el holds an end of the range, so only some of its children are selected. Those are
    // found from the range's ends rather than by testing each child, which costs a walk over the
    // siblings every time and made large flat pages quadratic.
    function* walkChildren(b, ctx, el, partial) {
        const es = cs(el);
        const range = w.range;
        if (!partial || !range) {
            for (let n = el.firstChild; n; n = n.nextSibling) {
                if (--untilClockCheck === 0)
                    yield* pause();
                yield* walk(b, ctx, n, false, el, es);
            }
            return;
        }
        let first = el.firstChild;
        let last = el.lastChild;
        let firstPartial = false;
        let lastPartial = false;
        if (range.startContainer === el) {
            first = el.childNodes[range.startOffset] || null;
        } else if (el.contains(range.startContainer)) {
            first = childToward(el, range.startContainer);
            firstPartial = true;
        }
        if (range.endContainer === el) {
            last = range.endOffset > 0 ? el.childNodes[range.endOffset - 1] : null;
        } else if (el.contains(range.endContainer)) {
            last = childToward(el, range.endContainer);
            lastPartial = true;
        }
        if (!first || !last)
            return;
        for (let n = first; n; n = n.nextSibling) {
            if (--untilClockCheck === 0)
                yield* pause();
            yield* walk(b, ctx, n, (n === first && firstPartial) || (n === last && lastPartial), el, es);
            if (n === last)
                break;
        }
    }

    // parent: node's parent element, and ps its style, when the caller knows them, which spares
    // calls into the page
    function* walk(b, ctx, node, partial, parent, ps) {
        const type = node.nodeType;
        if (type === Node.TEXT_NODE || type === Node.CDATA_SECTION_NODE) {
            let str = node.data;
            const range = w.range;
            if (range && partial) {
                let start = 0;
                let end = str.length;
                if (node === range.endContainer)
                    end = range.endOffset;
                if (node === range.startContainer)
                    start = range.startOffset;
                str = str.slice(start, end);
            }
            const up = parent || node.parentElement;
            if (!up)
                return;
            const us = ps || cs(up);
            if (!us.closedDetails)
                addText(b, ctx, up, str, us);
            return;
        }
        if (type !== Node.ELEMENT_NODE)
            return;
        const el = node;
        const tag = el.tagName;
        // the element is a place, or holds one (undefined for most: nothing more to do)
        const place = places.holders === null ? undefined : places.holders.get(el);
        if (NEVER_SHOWN.has(tag)) {
            leftOut(el, place);
            return;
        }
        // a closed <details> shows its first summary only
        const up = parent || el.parentElement;
        const us = up ? ps || cs(up) : null;
        if (us && us.closedDetails && !(tag === 'SUMMARY' && up.querySelector(':scope > summary') === el)) {
            leftOut(el, place);
            return;
        }
        const s = cs(el, up, us, tag);
        const display = s.display;
        if (display === 'none') {
            leftOut(el, place);
            return;
        }
        // An inline box that replaces nothing neither clips its content nor is positioned out of
        // the flow (absolute positioning makes it a block), so only the slot test applies.
        if (display === 'inline' && !REPLACED.has(tag)) {
            if (us && us.isHost && !el.assignedSlot) {
                leftOut(el, place);
                return;
            }
        } else if (invisible(el, s, us)) {
            leftOut(el, place);
            return;
        }
        if (place >= 0)
            reachPlace(place);
        let block = isBlock(display);
        // an item of a row: laid out beside the one before it, it goes on in the same paragraph
        const inRow = block && ctx.rowOf !== null && ctx.rowOf === up;
        if (inRow)
            block = false;

        // inline context handed to the children
        const c = Object.assign({}, ctx);
        const deco = s.textDecorationLine;
        if (deco !== 'none') {
            if (deco.includes('underline'))
                c.u = true;
            if (deco.includes('line-through'))
                c.st = true;
        }
        if (block) {
            c.va = null;
        } else {
            const va = s.verticalAlign;
            if (va === 'super' || va === 'sub')
                c.va = va;
        }
        if (tag === 'A' && el.href) {
            c.href = linkTarget(el);
            c.linkBox = !block && c.href ? el : null;
        }

        if (tag === 'BR') {
            if (s.visibility === 'visible')
                addBreak(b, ctx, el);
            return;
        }
        if (tag === 'IMG') {
            if (s.visibility === 'visible')
                addInlineObject(b, c, el, imageOf(el, s));
            return;
        }
        // an <svg> is named svg, or prefix:svg in a document of its own namespaces; instanceof
        // is asked only then, as each question to the page costs
        if (tag === 'svg' || (tag.endsWith(':svg') && el instanceof SVGSVGElement)) {
            if (s.visibility === 'visible') {
                const [width, height] = contentSize(el, s);
                let svg = new XMLSerializer().serializeToString(svgWithStyles(el));
                if (!/^<svg[^>]*\sxmlns=/.test(svg))
                    svg = svg.replace(/^<svg/, '<svg xmlns="http://www.w3.org/2000/svg"');
                const alt = (el.getAttribute('aria-label') ||
                             (el.querySelector('title') ? el.querySelector('title').textContent : '') || '');
                addInlineObject(b, c, el, {svg: svg, width: width, height: height, alt: alt});
            }
            return;
        }
        if (tag === 'CANVAS') {
            if (s.visibility === 'visible') {
                const [width, height] = contentSize(el, s);
                try {
                    addInlineObject(b, c, el, {src: el.toDataURL('image/png'), width: width, height: height,
                        alt: ''});
                } catch (e) {
                }
            }
            return;
        }
        if (tag === 'INPUT' || tag === 'SELECT' || tag === 'TEXTAREA') {
            if (s.visibility !== 'visible')
                return;
            const t = controlText(el);
            if (!t)
                return;
            const p = b.open(ctx);
            let shown = tag === 'TEXTAREA' ? t.replace(/\r\n?|\n/g, '\u2028') : t.replace(/[\r\n]+/g, ' ');
            b.text(shown, formatOf(el, c), ctx.href);
            p.lastSpace = false;
            return;
        }
        if (tag === 'IFRAME' || tag === 'FRAME') {
            if (s.visibility === 'visible')
                yield* frame(b, c, el);
            return;
        }
        if (tag === 'TABLE') {
            yield* table(b, c, el, s, partial);
            return;
        }
        if (tag === 'HR') {
            b.close();
            const p = b.open(c);
            p.rule = 1;
            b.close();
            b.margin(px(s.marginBottom));
            return;
        }

        const pseudo = mayGenerate(el, tag);
        if (!block || el === body || el === document.documentElement) {
            const bg = colour(s.backgroundColor);
            if (bg && el !== body && el !== document.documentElement)
                c.bg = bg;
            if (inRow) {
                // the items of a row stand apart on the screen; a space keeps their words apart
                const p = b.para;
                if (p && !p.lastSpace && p.runs.length)
                    addStyledText(b, c, textPropsOf(up, us), ' ');
                c.rowOf = null;
            } else if (display === 'inline-flex' || display === 'inline-grid') {
                c.rowOf = rowOf(el, s, tag);
            }
            if (pseudo && (!partial || !el.contains(w.range.startContainer)))
                addGenerated(b, c, el, s, '::before');
            if (c.rowOf)
                yield* walkRow(b, c, el, s, partial);
            else
                yield* walkChildren(b, c, el, partial);
            if (pseudo && (!partial || !el.contains(w.range.endContainer)))
                addGenerated(b, c, el, s, '::after');
            return;
        }

        // A block inside a link that stands in a line of text: the browser lays out one link
        // whose lines the block breaks, and so it stays one link, its block a line of its own.
        if (ctx.linkBox && display === 'block' && !/^H[1-6]$/.test(tag) && !LIST_TAGS.has(tag)) {
            lineInLink(b, ctx, el);
            if (pseudo && (!partial || !el.contains(w.range.startContainer)))
                addGenerated(b, c, el, s, '::before');
            yield* walkChildren(b, c, el, partial);
            if (pseudo && (!partial || !el.contains(w.range.endContainer)))
                addGenerated(b, c, el, s, '::after');
            lineInLink(b, ctx, el);
            return;
        }

        // a block box: a paragraph boundary on each side, with its margins around it
        b.margin(px(s.marginTop));
        c.bg = null;
        const bg = colour(s.backgroundColor);
        if (bg)
            c.bbg = bg;
        c.ml = ctx.ml + indentOf(s);
        c.al = alignOf(s);
        c.ti = px(s.textIndent);
        c.pre = PRE_MODES.has(s.whiteSpace);
        c.h = /^H[1-6]$/.test(tag) ? +tag[1] : 0;
        c.rtl = s.direction === 'rtl';
        c.linkBox = null;
        // the first paragraph inside a list item carries the item's marker
        c.li = ctx.li && !ctx.li.used ? ctx.li : null;
        const isList = LIST_TAGS.has(tag);
        if (isList) {
            c.lml = (ctx.lml || 0) + px(s.paddingLeft);
        }
        const isItem = display === 'list-item' && tag !== 'SUMMARY';
        if (isItem) {
            // an item inside an item that has not been placed yet: the outer one goes to its
            // heading, before the inner one begins
            if (ctx.li && !ctx.li.used)
                b.settleItem(ctx.li);
            c.li = listItemOf(el, s, c);
        }
        if (tag === 'TD' || tag === 'TH')
            c.lml = 0;
        c.rowOf = rowOf(el, s, tag);
        b.close();
        if (pseudo && (!partial || !el.contains(w.range.startContainer)))
            addGenerated(b, c, el, s, '::before');
        if (c.rowOf)
            yield* walkRow(b, c, el, s, partial);
        else
            yield* walkChildren(b, c, el, partial);
        if (pseudo && (!partial || !el.contains(w.range.endContainer)))
            addGenerated(b, c, el, s, '::after');
        b.close();
        if (isItem && !c.li.used)
            b.settleItem(c.li);
        b.margin(px(s.marginBottom));
    }

    // a line break in the link's paragraph, where it has something on its last line
    function lineInLink(b, ctx, el) {
        const p = b.para;
        if (!p || !p.runs.length)
            return;
        const last = p.runs[p.runs.length - 1];
        if (last.text !== undefined && last.text.endsWith('\u2028'))
            return;
        addBreak(b, ctx, el);
    }

    // ---- rows: items that the browser lays out side by side -----------------------------------
    // A list or a navigation bar whose items are floated or laid out in a flexible row, when its
    // first two items stand on one line: its items go into one paragraph. Items that the browser
    // still lays out as list items (display: list-item, as floats and flexible rows keep it) are
    // list items all the same, each a paragraph of its own, as a copy of the page hands them on.
    // Returns el, or null.
    const ROW_TAGS = new Set(['UL', 'OL', 'MENU', 'DIR', 'NAV']);
    function rowOf(el, s, tag) {
        const first = el.firstElementChild;
        if (!first || !ROW_TAGS.has(tag))
            return null;
        const display = s.display;
        const flexRow = (display === 'flex' || display === 'inline-flex') && s.flexDirection.startsWith('row');
        const fs = cs(first, el, s);
        if (fs.display === 'list-item')
            return null;
        if (!flexRow && fs.float === 'none')
            return null;
        let second = first.nextElementSibling;
        while (second && cs(second, el, s).display === 'none')
            second = second.nextElementSibling;
        if (!second)
            return null;
        const a = first.getBoundingClientRect();
        const z = second.getBoundingClientRect();
        const oneLine = z.top < a.bottom - 1 && a.top < z.bottom - 1;
        return oneLine ? el : null;
    }
    // A row laid out from right to left (flex-direction: row-reverse) is read as it stands; others
    // in document order, as floats to the right are meant to be read.
    function* walkRow(b, ctx, el, s, partial) {
        if (partial || s.flexDirection !== 'row-reverse' || s.direction === 'rtl') {
            yield* walkChildren(b, ctx, el, partial);
            return;
        }
        for (let n = el.lastChild; n; n = n.previousSibling) {
            if (--untilClockCheck === 0)
                yield* pause();
            yield* walk(b, ctx, n, false, el, s);
        }
    }

    // ---- frames: the document an <iframe> or <frame> shows, where this page may read it -------
    // A frame whose links open in the page that holds it (its <base target>) is that page's
    // table of contents, a list of the site beside the text: a browser's copy of the page leaves
    // it out, and so does the walk.
    function opensInParent(doc) {
        const base = doc.querySelector('base[target]');
        const target = base ? base.getAttribute('target').trim().toLowerCase() : '';
        return target === '_parent' || target === '_top';
    }
    function* frame(b, ctx, el) {
        let doc = null;
        try {
            doc = el.contentDocument;
        } catch (e) {
        }
        b.close();
        if (doc && opensInParent(doc))
            return;
        if (doc && doc.body && w.frameDepth < 8) {
            const sub = Object.assign({}, ctx, {li: null, h: 0, rowOf: null, href: null, linkBox: null});
            const outer = w.range;
            w.range = null; // the frame's document is shown whole
            ++w.frameDepth;
            try {
                yield* walk(b, sub, doc.body, false, null, null);
            } finally {
                --w.frameDepth;
                w.range = outer;
            }
            b.close();
            return;
        }
        // out of reach: a link to its address
        const address = el.src || el.getAttribute('src') || '';
        if (!address || /^(?:about|javascript):/i.test(address))
            return;
        b.open(ctx);
        b.text(address, formatOf(el, ctx), address);
        b.para.lastSpace = false;
        b.close();
    }

    Object.assign(w, {walkRanges, walk, walkChildren, setDeadline});
}
