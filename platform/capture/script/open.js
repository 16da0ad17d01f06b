// Runs in an isolated world of the page: walks the selected nodes with their computed styles and
// returns what the browser shows of them in reading order.
//
// The build joins the files of platform/capture/ into the one script pagecapture.js, in the order
// that platform/CMakeLists.txt lists them: this file opens the function that all of them share,
// and parts.js closes it.
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
            'LINK', 'BASE', 'OBJECT', 'EMBED', 'AUDIO', 'VIDEO', 'MAP', 'DATALIST', 'OPTION',
            'OPTGROUP', 'PARAM', 'SOURCE', 'TRACK']);
        const REPLACED = new Set(['IMG', 'INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'CANVAS', 'svg', 'IFRAME',
            'FRAME', 'OBJECT', 'EMBED', 'VIDEO', 'AUDIO', 'METER', 'PROGRESS']);
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
