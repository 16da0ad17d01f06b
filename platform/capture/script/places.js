// Places: where the page's elements with an id, and its <a name> anchors, begin in the runs, so
// that links to page.html#id can be sent to the same text in the document.
//
// One unit of the page capture's script (see parts.js): capturePlaces(w) adds to the walk w
// findPlaces, which lists the page's places once before the walk, and the calls by which the walk
// tells where it is: reachPlace (or reachElement) when it enters an element, skipPlaces when it leaves out an
// element and its content, endPlaces at the end of each range and placesAtEnd at the end of the
// walk. The names of a place the walk has passed wait in w.places.pending until the next run
// begins, which takes them (takePlaces), or
// until a run that took them goes, which shows nothing (requeuePlaces). It reads w.range, the range being walked.
//
// Cost: the page is asked once for its elements with an id or a name; during the walk an element
// costs one lookup in a map of those elements and their ancestors, made in this script without
// asking the page, and only the elements in it cost more.
function capturePlaces(w) {
    'use strict';
    const state = {
        pending: null, // names the next run begins with, or null
        list: [], // the places of the page, in document order: {el, names}
        holders: null, // element -> index in list, or -1 for an element that only holds places
        next: 0 // the first place of list not passed yet
    };

    let listingMs = 0; // the time findPlaces took
    function findPlaces(doc) {
        const start = performance.now();
        listPlaces(doc);
        listingMs = performance.now() - start;
    }
    function listPlaces(doc) {
        state.list = [];
        state.holders = null;
        state.next = 0;
        state.pending = null;
        const found = doc.querySelectorAll('[id], a[name]');
        if (!found.length)
            return;
        const holders = new Map();
        for (const el of found) {
            const names = [];
            const id = el.id;
            if (id)
                names.push(id);
            if (el.tagName === 'A') {
                const name = el.getAttribute('name');
                if (name && name !== id)
                    names.push(name);
            }
            if (!names.length)
                continue;
            holders.set(el, state.list.length);
            state.list.push({el: el, names: names});
        }
        for (const {el} of state.list) {
            for (let a = el.parentNode; a && !holders.has(a); a = a.parentNode)
                holders.set(a, -1);
        }
        if (state.list.length)
            state.holders = holders;
    }

    function add(place) {
        if (state.pending)
            state.pending.push(...place.names);
        else
            state.pending = place.names.slice();
    }

    function inRange(node) {
        const range = w.range;
        if (!range)
            return false;
        try {
            return range.intersectsNode(node);
        } catch (e) {
            return false;
        }
    }

    // The walk enters the element of place index: it begins at the next run. Places before it
    // that the walk has not seen (inside something it reads as a whole, or a row it left out)
    // begin there too, where they are in the selection.
    function reachPlace(index) {
        const list = state.list;
        if (index < state.next)
            return;
        for (let i = state.next; i < index; ++i) {
            if (inRange(list[i].el))
                add(list[i]);
        }
        add(list[index]);
        state.next = index + 1;
    }

    // The walk enters el, which may be a place.
    function reachElement(el) {
        if (state.holders === null)
            return;
        const index = state.holders.get(el);
        if (index >= 0)
            reachPlace(index);
    }

    // The walk leaves out el (hidden), and with it the places inside: a link to them lands on the
    // text shown after them.
    function skipPlaces(el) {
        const list = state.list;
        let i = state.next;
        for (; i < list.length; ++i) {
            const p = list[i].el;
            if (el.contains(p)) {
                add(list[i]);
            } else if (el.compareDocumentPosition(p) & Node.DOCUMENT_POSITION_PRECEDING) {
                if (inRange(p))
                    add(list[i]);
            } else {
                break;
            }
        }
        state.next = i;
    }

    // The walk of the current range is over: the places left in it, which nothing shown
    // followed, begin at whatever comes next.
    function endPlaces() {
        const list = state.list;
        const range = w.range;
        if (!range)
            return;
        let i = state.next;
        for (; i < list.length; ++i) {
            const p = list[i].el;
            let after = false;
            try {
                after = range.comparePoint(p, 0) > 0;
            } catch (e) {
            }
            if (after)
                break;
            if (inRange(p))
                add(list[i]);
        }
        state.next = i;
    }

    // A run begins: it takes the names waiting.
    function takePlaces(run) {
        run.places = state.pending;
        state.pending = null;
    }

    // A run that took names has gone (it showed nothing): they wait again, before any that
    // came after them.
    function requeuePlaces(names) {
        state.pending = state.pending ? names.concat(state.pending) : names;
    }

    // The walk is over with names still waiting: they go to the start of the last run, the
    // nearest text there is.
    function placesAtEnd(blocks) {
        if (!state.pending)
            return;
        function lastRun(bs) {
            for (let i = bs.length - 1; i >= 0; --i) {
                const b = bs[i];
                if (b.kind === 'table') {
                    for (let c = b.cells.length - 1; c >= 0; --c) {
                        const run = lastRun(b.cells[c].blocks);
                        if (run)
                            return run;
                    }
                } else if (b.runs && b.runs.length) {
                    return b.runs[b.runs.length - 1];
                }
            }
            return null;
        }
        const run = lastRun(blocks);
        if (run)
            run.places = (run.places || []).concat(state.pending);
        state.pending = null;
    }

    // for the profile: how many places the page has, and the time it took to list them
    function placeStats() {
        return {places: state.list.length, placeListing: listingMs};
    }

    Object.assign(w, {places: state, placeStats, findPlaces, reachPlace, reachElement, skipPlaces, endPlaces, takePlaces,
        requeuePlaces, placesAtEnd});
}
