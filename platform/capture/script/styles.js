// Computed styles, shared between elements styled alike, and the character formats of text.
//
// One unit of the page capture's script (see parts.js): captureStyles(w) adds to the walk w what
// the other units ask of styles: cs(el), the style of an element; textPropsOf, textPropsOfStyle and
// formatFor, the character format of its text as an index into w.formats; and the layout facts
// of a box (invisible, isBlock, indentOf, alignOf). It reads w.body, w.formats and w.frameDepth.
function captureStyles(w) {
    'use strict';
    const body = w.body;
    // What a very wide margin or padding takes to be: room for a sidebar or a centred column.
    const LAYOUT_OFFSET = 120; // px
    const INLINE_DISPLAYS = new Set(['inline', 'inline-block', 'inline-flex', 'inline-grid',
        'ruby', 'ruby-text', 'contents']);
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
        'borderSpacing', 'counterReset', 'counterIncrement', 'counterSet', 'float', 'flexDirection'];
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
    // selectors of rules that may give an element generated content, or a marker of its own
    const GENERATING_SELECTOR = /::?(?:before|after)\b/i;
    const PSEUDO_ELEMENT = /::[\w-]+(?:\([^()]*\))?|:(?:before|after|first-line|first-letter)\b/gi;
    const MARKER_SELECTOR = /::marker\b/i;
    const NAMED_CLASS_OR_ID = /([.#])(-?[_a-zA-Z\u00a0-\uffff][\w\u00a0-\uffff-]*)/g;
    const quirks = document.compatMode === 'BackCompat'; // class and id match in any case there
    const ATTR_FUNCTION = /attr\(\s*(?:[\w-]*\|)?([\w-]+)/g;
    // What the page's rules tell of the elements they style: the elements that rules about a
    // place among siblings reach (placed), the attributes, classes and ids that selectors
    // name, and whether they generate content or markers; null when the rules cannot be
    // read, or ask about a place in a way that cannot be followed, and nothing is shared.
    const pageRules = ownState === null ? null : readPageRules();
    const sharing = pageRules !== null;
    // Whether the page's rules may generate content: without a reading of its style sheets,
    // any element may have some.
    const generatedRules = pageRules === null || pageRules.generated;
    const markerRules = pageRules === null || pageRules.marker;
    // The elements that rules may give a ::before or ::after with content; null for any.
    const generatingElements = generatedRules && pageRules !== null && pageRules.generating
                                   ? elementsMatching(pageRules.generating)
                                   : null;
    // The elements that any of the selectors reaches; null when the engine takes one of them
    // for no selector.
    function elementsMatching(selectors) {
        if (!selectors.length)
            return new Set();
        try {
            return new Set(document.querySelectorAll(selectors.join(', ')));
        } catch (e) {
            return null;
        }
    }
    // Whether el may show generated content: a quotation by the browser's own rules, an element
    // of a frame (whose rules were not read), or one the page's rules may give some.
    function mayGenerate(el, tag) {
        return w.frameDepth > 0 || tag === 'Q' ||
               (generatedRules && (generatingElements === null || generatingElements.has(el)));
    }

    function readPageRules() {
        if (document.getAnimations && document.getAnimations().length)
            return null; // values that change with time
        const tags = {placeSelectors: [], placed: null, attributes: new Set(), generated: false,
            generating: [], marker: false, namedClasses: new Set(), namedIds: new Set(),
            anyClassOrId: false};
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
        // The elements whose place among their siblings may give them a style of their own.
        tags.placed = elementsMatching(tags.placeSelectors);
        return tags.placed ? tags : null;
    }
    function scanRules(rules, tags, depth) {
        if (depth > 20)
            return false;
        for (const rule of rules) {
            if (rule.selectorText !== undefined) {
                if (!placeSelectorsOf(rule.selectorText, tags))
                    return false;
                for (const m of rule.selectorText.matchAll(ATTRIBUTE_SELECTOR))
                    tags.attributes.add(m[1].toLowerCase());
                namedClassesAndIds(rule.selectorText, tags);
                if (GENERATING_SELECTOR.test(rule.selectorText)) {
                    tags.generated = true;
                    // a value read by attr() makes the text differ between elements styled alike
                    const content = rule.style ? rule.style.content : '';
                    // The elements whose ::before or ::after a rule gives content to are those
                    // its selector reaches with the pseudo-element taken for any element.
                    if (tags.generating && (content || !rule.style)) {
                        if (/["'\\]/.test(rule.selectorText))
                            tags.generating = null;
                        else
                            tags.generating.push(rule.selectorText.replace(PSEUDO_ELEMENT, ':is(*)'));
                    }
                    if (content) {
                        for (const m of content.matchAll(ATTR_FUNCTION))
                            tags.attributes.add(m[1].toLowerCase());
                    }
                }
                if (MARKER_SELECTOR.test(rule.selectorText))
                    tags.marker = true;
            }
            if (rule.cssRules && !scanRules(rule.cssRules, tags, depth + 1))
                return false;
            if (rule.styleSheet && !scanRules(rule.styleSheet.cssRules, tags, depth + 1))
                return false;
        }
        return true;
    }
    // Classes and ids that no selector names style nothing: elements that differ only in them
    // share their style. Names are gathered loosely (a dot in a quoted value counts too), which
    // only keeps apart elements that could have shared. An escaped name is not read at all.
    function namedClassesAndIds(text, tags) {
        if (text.includes('\\')) {
            tags.anyClassOrId = true;
            return;
        }
        for (const m of text.matchAll(NAMED_CLASS_OR_ID)) {
            const name = quirks ? m[2].toLowerCase() : m[2];
            (m[1] === '.' ? tags.namedClasses : tags.namedIds).add(name);
        }
    }

    // Adds to tags.placeSelectors, for each compound of the selector list that depends on a
    // place among siblings (one with a structural pseudo-class, or one right of a + or ~
    // combinator), the selector up to and with that compound: the elements it reaches are
    // those whose style may differ from that of elements alike in all else. False when the
    // place is asked about inside :is() and the like.
    function placeSelectorsOf(text, tags) {
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
        let selectorStart = 0; // where the selector of the list that holds the compound starts
        const finish = (end) => {
            // a pseudo-element is styled with its element: the selector is taken as reaching that
            if (compound && (sibling || PLACE_PSEUDO.test(compound)))
                tags.placeSelectors.push(text.slice(selectorStart, end).trim().replace(PSEUDO_ELEMENT, ':is(*)'));
            compound = '';
        };
        const n = text.length;
        for (let i = 0; i <= n; ++i) {
            const ch = i < n ? text[i] : ',';
            if (ch === '\\' && i + 1 < n) {
                compound += ch + text[++i];
                continue;
            }
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
                    finish(i);
                    combinator = '';
                }
                if (ch === ',') {
                    sibling = false;
                    combinator = '';
                    selectorStart = i + 1;
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

    class StyleRecord {
        constructor(el, childrenShare) {
            this.el = el;
            this.decl = null;
            this.v = new Map();
            this.id = nextStyleId++;
            this.childrenShare = childrenShare;
            this.tp = null; // character properties, see textPropsOf
            this.ps = null; // computed styles of pseudo-elements, see pseudoStyle
            this.noGen = null; // pseudo-elements that generate nothing, see addGenerated
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

    // tag and attributes, as far as the page's rules can tell elements apart by them; null for
    // an element whose direction follows its own text
    function attributeKey(el, tag) {
        // Names first, and only the values that matter: each call into the page costs.
        let key = tag;
        for (const name of el.getAttributeNames()) {
            if ((VALUE_FREE.has(name) || VALUE_FREE_PREFIX.test(name)) && !pageRules.attributes.has(name)) {
                key += ' ' + name;
                continue;
            }
            const value = el.getAttribute(name);
            if (name === 'dir' && value.toLowerCase() === 'auto')
                return null;
            if (pageRules.attributes.has(name)) {
                key += ' ' + name + '=' + value;
            } else if (name === 'class' && !pageRules.anyClassOrId) {
                key += ' class=';
                for (const c of value.split(/[ \t\n\f\r]+/)) {
                    if (c && pageRules.namedClasses.has(quirks ? c.toLowerCase() : c))
                        key += c + ' ';
                }
            } else if (name === 'id' && !pageRules.anyClassOrId) {
                key += pageRules.namedIds.has(quirks ? value.toLowerCase() : value) ? ' id=' + value : ' id';
            } else {
                key += ' ' + name + '=' + value;
            }
        }
        return key;
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
        // the page's style sheets say nothing of the documents in its frames
        const shareable = sharing && w.frameDepth === 0 && !UNSHARED_TAGS.has(tag);
        if (shareable && parent && el !== body && !ownState.has(el) && !pageRules.placed.has(el)) {
            const ps = knownParentStyle || cs(parent);
            if (ps.rec.childrenShare && !ps.isHost) {
                let key = attributeKey(el, tag);
                // dir="auto" takes its direction from the element's own text
                const ownDirection = key === null;
                if (!ownDirection) {
                    key = ps.rec.id + ' ' + key;
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
        t = textPropsOfStyle(s);
        s.rec.tp = t;
        return t;
    }
    // the character properties of a computed style: an element's, or a pseudo-element's
    function textPropsOfStyle(s) {
        const font = s.font;
        const key = font ? font + '|' + s.color + '|' + s.textTransform + '|' + s.visibility + '|' +
                s.whiteSpace : '';
        let t = key ? textPropsByKey.get(key) : undefined;
        if (!t) {
            t = readTextProps(s);
            if (key)
                textPropsByKey.set(key, t);
        }
        return t;
    }
    function readTextProps(s) {
        const t = {vis: s.visibility, ws: s.whiteSpace, size: px(s.fontSize), key: '', base: null, fmts: null};
        const f = {families: families(s.fontFamily), size: Math.round(t.size * 4) / 4};
        const weight = parseInt(s.fontWeight, 10) || 400;
        if (weight !== 400)
            f.weight = weight;
        const style = s.fontStyle;
        if (style === 'italic' || style.startsWith('oblique'))
            f.italic = 1;
        const c = colour(s.color);
        if (c && c !== '#000000')
            f.colour = c;
        const tt = s.textTransform;
        if (tt === 'uppercase')
            f.caps = 'upper';
        else if (tt === 'lowercase')
            f.caps = 'lower';
        else if (tt === 'capitalize')
            f.caps = 'capitalize';
        else if (s.fontVariantCaps === 'small-caps')
            f.caps = 'small';
        t.base = f;
        t.key = JSON.stringify(f);
        return t;
    }
    function formatOf(el, ctx) {
        return formatFor(textPropsOf(el), ctx);
    }
    // The index in w.formats of the format of text with the character properties t, in the
    // inline context ctx (a background, decorations, a vertical position).
    const formatIndex = new Map();
    function formatFor(t, ctx) {
        // looked up first among the formats of this font, by a key that is mostly empty
        const local = (ctx.bg || '') + (ctx.u ? 'u' : '') + (ctx.st ? 's' : '') + (ctx.va || '');
        if (!t.fmts)
            t.fmts = new Map();
        let i = t.fmts.get(local);
        if (i !== undefined)
            return i;
        const key = t.key + local;
        i = formatIndex.get(key);
        if (i === undefined) {
            const f = Object.assign({}, t.base);
            if (ctx.bg)
                f.background = ctx.bg;
            if (ctx.u)
                f.underline = 1;
            if (ctx.st)
                f.strike = 1;
            if (ctx.va)
                f.vertical = ctx.va;
            i = w.formats.length;
            w.formats.push(f);
            formatIndex.set(key, i);
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

    // Script pseudo-links lead nowhere outside the page, and a link whose address is empty only
    // names the page it is on (generators mark the current page so): neither is a link.
    function linkTarget(a) {
        const href = a.href;
        const written = a.getAttribute('href');
        if (written !== null && !written.trim())
            return null;
        return /^javascript:/i.test(href) ? null : href;
    }

    function isBlock(display) {
        return !INLINE_DISPLAYS.has(display) && !display.startsWith('inline');
    }

    function alignOf(s) {
        switch (s.textAlign) {
        case 'center':
        case '-webkit-center':
            return 'center';
        case 'right':
        case '-webkit-right':
            return 'right';
        case 'end':
            return s.direction === 'rtl' ? 'left' : 'right';
        case 'justify':
            return 'justify';
        default:
            return s.direction === 'rtl' && s.textAlign === 'start' ? 'right' : 'left';
        }
    }

    Object.assign(w, {cs, px, colour, textPropsOf, textPropsOfStyle, formatOf, formatFor, invisible,
        indentOf, linkTarget, isBlock, alignOf, mayGenerate, markerRules,
        styleStats: () => ({styleRecords: nextStyleId, sharing: sharing ? 1 : 0})});
}
