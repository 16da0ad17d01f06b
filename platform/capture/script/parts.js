// The page capture's script: runs in an isolated world of the page, walks the selected nodes
// with their computed styles and describes what the browser shows of them, in reading order.
//
// The script is made of units, one a file, each a function captureXxx(w) that adds what it does
// to the walk w, an object holding the state of one walk and the units' functions: styles.js
// (computed styles and character formats), places.js (where elements with an id begin),
// blocks.js (paragraphs and runs), replaced.js (form controls, pictures, inline SVG),
// generated.js (::before, ::after and ::marker), lists.js (list items), tables.js and walk.js
// (the walk over the selection). The build joins the units, in any order, with this file last:
// it makes the walk from the units and answers the program.
//
// The walk hands its description over in parts, so that the program can build the document from
// one part while the page walks the next. This script starts the walk and returns the first part;
// each later one comes from calling globalThis.folvaneCaptureStep() in the same world. A part is
// the JSON text of {blocks, formats, url, last, restart}, whose members the program reads in
// captureprotocol.h, where the whole format is described: the blocks completed since the part
// before, the character formats added since then, last on the final part, and restart when the
// page changed its content between two parts, in which case the whole selection was walked
// again, at once, and this part replaces all earlier ones. On an error the part is {error}.
// After the last part the ranges walked are left in this world's globalThis.folvaneCapturedRanges
// for folvaneCaptureMarkup() of markup.js; when the first part is the last, the answer is
// [part, what folvaneCaptureMarkup() gave].
(function () {
    'use strict';
    // Set by the program before this script: the whole document is captured, not the selection.
    const whole = globalThis.folvaneCaptureWhole === true;
    // A new walk of the current selection; its step(ms) walks on for about ms milliseconds, or
    // until at least one block is complete, and returns the part walked.
    function newCapture() {
        globalThis.folvaneCapturedRanges = undefined;
        // FOLVANE_CAPTURE_PROFILE: the program defines folvaneCaptureProfile and gets the time of
        // each stage back under "profile".
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

        const sel = window.getSelection();
        const ranges = [];
        if (whole) {
            // After the program's Select All: the document as it is now, whatever the page did
            // to the selection since (or to the document it was made in).
            const all = document.createRange();
            all.selectNodeContents(document.body || document.documentElement);
            ranges.push(all);
        } else if (sel && !sel.isCollapsed) {
            for (let i = 0; i < sel.rangeCount; ++i)
                ranges.push(sel.getRangeAt(i));
        }

        // The walk: what the units share. Each unit takes what it uses of those before it.
        const w = {
            body: document.body || document.documentElement,
            formats: [], // the character formats that runs name by their index
            range: null, // the range being walked
            frameDepth: 0 // the walk is in the document of a frame this deep
        };
        captureStyles(w);
        capturePlaces(w);
        captureBlocks(w);
        captureReplaced(w);
        captureGenerated(w);
        captureLists(w);
        captureTables(w);
        captureWalk(w);

        const root = new w.Builder();
        const walker = w.walkRanges(root, ranges);
        let formatsSent = 0;
        function step(ms) {
            profStart = performance.now();
            w.setDeadline(profStart + ms);
            let next;
            // Blocks stay open to change until the next one begins (the last one takes the margin
            // below it), so a part ends before the last block until the walk is done.
            do {
                next = walker.next();
            } while (!next.done && root.blocks.length < 2);
            const blocks = root.blocks;
            const part = {blocks: blocks.splice(0, next.done ? blocks.length : blocks.length - 1),
                formats: w.formats.slice(formatsSent), url: location.href, last: next.done ? 1 : 0};
            formatsSent = w.formats.length;
            lap('walk');
            if (profiling)
                part.profile = Object.assign(prof, w.styleStats(), w.placeStats());
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
