// Whether a refresh of the page is due (a <meta http-equiv="refresh">, read as the engine reads
// it: a number of seconds, maybe followed by an address): its delay in seconds, or -1.
(function () {
    var delay = -1;
    var metas = document.querySelectorAll('meta[http-equiv]');
    for (var i = 0; i < metas.length; ++i) {
        if (metas[i].httpEquiv.trim().toLowerCase() !== 'refresh')
            continue;
        var m = /^\s*(\d*)(\.[\d.]*)?/.exec(metas[i].content || '');
        if (!m || (m[1] === '' && m[2] === undefined))
            continue;
        var seconds = m[1] === '' ? 0 : parseInt(m[1], 10);
        // A refresh of the page itself moves nowhere (the control refuses it).
        var target = /[;,\s]\s*(url\s*=\s*)?['"]?([^'"]*)/i.exec(metas[i].content.substring(m[0].length));
        var address = target && target[2].trim() ? target[2].trim() : '';
        try {
            if (!address || new URL(address, document.baseURI).href.split('#')[0] ===
                                location.href.split('#')[0])
                continue;
        } catch (e) {
            continue;
        }
        if (delay < 0 || seconds < delay)
            delay = seconds;
    }
    return delay;
})()
