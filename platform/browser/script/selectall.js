// Selects the whole document. Focus is taken from a text field first, so that the page's
// selection, not the field's, is the one shown and copied. The selection is set directly rather
// than through the editing command selectAll, which ends in the same selection at about one and
// a half times the cost on large pages, and which a page can cancel. The answer is the number of
// elements in the document, or false when there is nothing to select.
(function () {
    var active = document.activeElement;
    if (active && active !== document.body && typeof active.blur === 'function')
        active.blur();
    var root = document.body || document.documentElement;
    var selection = window.getSelection();
    if (!root || !selection)
        return false;
    selection.selectAllChildren(root);
    // How big the document is, which tells how long its copy may keep the renderer busy.
    return document.getElementsByTagName('*').length;
})()
