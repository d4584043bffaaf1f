.pragma library
// SPDX-License-Identifier: GPL-3.0-or-later

// Depth-first search for the object called `name` below `root`, through
// items, their non-visual data (windows, popups, menus), window contents and
// what loaders made.
function find(root, name) {
    var seen = [];
    function visit(obj) {
        if (!obj || seen.indexOf(obj) >= 0)
            return null;
        seen.push(obj);
        if (obj.objectName === name)
            return obj;
        var lists = [];
        if (obj.data !== undefined)
            lists.push(obj.data);
        if (obj.children !== undefined)
            lists.push(obj.children);
        if (obj.contentItem !== undefined && obj.contentItem)
            lists.push([obj.contentItem]);
        if (obj.contentData !== undefined)
            lists.push(obj.contentData);
        if (obj.item !== undefined && obj.item)
            lists.push([obj.item]); // what a Loader made
        for (var l = 0; l < lists.length; ++l) {
            var list = lists[l];
            for (var i = 0; i < list.length; ++i) {
                var found = visit(list[i]);
                if (found)
                    return found;
            }
        }
        return null;
    }
    return visit(root);
}
