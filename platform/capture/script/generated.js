// Generated content: the text and images of ::before, ::after and ::marker, with counters and
// quotes as the browser counts them.
//
// One unit of the page capture's script (see parts.js): captureGenerated(w) adds to the walk w
// addGenerated, which puts an element's ::before or ::after content into a flow, and what the
// lists unit asks of pseudo-elements (pseudoStyle, contentText, cssStrings). It uses the styles
// and blocks units, and itemNumber of the lists unit for the list-item counter.
function captureGenerated(w) {
    'use strict';
    const {cs, px, mayGenerate, isBlock, textPropsOfStyle, formatFor, addStyledText} = w;
    const body = w.body;

    // The computed content of a pseudo-element lists its parts: strings (an attr() has become
    // one already), counter() and counters(), quotes and url() images.
    const CONTENT_PART = /"((?:[^"\\]|\\[\s\S])*)"|'((?:[^'\\]|\\[\s\S])*)'|(counters?)\(\s*([\w-]+)\s*(?:,\s*("(?:[^"\\]|\\[\s\S])*"|'(?:[^'\\]|\\[\s\S])*'))?\s*(?:,\s*([\w-]+))?\s*\)|attr\(\s*([\w-]+)[^)]*\)|url\(\s*(?:"((?:[^"\\]|\\[\s\S])*)"|'((?:[^'\\]|\\[\s\S])*)'|([^)\s]*))\s*\)|\b(open-quote|close-quote|no-open-quote|no-close-quote)\b|(\/)/g;
    const CSS_ESCAPE = /\\(?:([0-9a-fA-F]{1,6})[ \t\n]?|([\s\S]))/g;
    // characters that show only in an icon font
    const PRIVATE_USE = /[\ue000-\uf8ff]/g;

    function unescapeCss(s) {
        if (s.indexOf('\\') < 0)
            return s;
        return s.replace(CSS_ESCAPE, (m, hex, ch) => {
            if (hex === undefined)
                return ch === '\n' ? '' : ch;
            const cp = parseInt(hex, 16);
            return cp > 0 && cp <= 0x10ffff ? String.fromCodePoint(cp) : '\ufffd';
        });
    }
    // the strings of a value such as list-style-type: "-" or quotes: "<" ">"
    function cssStrings(value) {
        const out = [];
        for (const m of value.matchAll(/"((?:[^"\\]|\\[\s\S])*)"|'((?:[^'\\]|\\[\s\S])*)'/g))
            out.push(unescapeCss(m[1] !== undefined ? m[1] : m[2]));
        return out;
    }

    // The computed style of a pseudo-element of el; elements styled alike share theirs too.
    function pseudoStyle(el, s, which) {
        const rec = s.rec;
        if (!rec.ps)
            rec.ps = {};
        let d = rec.ps[which];
        if (d === undefined) {
            try {
                d = getComputedStyle(rec.el, which);
            } catch (e) {
                d = null;
            }
            rec.ps[which] = d;
        }
        return d;
    }

    // ---- counters, as the browser counts them, found for the whole document when a content
    // value asks for one: the text of each ::before and ::after that shows a counter.
    let counterTexts = null;
    const NUMBER_STYLES = {
        'lower-roman': 'lower-roman', 'upper-roman': 'upper-roman', 'lower-alpha': 'lower-alpha',
        'lower-latin': 'lower-alpha', 'upper-alpha': 'upper-alpha', 'upper-latin': 'upper-alpha'
    };
    function numberText(n, style) {
        switch (style) {
        case 'none':
            return '';
        case 'disc':
            return '\u2022';
        case 'circle':
            return '\u25e6';
        case 'square':
            return '\u25aa';
        case 'decimal-leading-zero':
            return (n < 10 && n > -10 ? (n < 0 ? '-0' : '0') : '') + Math.abs(n);
        }
        const kind = NUMBER_STYLES[style];
        if (kind === 'lower-alpha' || kind === 'upper-alpha') {
            if (n < 1)
                return String(n);
            let t = '';
            for (let c = n; c > 0; c = Math.floor((c - 1) / 26))
                t = String.fromCharCode(97 + (c - 1) % 26) + t;
            return kind === 'upper-alpha' ? t.toUpperCase() : t;
        }
        if (kind === 'lower-roman' || kind === 'upper-roman') {
            if (n < 1 || n > 3999)
                return String(n);
            const r = [[1000, 'm'], [900, 'cm'], [500, 'd'], [400, 'cd'], [100, 'c'], [90, 'xc'], [50, 'l'],
                [40, 'xl'], [10, 'x'], [9, 'ix'], [5, 'v'], [4, 'iv'], [1, 'i']];
            let t = '';
            for (const [v, sym] of r) {
                for (; n >= v; n -= v)
                    t += sym;
            }
            return kind === 'upper-roman' ? t.toUpperCase() : t;
        }
        return String(n);
    }
    // "name 1 other 2" of counter-reset, counter-increment and counter-set
    function counterList(value, dflt) {
        const out = [];
        if (!value || value === 'none')
            return out;
        const words = value.trim().split(/\s+/);
        for (let i = 0; i < words.length; ++i) {
            const name = words[i];
            let n = dflt;
            if (i + 1 < words.length && /^-?\d+$/.test(words[i + 1]))
                n = parseInt(words[++i], 10);
            out.push([name, n]);
        }
        return out;
    }
    function findCounterTexts() {
        const texts = new Map(); // element -> {'::before': text, '::after': text}
        const counters = new Map(); // name -> [{owner, value}], innermost last
        const instances = (name) => {
            let list = counters.get(name);
            if (!list) {
                list = [];
                counters.set(name, list);
            }
            return list;
        };
        // reset, increment and set, in that order, of an element whose parent is owner
        const apply = (st, owner) => {
            for (const [name, n] of counterList(st.counterReset, 0)) {
                const list = instances(name);
                const top = list[list.length - 1];
                if (top && top.owner === owner)
                    top.value = n; // a sibling's counter of that name ends where this one starts
                else
                    list.push({owner: owner, value: n});
            }
            for (const [name, n] of counterList(st.counterIncrement, 1)) {
                const list = instances(name);
                if (!list.length)
                    list.push({owner: owner, value: 0});
                list[list.length - 1].value += n;
            }
            for (const [name, n] of counterList(st.counterSet, 0)) {
                const list = instances(name);
                if (!list.length)
                    list.push({owner: owner, value: 0});
                list[list.length - 1].value = n;
            }
        };
        const leave = (owner) => {
            for (const list of counters.values()) {
                while (list.length && list[list.length - 1].owner === owner)
                    list.pop();
            }
        };
        const counterValue = (name, style, separator) => {
            const list = counters.get(name) || [];
            if (!list.length)
                return numberText(0, style);
            if (separator === undefined)
                return numberText(list[list.length - 1].value, style);
            return list.map((c) => numberText(c.value, style)).join(separator);
        };
        const pseudo = (el, s, which) => {
            const d = pseudoStyle(el, s, which);
            if (!d || d.display === 'none')
                return;
            const content = d.content;
            if (!content || content === 'normal' || content === 'none')
                return;
            apply(d, el);
            if (content.indexOf('counter') >= 0) {
                let entry = texts.get(el);
                if (!entry) {
                    entry = {};
                    texts.set(el, entry);
                }
                entry[which] = contentParts(el, d, content, counterValue);
            }
        };
        const visit = (el, parent) => {
            const s = cs(el);
            if (s.display === 'none')
                return;
            apply(s, parent);
            const generates = mayGenerate(el, '');
            if (generates)
                pseudo(el, s, '::before');
            for (let child = el.firstElementChild; child; child = child.nextElementSibling)
                visit(child, el);
            if (generates)
                pseudo(el, s, '::after');
            leave(el);
        };
        visit(body, null);
        return texts;
    }

    // The parts of a content value: {text} and {image: url}. count(name, style, separator)
    // gives a counter's text; without it, counters come from the walk of the whole document.
    let quoteDepth = 0;
    function contentParts(el, d, content, count) {
        const parts = [];
        let quotes = null;
        const quote = (open) => {
            if (!quotes) {
                const q = d.quotes;
                quotes = q && q !== 'auto' && q !== 'none' ? cssStrings(q) :
                    q === 'none' ? [] : ['\u201c', '\u201d', '\u2018', '\u2019'];
            }
            if (!open)
                quoteDepth = Math.max(0, quoteDepth - 1);
            const i = Math.min(quoteDepth, quotes.length / 2 - 1) * 2 + (open ? 0 : 1);
            if (open)
                ++quoteDepth;
            return i >= 0 && quotes[i] !== undefined ? quotes[i] : '';
        };
        CONTENT_PART.lastIndex = 0;
        for (let m; (m = CONTENT_PART.exec(content));) {
            if (m[13])
                break; // alternative text for speech follows
            let text = null;
            if (m[1] !== undefined || m[2] !== undefined) {
                text = unescapeCss(m[1] !== undefined ? m[1] : m[2]);
            } else if (m[3]) {
                const style = m[6] || 'decimal';
                const separator = m[3] === 'counters' && m[5] ? unescapeCss(m[5].slice(1, -1)) : undefined;
                if (m[4] === 'list-item' && separator === undefined)
                    text = numberText(listItemNumber(el), style); // the number the item shows
                else
                    text = count ? count(m[4], style, separator) : '';
            } else if (m[7]) {
                text = el.getAttribute(m[7]) || '';
            } else if (m[8] !== undefined || m[9] !== undefined || m[10] !== undefined) {
                const url = unescapeCss(m[8] !== undefined ? m[8] : m[9] !== undefined ? m[9] : m[10]);
                if (url)
                    parts.push({image: url});
            } else if (m[11]) {
                text = m[11] === 'open-quote' ? quote(true) : m[11] === 'close-quote' ? quote(false) : '';
                if (m[11] === 'no-open-quote')
                    ++quoteDepth;
                else if (m[11] === 'no-close-quote')
                    quoteDepth = Math.max(0, quoteDepth - 1);
            }
            if (text) {
                text = text.replace(PRIVATE_USE, '');
                if (text) {
                    const last = parts[parts.length - 1];
                    if (last && last.text !== undefined)
                        last.text += text;
                    else
                        parts.push({text: text});
                }
            }
        }
        return parts;
    }
    // the number of the list item el is, or is in
    function listItemNumber(el) {
        for (let a = el; a && a !== body; a = a.parentElement) {
            if (cs(a).display === 'list-item')
                return w.itemNumber(a);
        }
        return 0;
    }
    // the text of a content value, images left out (a ::marker's)
    function contentText(el, d, content) {
        const parts = generatedParts(el, d, content, '::marker');
        return parts.map((p) => p.text || '').join('');
    }
    // counters other than the list item's own number are counted over the whole document
    const COUNTER_FUNCTION = /\bcounters\(|\bcounter\(\s*(?!list-item\s*[,)])/;
    function generatedParts(el, d, content, which) {
        if (!COUNTER_FUNCTION.test(content))
            return contentParts(el, d, content, null);
        if (!counterTexts) {
            const depth = quoteDepth;
            counterTexts = findCounterTexts();
            quoteDepth = depth;
        }
        const entry = counterTexts.get(el);
        return entry && entry[which] ? entry[which] : [];
    }

    // Generated text kept for screen readers only: out of the flow and clipped to nothing, or
    // transparent. A pseudo-element has no box to measure; its computed size is its laid-out one.
    function hiddenPseudo(d) {
        if (d.opacity === '0' || px(d.fontSize) === 0)
            return true;
        const position = d.position;
        if (position !== 'absolute' && position !== 'fixed')
            return false;
        if (d.overflow !== 'visible' && (px(d.width) < 2 || px(d.height) < 2))
            return true;
        const clip = d.clip;
        if (clip && clip.startsWith('rect(')) {
            const v = clip.slice(5, -1).split(/[,\s]+/).map(px);
            if (v.length === 4 && (v[2] - v[0] < 2 || v[1] - v[3] < 2))
                return true;
        }
        return /^inset\(\s*50%/.test(d.clipPath || '');
    }

    // Adds the content of el's ::before or ::after where the browser shows it: at the start or
    // the end of el's content, in the pseudo-element's own character format.
    function addGenerated(b, ctx, el, s, which) {
        // Most elements generate nothing; an element styled alike to one that does not is
        // not asked again, as each read of a pseudo-element's style is a call into the page.
        const rec = s.rec;
        if (rec.noGen && rec.noGen[which])
            return;
        const d = pseudoStyle(el, s, which);
        const content = d ? d.content : '';
        if (!content || content === 'normal' || content === 'none' || d.display === 'none') {
            if (!rec.noGen)
                rec.noGen = {};
            rec.noGen[which] = true;
            return;
        }
        if (hiddenPseudo(d))
            return;
        const parts = generatedParts(el, d, content, which);
        if (!parts.length)
            return;
        const t = textPropsOfStyle(d);
        if (t.vis !== 'visible')
            return;
        const block = isBlock(d.display);
        if (block)
            b.close();
        for (const part of parts) {
            if (part.text !== undefined) {
                addStyledText(b, ctx, t, part.text);
            } else {
                const size = Math.max(1, Math.round(t.size));
                const obj = {src: part.image, width: size, height: size, alt: ''};
                try {
                    const img = new Image();
                    img.src = part.image;
                    if (img.complete && img.naturalWidth) {
                        obj.width = img.naturalWidth;
                        obj.height = img.naturalHeight;
                    }
                } catch (e) {
                }
                const p = b.open(ctx);
                p.runs.push({image: obj, format: formatFor(t, ctx)});
                p.lastSpace = false;
            }
        }
        if (block)
            b.close();
    }

    Object.assign(w, {pseudoStyle, cssStrings, contentText, addGenerated});
}
