// Lists: the marker and the number the browser shows on a list item.
//
// One unit of the page capture's script (see parts.js): captureLists(w) adds to the walk w
// listItemOf, what a list item hands its first paragraph, and itemNumber, the number an item
// shows. It uses the styles unit and, for markers given by ::marker or a string, the generated
// content unit.
function captureLists(w) {
    'use strict';
    const {cs, formatOf, pseudoStyle, contentText, cssStrings} = w;
    const body = w.body;
    // the lists of this walk, numbered in the order they are met, and those whose first item has
    // been described
    const listIds = new WeakMap();
    const listStarted = new Set();
    let nextListId = 1;

    const LIST_STYLES = {
        'disc': 'disc', 'circle': 'circle', 'square': 'square', 'decimal': 'decimal',
        'decimal-leading-zero': 'decimal', 'lower-alpha': 'lower-alpha', 'lower-latin': 'lower-alpha',
        'upper-alpha': 'upper-alpha', 'upper-latin': 'upper-alpha', 'lower-roman': 'lower-roman',
        'upper-roman': 'upper-roman', 'none': 'none'
    };
    // markers of other kinds, shown as text in front of an item of a list without markers
    const MARKER_TEXTS = {'disclosure-open': '\u25be ', 'disclosure-closed': '\u25b8 '};

    // What a list item hands its first paragraph: {desc, used, marker, mf}. desc describes the
    // item to the program: its list (one for each parent element), marker style, level and, on
    // a list's first item, its number (start). A marker that no list level shows (a string, a
    // ::marker's content) goes in front of the text, in the item's format, on an item of a
    // list without markers.
    function listItemOf(el, s, ctx) {
        const type = s.listStyleType;
        let style = LIST_STYLES[type];
        let marker = '';
        if (w.markerRules) {
            const m = pseudoStyle(el, s, '::marker');
            const content = m ? m.content : 'normal';
            if (content !== 'normal' && content !== 'none' && content) {
                marker = contentText(el, m, content);
                style = 'none';
            } else if (content === 'none') {
                style = 'none';
            }
        }
        if (!style) {
            if (type.charCodeAt(0) === 34 || type.charCodeAt(0) === 39) {
                marker = cssStrings(type).join('');
                style = 'none';
            } else if (MARKER_TEXTS[type]) {
                marker = MARKER_TEXTS[type];
                style = 'none';
            } else {
                style = 'decimal'; // counter styles of other scripts, numbered all the same
            }
        }
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
        const desc = {list: id, marker: style, level: lvl};
        if (!listStarted.has(id)) {
            listStarted.add(id);
            if (style !== 'none')
                desc.start = itemNumber(el);
        }
        const li = {desc: desc, used: false, marker: marker, mf: 0};
        if (marker)
            li.mf = formatOf(el, ctx);
        return li;
    }

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

    Object.assign(w, {listItemOf, itemNumber});
}
