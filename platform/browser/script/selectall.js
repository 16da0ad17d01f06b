// Selects the whole document. Focus is taken from a text field first, so that the page's
// selection, not the field's, is the one shown and copied. The selection is set directly rather
// than through the editing command selectAll, which ends in the same selection at about one and
// a half times the cost on large pages, and which a page can cancel.
(function () {
    var active = document.activeElement;
    if (active && active !== document.body && typeof active.blur === 'function')
        active.blur();
    var root = document.body || document.documentElement;
    var selection = window.getSelection();
    if (!root || !selection)
        return false;
    selection.selectAllChildren(root);
    return true;
})()
