// Replaced elements: form controls, images, inline SVG.
//
// One unit of the page capture's script (see parts.js): captureReplaced(w) adds to the walk w
// what an element that the browser replaces shows: the text of a form control (controlText),
// the size of its content box (contentSize), a picture to fetch (imageOf) and an inline SVG with
// the page's painting properties in it (svgWithStyles). It uses px of the styles unit.
function captureReplaced(w) {
    'use strict';
    const {px} = w;

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
        const width = r.width - px(s.paddingLeft) - px(s.paddingRight) - px(s.borderLeftWidth) -
            px(s.borderRightWidth);
        const h = r.height - px(s.paddingTop) - px(s.paddingBottom) - px(s.borderTopWidth) -
            px(s.borderBottomWidth);
        return [Math.max(1, Math.round(width)), Math.max(1, Math.round(h))];
    }

    function imageOf(el, s) {
        const [width, height] = contentSize(el, s);
        const src = el.currentSrc || el.src || '';
        const obj = {src: src, width: width, height: height, alt: el.alt || ''};
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

    Object.assign(w, {controlText, contentSize, imageOf, svgWithStyles});
}
