// Runs in the isolated world of pagecapture.js, before it in the same script, and defines
// folvaneCaptureMarkup(): the selection the walk went over as HTML and as plain text,
// [html, text], both empty when there is no walked selection; or, when that fails, why, as a
// string.
globalThis.folvaneCaptureMarkup = function () {
    'use strict';
    const ranges = globalThis.folvaneCapturedRanges || [];
    globalThis.folvaneCapturedRanges = undefined;

    // Links and pictures keep working where the HTML is pasted: their addresses are made
    // absolute. Scripts are left out.
    function selectionHtml() {
        const box = document.createElement('div');
        for (const r of ranges)
            box.appendChild(r.cloneContents());
        for (const e of box.querySelectorAll('[href]')) {
            try {
                e.setAttribute('href', new URL(e.getAttribute('href'), document.baseURI).href);
            } catch (err) {
            }
        }
        for (const e of box.querySelectorAll('[src]')) {
            try {
                e.setAttribute('src', new URL(e.getAttribute('src'), document.baseURI).href);
            } catch (err) {
            }
        }
        for (const e of box.querySelectorAll('script'))
            e.remove();
        return box.innerHTML;
    }

    // The text as the browser would copy it (line breaks between blocks, nothing hidden) comes
    // from the selection itself; a page script may have moved it since the walk, and then the
    // ranges' own text stands in.
    function selectionText() {
        const sel = window.getSelection();
        if (sel && sel.rangeCount === ranges.length) {
            let same = true;
            for (let i = 0; i < ranges.length && same; ++i) {
                const a = sel.getRangeAt(i);
                const b = ranges[i];
                same = a.startContainer === b.startContainer && a.startOffset === b.startOffset &&
                    a.endContainer === b.endContainer && a.endOffset === b.endOffset;
            }
            if (same)
                return sel.toString();
        }
        return ranges.map((r) => r.toString()).join('');
    }

    try {
        return [selectionHtml(), selectionText()];
    } catch (e) {
        return String((e && e.stack) || e);
    }
};
