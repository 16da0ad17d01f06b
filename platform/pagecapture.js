// Runs in an isolated world of the page: walks the selected nodes with their computed styles and
// returns what the browser shows of them in reading order.
//
// The walk hands its description over in parts, so that the program can build the document from
// one part while the page walks the next. This script starts the walk and returns the first part;
// each later one comes from calling globalThis.folvaneCaptureStep() in the same world. A part is
// the JSON of {blocks, fmts, url, last, restart}: the blocks completed since the part before, the
// formats added since then (fmts of all parts together are what the runs' f index into), last on
// the final part, and restart when the page changed its content between two parts, in which case
// the whole selection was walked again, at once, and this part replaces all earlier ones. On an
// error the part is {error}. After the last part the ranges walked are left in this world's
// globalThis.folvaneCapturedRanges for folvaneCaptureMarkup() of pagecapture_markup.js; when
// the first part is the last, the answer is [part, what folvaneCaptureMarkup() gave].
// The description is {blocks, fmts, url}:
//   blocks: list of paragraphs and {k:'t', ...table}; lengths in CSS px; members left out are 0,
//           false or, for al, 'l'
//   paragraph: {r: runs, mt, mb, ml, ti, al: l|c|r|j, bg, pre, h (heading level), hr,
//               li: {id, st (marker), n (first number, on a list's first item), lvl}}
//   run: {s: text (U+2028 for line breaks), f: index into fmts, a: href}
//        or {img: {src, w, h, alt} or {svg, w, h, alt}, f, a}
//   fmts: {ff: [families], fs: size, fw, it, c, bg, u, s, va: super|sub, cap: upper|lower|cap|small}
//   table: {rows, cols, w: [column widths], tw, bd, bc, pad, sp, ml, hdr,
//           cells: [{r, c, rs, cs, bg, th, b: blocks}]}
(function () {
    'use strict';
    // A new walk of the current selection; its step(ms) walks on for about ms milliseconds, or
    // until at least one block is complete, and returns the part walked.
    function newCapture() {
        globalThis.folvaneCapturedRanges = undefined;
        // FOLVANE_CAPTURE_PROFILE: the program defines folvaneCaptureProfile and gets the time of
        // each stage back under "prof".
        const profiling = typeof folvaneCaptureProfile !== 'undefined';
        const prof = {};
        let profStart = performance.now();
        function lap(name) {
            if (profiling) {
                const now = performance.now();
                prof[name] = (prof[name] || 0) + now - profStart;
                profStart = now;
            }
        }
        const LAYOUT_OFFSET = 120; // px
        const COLLAPSIBLE = /^[ \t\n\r\f]*$/;
        const NEEDS_COLLAPSE = /[\t\n\f]| {2}/;
        const PRE_MODES = new Set(['pre', 'pre-wrap', 'break-spaces']);
        const NEVER_SHOWN = new Set(['HEAD', 'SCRIPT', 'STYLE', 'TEMPLATE', 'NOSCRIPT', 'TITLE', 'META',
            'LINK', 'BASE', 'IFRAME', 'OBJECT', 'EMBED', 'AUDIO', 'VIDEO', 'MAP', 'DATALIST', 'OPTION',
            'OPTGROUP', 'PARAM', 'SOURCE', 'TRACK']);
        const REPLACED = new Set(['IMG', 'INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'CANVAS', 'svg', 'IFRAME',
            'OBJECT', 'EMBED', 'VIDEO', 'AUDIO', 'METER', 'PROGRESS']);
        const INLINE_DISPLAYS = new Set(['inline', 'inline-block', 'inline-flex', 'inline-grid',
            'ruby', 'ruby-text', 'contents']);

        const sel = window.getSelection();
        const ranges = [];
        if (sel && !sel.isCollapsed) {
            for (let i = 0; i < sel.rangeCount; ++i)
                ranges.push(sel.getRangeAt(i));
        }

        const fmts = [];
        const fmtIndex = new Map();
        const listIds = new WeakMap();
        const listStarted = new Set();
        let nextListId = 1;
        const body = document.body || document.documentElement;

        // ---- computed styles, shared between elements styled alike ------------------------------
        // Reading a computed style property costs about half a microsecond, and the walk needs some
        // twenty per element. Siblings and cousins of the same tag, attributes and parent style get
        // the same computed style as long as no rule depends on an element's place among its
        // siblings or on a state of its own; the values read for one of them serve the others.
        // Margins and padding that are not zero may be resolved from the layout (auto, percentages)
        // and are read for each element.
        const STYLE_PROPS = ['display', 'visibility', 'overflow', 'position', 'clip', 'clipPath',
            'whiteSpace', 'verticalAlign', 'textDecorationLine', 'textTransform', 'textAlign',
            'textIndent', 'direction', 'listStyleType', 'backgroundColor', 'color', 'font', 'fontFamily',
            'fontSize', 'fontWeight', 'fontStyle', 'fontVariantCaps', 'maxWidth', 'borderLeftWidth',
            'borderRightWidth', 'borderTopWidth', 'borderBottomWidth', 'borderLeftColor', 'borderCollapse',
            'borderSpacing'];
        const LAYOUT_PROPS = ['marginLeft', 'marginRight', 'marginTop', 'marginBottom', 'paddingLeft',
            'paddingRight', 'paddingTop', 'paddingBottom'];
        // Elements whose style follows their own state or their place among siblings.
        const UNSHARED_TAGS = new Set(['INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'OPTION', 'OPTGROUP',
            'DETAILS', 'SUMMARY', 'DIALOG', 'FIELDSET', 'LEGEND', 'OUTPUT', 'PROGRESS', 'METER', 'VIDEO',
            'AUDIO', 'IFRAME', 'OBJECT', 'EMBED']);
        // Elements in a state of their own (under the mouse, focused, the page's target) keep
        // their style to themselves.
        let ownState = null;
        try {
            ownState = new Set(document.querySelectorAll(':hover, :active, :focus, :focus-within, :target'));
        } catch (e) {
        }
        const PLACE_PSEUDO = /(?<!:):(?:first-|last-|only-|nth-|empty|has\(|dir\()/;
        // [name], [ns|name], [name=...]: the attribute names the page's selectors ask about
        const ATTRIBUTE_SELECTOR = /\[\s*(?:[\w-]*\|)?([\w-]+)/g;
        // Attributes whose value no style of the browser's own depends on (only, for some, whether
        // they are there: a link's href, an abbreviation's title). Unless the page's selectors
        // ask about them, elements that differ only in their values share their style; links
        // would otherwise each have one of their own.
        const VALUE_FREE = new Set(['href', 'title', 'alt', 'target', 'rel', 'name', 'tabindex', 'role',
            'download', 'hreflang', 'ping', 'referrerpolicy']);
        const VALUE_FREE_PREFIX = /^(?:data-|aria-|on)/;
        // Elements of these tags (lower case), classes or ids are reached by rules about an element's
        // place among its siblings; null when such a rule may reach any element, and nothing is shared.
        // With them, the attributes the page's selectors name.
        const placeTags = ownState === null ? null : tagsReachedByPlace();
        const sharing = placeTags !== null;

        function tagsReachedByPlace() {
            if (document.getAnimations && document.getAnimations().length)
                return null; // values that change with time
            const tags = {names: new Set(), classes: new Set(), ids: new Set(), attributes: new Set()};
            try {
                for (const sheet of document.styleSheets) {
                    if (!scanRules(sheet.cssRules, tags, 0))
                        return null;
                }
                for (const sheet of document.adoptedStyleSheets || []) {
                    if (!scanRules(sheet.cssRules, tags, 0))
                        return null;
                }
            } catch (e) {
                return null; // a style sheet from elsewhere that the page may not read
            }
            return tags;
        }
        function scanRules(rules, tags, depth) {
            if (depth > 20)
                return false;
            for (const rule of rules) {
                if (rule.selectorText !== undefined) {
                    if (!placeTagsOf(rule.selectorText, tags))
                        return false;
                    for (const m of rule.selectorText.matchAll(ATTRIBUTE_SELECTOR))
                        tags.attributes.add(m[1].toLowerCase());
                }
                if (rule.cssRules && !scanRules(rule.cssRules, tags, depth + 1))
                    return false;
                if (rule.styleSheet && !scanRules(rule.styleSheet.cssRules, tags, depth + 1))
                    return false;
            }
            return true;
        }
        // Adds to tags the type, or else the first class or the id, of each compound of the selector
        // list that depends on a place among siblings: one with a structural pseudo-class, or one
        // right of a + or ~ combinator. False when such a compound names none of them, or the place
        // is asked about inside :is() and the like.
        function placeTagsOf(text, tags) {
            if (!PLACE_PSEUDO.test(text) && !/[+~]/.test(text))
                return true;
            // :not(:checked) and the like stay within their compound; a selector inside one does not
            const FUNCTIONAL = /:(is|where|not|matches|-webkit-any|has|host|host-context|slotted|-internal-[\w-]*)\(([^()]*)(\)?)/g;
            for (let m; (m = FUNCTIONAL.exec(text));) {
                if (!/^(?:is|where|not|matches|-webkit-any)$/.test(m[1]) || !m[3] || /[\s>+~,]/.test(m[2]))
                    return false;
            }
            // compounds at the top level, split at combinators outside brackets and quotes
            let depth = 0;
            let quote = '';
            let compound = '';
            let sibling = false; // the combinator before this compound was + or ~
            let combinator = '';
            const finish = () => {
                if (compound) {
                    if (sibling || PLACE_PSEUDO.test(compound)) {
                        let m = /^([a-zA-Z][\w-]*)(?![\w-]*\|)/.exec(compound);
                        if (m) {
                            tags.names.add(m[1].toLowerCase());
                        } else if ((m = /^([.#])([\w-]+)(?![\w-]*\\)/.exec(compound))) {
                            (m[1] === '.' ? tags.classes : tags.ids).add(m[2]);
                        } else {
                            return false;
                        }
                    }
                    compound = '';
                }
                return true;
            };
            for (const ch of text + ',') {
                if (quote) {
                    compound += ch;
                    if (ch === quote)
                        quote = '';
                    continue;
                }
                if (ch === '"' || ch === "'") {
                    quote = ch;
                    compound += ch;
                    continue;
                }
                if (ch === '(' || ch === '[') {
                    ++depth;
                } else if (ch === ')' || ch === ']') {
                    --depth;
                } else if (depth === 0 && (ch === ',' || ch === ' ' || ch === '>' || ch === '+' || ch === '~')) {
                    if (compound) {
                        if (!finish())
                            return false;
                        combinator = '';
                    }
                    if (ch === ',') {
                        sibling = false;
                        combinator = '';
                    } else {
                        combinator += ch;
                        sibling = combinator.includes('+') || combinator.includes('~');
                    }
                    continue;
                }
                compound += ch;
            }
            return depth === 0;
        }

        const lowerTags = new Map();
        function reachedByPlace(el, tag) {
            let name = lowerTags.get(tag);
            if (name === undefined) {
                name = tag.toLowerCase();
                lowerTags.set(tag, name);
            }
            if (placeTags.names.has(name))
                return true;
            if (placeTags.ids.size && el.id && placeTags.ids.has(el.id))
                return true;
            if (placeTags.classes.size && el.classList.length) {
                for (const c of el.classList) {
                    if (placeTags.classes.has(c))
                        return true;
                }
            }
            return false;
        }

        class StyleRecord {
            constructor(el, childrenShare) {
                this.el = el;
                this.decl = null;
                this.v = new Map();
                this.id = nextStyleId++;
                this.childrenShare = childrenShare;
                this.tp = null; // character properties, see textPropsOf
            }
            get(name) {
                let v = this.v.get(name);
                if (v === undefined) {
                    if (!this.decl)
                        this.decl = getComputedStyle(this.el);
                    v = this.decl[name];
                    this.v.set(name, v);
                }
                return v;
            }
        }
        // The style of one element: its record, and the layout-resolved values of its own.
        // Facts about the element itself are asked of the page once, when first needed: each
        // question to the page from this world costs about as much as a style read.
        class ElementStyle {
            constructor(el, rec, tag) {
                this.el = el;
                this.rec = rec;
                this.tag = tag;
                this.own = null;
                this.host = undefined;
            }
            // a shadow host, whose children show only through slots
            get isHost() {
                if (this.host === undefined)
                    this.host = !!this.el.shadowRoot;
                return this.host;
            }
            // a closed <details>, which shows its first summary only
            get closedDetails() {
                return this.tag === 'DETAILS' && !this.el.open;
            }
            layout(name) {
                const v = this.rec.get(name);
                if (v === '0px' || this.rec.el === this.el)
                    return v;
                if (!this.own)
                    this.own = getComputedStyle(this.el);
                return this.own[name];
            }
        }
        for (const name of STYLE_PROPS) {
            Object.defineProperty(ElementStyle.prototype, name, {
                get() {
                    return this.rec.get(name);
                }
            });
        }
        for (const name of LAYOUT_PROPS) {
            Object.defineProperty(ElementStyle.prototype, name, {
                get() {
                    return this.layout(name);
                }
            });
        }

        let nextStyleId = 1;
        const styleCache = new WeakMap();
        const recordsByKey = new Map();
        // knownParent, its style and knownTag spare calls into the page when the caller has them.
        function cs(el, knownParent, knownParentStyle, knownTag) {
            let s = styleCache.get(el);
            if (s)
                return s;
            const parent = knownParent || el.parentElement;
            let rec = null;
            const tag = knownTag || el.tagName;
            const shareable = sharing && !UNSHARED_TAGS.has(tag);
            if (shareable && parent && el !== body && !ownState.has(el) && !reachedByPlace(el, tag)) {
                const ps = knownParentStyle || cs(parent);
                if (ps.rec.childrenShare && !ps.isHost) {
                    let key = ps.rec.id + ' ' + tag;
                    // dir="auto" takes its direction from the element's own text
                    let ownDirection = false;
                    if (el.hasAttributes()) {
                        for (const a of el.attributes) {
                            const name = a.name;
                            const value = a.value;
                            if ((VALUE_FREE.has(name) || VALUE_FREE_PREFIX.test(name)) &&
                                !placeTags.attributes.has(name))
                                key += ' ' + name;
                            else
                                key += ' ' + name + '=' + value;
                            if (name === 'dir' && value.toLowerCase() === 'auto')
                                ownDirection = true;
                        }
                    }
                    if (!ownDirection) {
                        rec = recordsByKey.get(key);
                        if (!rec) {
                            rec = new StyleRecord(el, true);
                            recordsByKey.set(key, rec);
                        }
                    }
                }
            }
            if (!rec)
                rec = new StyleRecord(el, shareable);
            s = new ElementStyle(el, rec, tag);
            styleCache.set(el, s);
            return s;
        }
        function px(v) {
            const n = parseFloat(v);
            return isFinite(n) ? n : 0;
        }
        // Pages use a handful of colours over and over; each is parsed once.
        const colours = new Map();
        function colour(c) {
            let v = colours.get(c);
            if (v === undefined) {
                v = parseColour(c);
                colours.set(c, v);
            }
            return v;
        }
        function parseColour(c) {
            // "rgb(r, g, b)" or "rgba(r, g, b, a)"; fully transparent is no colour at all
            const m = /rgba?\(\s*([\d.]+)[,\s]+([\d.]+)[,\s]+([\d.]+)(?:[,\s/]+([\d.]+%?))?/.exec(c || '');
            if (!m)
                return null;
            let a = m[4] === undefined ? 1 : parseFloat(m[4]);
            if (m[4] && m[4].endsWith('%'))
                a /= 100;
            if (a === 0)
                return null;
            const h = (x) => ('0' + Math.round(+x).toString(16)).slice(-2);
            return '#' + h(m[1]) + h(m[2]) + h(m[3]);
        }
        function families(stack) {
            const out = [];
            for (const part of (stack || '').split(',')) {
                const f = part.trim().replace(/^["']|["']$/g, '');
                if (f)
                    out.push(f);
            }
            return out;
        }

        // The character properties of an element, read once: reading a computed style property costs
        // about as much as a layout query, and large pages have hundreds of thousands of elements.
        // Most elements share their font with many others, so the properties are keyed by the font
        // shorthand (one read) and the longhands are read only for a font not seen before. The
        // shorthand is empty for fonts it cannot express; those are read in full.
        const textPropsByKey = new Map();
        function textPropsOf(el, es) {
            const s = es || cs(el);
            let t = s.rec.tp;
            if (t)
                return t;
            const font = s.font;
            const key = font ? font + '|' + s.color + '|' + s.textTransform + '|' + s.visibility + '|' +
                    s.whiteSpace : '';
            t = key ? textPropsByKey.get(key) : undefined;
            if (!t) {
                t = readTextProps(s);
                if (key)
                    textPropsByKey.set(key, t);
            }
            s.rec.tp = t;
            return t;
        }
        function readTextProps(s) {
            const t = {vis: s.visibility, ws: s.whiteSpace, size: px(s.fontSize), key: '', base: null, fmts: null};
            const f = {ff: families(s.fontFamily), fs: Math.round(t.size * 4) / 4};
            const w = parseInt(s.fontWeight, 10) || 400;
            if (w !== 400)
                f.fw = w;
            const style = s.fontStyle;
            if (style === 'italic' || style.startsWith('oblique'))
                f.it = 1;
            const c = colour(s.color);
            if (c && c !== '#000000')
                f.c = c;
            const tt = s.textTransform;
            if (tt === 'uppercase')
                f.cap = 'upper';
            else if (tt === 'lowercase')
                f.cap = 'lower';
            else if (tt === 'capitalize')
                f.cap = 'cap';
            else if (s.fontVariantCaps === 'small-caps')
                f.cap = 'small';
            t.base = f;
            t.key = JSON.stringify(f);
            return t;
        }
        function formatOf(el, ctx) {
            return formatFor(textPropsOf(el), ctx);
        }
        function formatFor(t, ctx) {
            // looked up first among the formats of this font, by a key that is mostly empty
            const local = (ctx.bg || '') + (ctx.u ? 'u' : '') + (ctx.st ? 's' : '') + (ctx.va || '');
            if (!t.fmts)
                t.fmts = new Map();
            let i = t.fmts.get(local);
            if (i !== undefined)
                return i;
            const key = t.key + local;
            i = fmtIndex.get(key);
            if (i === undefined) {
                const f = Object.assign({}, t.base);
                if (ctx.bg)
                    f.bg = ctx.bg;
                if (ctx.u)
                    f.u = 1;
                if (ctx.st)
                    f.s = 1;
                if (ctx.va)
                    f.va = ctx.va;
                i = fmts.length;
                fmts.push(f);
                fmtIndex.set(key, i);
            }
            t.fmts.set(local, i);
            return i;
        }

        // Elements that take no room on the screen even though their display is not none.
        // ps: the style of el's parent, if it has one
        function invisible(el, s, ps) {
            if (el === body || el === document.documentElement)
                return false;
            // children of a shadow host that no slot shows
            if (ps && ps.isHost && !el.assignedSlot)
                return true;
            const overflow = s.overflow;
            const position = s.position;
            const positioned = position === 'absolute' || position === 'fixed';
            if (overflow === 'visible' && !positioned)
                return false;
            const r = el.getBoundingClientRect();
            if (overflow !== 'visible' && (r.width < 2 || r.height < 2))
                return true;
            if (positioned) {
                const clip = s.clip;
                if (clip && clip.startsWith('rect(')) {
                    const v = clip.slice(5, -1).split(/[,\s]+/).map(px);
                    if (v.length === 4 && (v[2] - v[0] < 2 || v[1] - v[3] < 2))
                        return true;
                }
                if (r.right + window.scrollX <= 0 || r.bottom + window.scrollY <= 0)
                    return true;
                const cp = s.clipPath;
                if (cp && /^inset\(\s*50%/.test(cp))
                    return true;
            }
            return false;
        }

        // What a block adds to the indent of its text. A very wide margin or padding makes room for a
        // sidebar or centres a column in the window; on paper it would only squeeze the text.
        function indentOf(s) {
            let m = px(s.marginLeft);
            if (m !== 0 && s.maxWidth !== 'none' && Math.abs(m - px(s.marginRight)) < 1)
                m = 0; // centred by auto margins

            const p = px(s.paddingLeft);
            return (m > LAYOUT_OFFSET ? 0 : m) + (p > LAYOUT_OFFSET ? 0 : p) + px(s.borderLeftWidth);
        }

        // Script pseudo-links lead nowhere outside the page.
        function linkTarget(a) {
            const href = a.href;
            return /^javascript:/i.test(href) ? null : href;
        }

        function isBlock(display) {
            return !INLINE_DISPLAYS.has(display) && !display.startsWith('inline');
        }

        function alignOf(s) {
            switch (s.textAlign) {
            case 'center':
            case '-webkit-center':
                return 'c';
            case 'right':
            case '-webkit-right':
                return 'r';
            case 'end':
                return s.direction === 'rtl' ? 'l' : 'r';
            case 'justify':
                return 'j';
            default:
                return s.direction === 'rtl' && s.textAlign === 'start' ? 'r' : 'l';
            }
        }

        const LIST_STYLES = {
            'disc': 'disc', 'circle': 'circle', 'square': 'square', 'decimal': 'decimal',
            'decimal-leading-zero': 'decimal', 'lower-alpha': 'lower-alpha', 'lower-latin': 'lower-alpha',
            'upper-alpha': 'upper-alpha', 'upper-latin': 'upper-alpha', 'lower-roman': 'lower-roman',
            'upper-roman': 'upper-roman'
        };

        // The number the browser shows on a list item.
        function itemNumber(li) {
            const list = li.parentElement;
            if (!list)
                return 1;
            let n = list.tagName === 'OL' && list.hasAttribute('start') ? list.start : 1;
            // siblings one by one: the children collection would be made for every list
            for (let sib = list.firstElementChild; sib; sib = sib.nextElementSibling) {
                if (sib.tagName === 'LI' && sib.hasAttribute('value'))
                    n = parseInt(sib.getAttribute('value'), 10) || n;
                if (sib === li)
                    return n;
                if (cs(sib).display === 'list-item')
                    ++n;
            }
            return n;
        }

        // ---- the walk -------------------------------------------------------------------------
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
            const tp = textPropsOf(el, es);
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

        function controlText(el) {
            const tag = el.tagName;
            if (tag === 'TEXTAREA')
                return el.value || el.placeholder || '';
            if (tag === 'SELECT') {
                const chosen = Array.from(el.selectedOptions || []).map((o) => o.label || o.text);
                return chosen.join(', ');
            }
            const type = (el.type || 'text').toLowerCase();
            switch (type) {
            case 'hidden':
            case 'range':
            case 'color':
                return '';
            case 'checkbox':
                return el.checked ? '\u2611' : '\u2610';
            case 'radio':
                return el.checked ? '\u25c9' : '\u25cb';
            case 'password':
                return el.value ? '\u2022'.repeat(el.value.length) : (el.placeholder || '');
            case 'submit':
                return el.value || 'Submit';
            case 'reset':
                return el.value || 'Reset';
            case 'button':
                return el.value;
            case 'image':
                return el.alt || '';
            case 'file':
                return el.files && el.files.length ? Array.from(el.files).map((f) => f.name).join(', ')
                                                   : 'No file chosen';
            default:
                return el.value || el.placeholder || '';
            }
        }

        function contentSize(el, s) {
            const r = el.getBoundingClientRect();
            const w = r.width - px(s.paddingLeft) - px(s.paddingRight) - px(s.borderLeftWidth) -
                px(s.borderRightWidth);
            const h = r.height - px(s.paddingTop) - px(s.paddingBottom) - px(s.borderTopWidth) -
                px(s.borderBottomWidth);
            return [Math.max(1, Math.round(w)), Math.max(1, Math.round(h))];
        }

        function imageOf(el, s) {
            const [w, h] = contentSize(el, s);
            const src = el.currentSrc || el.src || '';
            const obj = {src: src, w: w, h: h, alt: el.alt || ''};
            // Images a script made (blob:) are out of reach of the program; copy their pixels here.
            if (src.startsWith('blob:') && el.complete && el.naturalWidth) {
                try {
                    const c = document.createElement('canvas');
                    c.width = el.naturalWidth;
                    c.height = el.naturalHeight;
                    c.getContext('2d').drawImage(el, 0, 0);
                    obj.src = c.toDataURL('image/png');
                } catch (e) {
                }
            }
            return obj;
        }

        // An inline SVG drawn outside the page loses the page's style sheets (icons coloured with
        // "fill: currentColor" and the like); its painting properties go along in style attributes.
        const SVG_PAINT = ['fill', 'fill-opacity', 'fill-rule', 'stroke', 'stroke-width', 'stroke-opacity',
            'stroke-linecap', 'stroke-linejoin', 'stroke-dasharray', 'opacity', 'stop-color',
            'stop-opacity', 'font-family', 'font-size', 'font-weight', 'font-style', 'text-anchor', 'display',
            'visibility'];
        function svgWithStyles(svg) {
            const copy = svg.cloneNode(true);
            const from = [svg].concat(Array.from(svg.querySelectorAll('*')));
            const to = [copy].concat(Array.from(copy.querySelectorAll('*')));
            for (let i = 0; i < from.length && i < to.length && i < 5000; ++i) {
                const st = getComputedStyle(from[i]);
                let css = '';
                for (const name of SVG_PAINT) {
                    const v = st.getPropertyValue(name);
                    if (v)
                        css += name + ':' + v + ';';
                }
                to[i].setAttribute('style', css + (to[i].getAttribute('style') || ''));
            }
            const r = svg.getBoundingClientRect();
            if (!copy.hasAttribute('width'))
                copy.setAttribute('width', String(Math.round(r.width)));
            if (!copy.hasAttribute('height'))
                copy.setAttribute('height', String(Math.round(r.height)));
            return copy;
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
            if (NEVER_SHOWN.has(tag))
                return;
            // a closed <details> shows its first summary only
            const up = parent || el.parentElement;
            const us = up ? ps || cs(up) : null;
            if (us && us.closedDetails && !(tag === 'SUMMARY' && up.querySelector(':scope > summary') === el))
                return;
            const s = cs(el, up, us, tag);
            const display = s.display;
            if (display === 'none')
                return;
            // An inline box that replaces nothing neither clips its content nor is positioned out of
            // the flow (absolute positioning makes it a block), so only the slot test applies.
            if (display === 'inline' && !REPLACED.has(tag)) {
                if (us && us.isHost && !el.assignedSlot)
                    return;
            } else if (invisible(el, s, us)) {
                return;
            }
            const block = isBlock(display);

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
            if (tag === 'A' && el.href)
                c.href = linkTarget(el);

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
            if (tag === 'svg' || (el instanceof SVGSVGElement)) {
                if (s.visibility === 'visible') {
                    const [w, h] = contentSize(el, s);
                    let svg = new XMLSerializer().serializeToString(svgWithStyles(el));
                    if (!/^<svg[^>]*\sxmlns=/.test(svg))
                        svg = svg.replace(/^<svg/, '<svg xmlns="http://www.w3.org/2000/svg"');
                    const alt = (el.getAttribute('aria-label') ||
                                 (el.querySelector('title') ? el.querySelector('title').textContent : '') || '');
                    addInlineObject(b, c, el, {svg: svg, w: w, h: h, alt: alt});
                }
                return;
            }
            if (tag === 'CANVAS') {
                if (s.visibility === 'visible') {
                    const [w, h] = contentSize(el, s);
                    try {
                        addInlineObject(b, c, el, {src: el.toDataURL('image/png'), w: w, h: h, alt: ''});
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
            if (tag === 'TABLE') {
                yield* table(b, c, el, s, partial);
                return;
            }
            if (tag === 'HR') {
                b.close();
                const p = b.open(c);
                p.hr = 1;
                b.close();
                b.margin(px(s.marginBottom));
                return;
            }

            if (!block || el === body || el === document.documentElement) {
                const bg = colour(s.backgroundColor);
                if (bg && el !== body && el !== document.documentElement)
                    c.bg = bg;
                yield* walkChildren(b, c, el, partial);
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
            // the first paragraph inside a list item carries the item's marker
            c.li = ctx.li && !ctx.li.used ? ctx.li : null;
            const isList = tag === 'UL' || tag === 'OL' || tag === 'MENU' || tag === 'DIR';
            if (isList) {
                c.lml = (ctx.lml || 0) + px(s.paddingLeft);
            }
            if (display === 'list-item' && tag !== 'SUMMARY') {
                const style = LIST_STYLES[s.listStyleType];
                if (style) {
                    const list = el.parentElement || el;
                    let id = listIds.get(list);
                    if (!id) {
                        id = nextListId++;
                        listIds.set(list, id);
                    }
                    let lvl = 1;
                    for (let a = el.parentElement; a && a !== body; a = a.parentElement) {
                        if (cs(a).display === 'list-item')
                            ++lvl;
                    }
                    const desc = {id: id, st: style, lvl: lvl};
                    if (!listStarted.has(id)) {
                        listStarted.add(id);
                        desc.n = itemNumber(el);
                    }
                    c.li = {desc: desc, used: false};
                }
            }
            if (tag === 'TD' || tag === 'TH')
                c.lml = 0;
            b.close();
            yield* walkChildren(b, c, el, partial);
            b.close();
            b.margin(px(s.marginBottom));
        }

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
                    yield* walk(b, ctx, caption, partial);
                return;
            }
            if (caption && cs(caption).display !== 'none') {
                const cap = cs(caption);
                const sub = Object.assign({}, ctx, {al: alignOf(cap), h: 0, pre: false, li: null});
                b.close();
                yield* walkChildren(b, sub, caption, partial);
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
                k: 't', rows: rows.length, cols: cols, w: widths.map((w) => Math.round(w)),
                tw: Math.round(el.getBoundingClientRect().width), bd: Math.round(bd * 4) / 4,
                pad: Math.round(px(first.paddingLeft)),
                sp: collapse ? 0 : Math.round(px((s.borderSpacing || '0').split(' ')[0])),
                ml: Math.round(ctx.ml + px(s.marginLeft)), cells: []
            };
            const bc = colour(px(first.borderLeftWidth) ? first.borderLeftColor : s.borderLeftColor);
            if (bc && bd)
                t.bc = bc;
            if (t.ml > 0)
                t.ml = Math.min(t.ml, 400);
            if (parts.head && cs(parts.head).display !== 'none')
                t.hdr = Math.min(rows.length, rows.filter((r) => r.group === parts.head).length);
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
                    ml: 0, lml: 0, al: alignOf(cell.st), bbg: null, bg: null, h: 0, li: null, ti: 0,
                    pre: PRE_MODES.has(cell.st.whiteSpace)
                });
                if (!partial)
                    yield* walkChildren(cb, sub, cell.el, false);
                else if (inRange(cell.el))
                    yield* walkChildren(cb, sub, cell.el,
                                 cell.el.contains(range.startContainer) || cell.el.contains(range.endContainer));
                const out = {r: cell.r, c: cell.c, b: cb.finish()};
                if (cell.rs > 1)
                    out.rs = cell.rs;
                if (cell.cs > 1)
                    out.cs = cell.cs;
                let bg = colour(cell.st.backgroundColor) || bgOf(cell.row);
                if (!bg && cell.group !== el)
                    bg = bgOf(cell.group);
                if (!bg)
                    bg = tbg;
                if (bg)
                    out.bg = bg;
                if (cell.el.tagName === 'TH')
                    out.th = 1;
                t.cells.push(out);
            }
            b.blocks.push(t);
            b.space = 0;
            b.margin(px(s.marginBottom));
        }

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

        const root = new Builder();
        const base = {ml: 0, lml: 0, al: 'l', bg: null, bbg: null, u: false, st: false, va: null, href: null,
            pre: false, h: 0, li: null, ti: 0};
        function* walkRanges() {
            for (const r of ranges) {
                range = r;
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
                if (top === body)
                    yield* walkChildren(root, ctx, body, true);
                else
                    yield* walk(root, ctx, top, true);
                root.close();
            }
            range = null;
            root.finish();
            // The selection's HTML and text are asked for by a second script while the program
            // builds the rich text; it gets the ranges walked here, so that all three renderings are
            // of one selection.
            globalThis.folvaneCapturedRanges = ranges.map((r) => r.cloneRange());
        }

        const walker = walkRanges();
        let fmtsSent = 0;
        function step(ms) {
            profStart = performance.now();
            deadline = profStart + ms;
            let next;
            // Blocks stay open to change until the next one begins (the last one takes the margin
            // below it), so a part ends before the last block until the walk is done.
            do {
                next = walker.next();
            } while (!next.done && root.blocks.length < 2);
            const blocks = root.blocks;
            const part = {blocks: blocks.splice(0, next.done ? blocks.length : blocks.length - 1),
                fmts: fmts.slice(fmtsSent), url: location.href, last: next.done ? 1 : 0};
            fmtsSent = fmts.length;
            lap('walk');
            if (profiling) {
                prof.styleRecords = nextStyleId;
                prof.sharing = sharing ? 1 : 0;
                part.prof = prof;
            }
            return part;
        }
        return {step: step};
    }

    // Page scripts may run between two parts. Any change they make to the document is seen here,
    // and the walk starts again from the beginning and runs to its end without a pause.
    const SLICE_MS = 40;
    let capture = null;
    let observer = null;
    let changed = false; // the observer's records go to its callback when the page's task ends
    function end() {
        globalThis.folvaneCaptureStep = undefined;
        if (observer)
            observer.disconnect();
    }
    function step() {
        try {
            let restart = false;
            const first = !capture;
            if (first) {
                observer = new MutationObserver(() => {
                    changed = true;
                });
                observer.observe(document, {subtree: true, childList: true, characterData: true, attributes: true});
                capture = newCapture();
            } else if (changed || observer.takeRecords().length) {
                changed = false;
                capture = newCapture();
                restart = true;
            }
            const part = capture.step(restart ? Infinity : SLICE_MS);
            if (restart)
                part.restart = 1;
            if (part.last) {
                end();
                // A selection walked at one go comes back with its HTML and text in the same
                // answer: [part, [html, text]].
                if (first && typeof globalThis.folvaneCaptureMarkup === 'function')
                    return [JSON.stringify(part), globalThis.folvaneCaptureMarkup()];
            }
            return JSON.stringify(part);
        } catch (e) {
            end();
            return JSON.stringify({error: String((e && e.stack) || e)});
        }
    }
    globalThis.folvaneCaptureStep = step;
    return step();
})();
