        // ---- the protocol of parts: the walk in slices of time, and the answers to the program -----
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
            pre: false, h: 0, li: null, ti: 0, rowOf: null};
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
