/*
 * dtree.js: the collapsible tree menu of Marrowdex's index page.
 *
 * Marrowdex's own script, keeping the calling interface of the dTree 2.x menu so that index
 * pages written for that interface work unchanged:
 *
 *   d = new dTree('d');          // 'd' is the global variable that holds the tree
 *   d.add(id, pid, name, url, title, target, icon, iconOpen, open);
 *   document.write(d);
 *
 * Entries with pid -1 are roots. Names are inserted as markup: the page escapes them. url,
 * title, target and icons go into attributes with only '"' escaped, for the same reason.
 * The page sits in the Home Directory, this script in its js/ folder, the icons in js/img/.
 */
(function (global) {
  'use strict';

  var IMG = 'js/img/';
  var ROOT_KEY = '-1';
  // Markers on the drawing stack; entry indexes are >= 0.
  var CLOSE = -1; // end of a root's children
  var CLOSE_INDENT = -2; // end of a folder's children: also drop one indentation column

  function text(v) {
    return typeof v === 'string' ? v : v === undefined || v === null ? '' : String(v);
  }

  // Ids are compared as strings, so 5 and '5' are the same entry.
  function key(v) {
    return String(v);
  }

  function attr(v) {
    return text(v).replace(/"/g, '&quot;');
  }

  // file:// pages may have cookies disabled, and some browsers throw then: a tree without
  // memory is better than no tree.
  function readCookie(name) {
    try {
      var all = document.cookie ? document.cookie.split(';') : [];
      for (var i = 0; i < all.length; i++) {
        var c = all[i].replace(/^\s+/, '');
        var eq = c.indexOf('=');
        if (eq > 0 && c.slice(0, eq) === name) return decodeURIComponent(c.slice(eq + 1));
      }
    } catch (e) {}
    return null;
  }

  // Session cookies, with the page's folder as their default path: the state lasts while the
  // browser is open, and two Home Directories do not share it.
  function writeCookie(name, value) {
    try {
      document.cookie = name + '=' + encodeURIComponent(value) + '; SameSite=Lax';
    } catch (e) {}
  }

  function Entry(id, pid, name, url, title, target, icon, iconOpen, open) {
    this.id = id;
    this.pid = pid;
    this._k = key(id);
    this._pk = key(pid);
    this.name = text(name);
    this.url = text(url);
    this.title = text(title);
    this.target = text(target);
    this.icon = text(icon);
    this.iconOpen = text(iconOpen) || this.icon;
    this._io = !!open; // open
    // Worked out by _build:
    this._reach = false; // drawn: reachable from a root
    this._p = -1; // parent's index, -1 for a root
    this._ch = null; // children's indexes in insertion order, null for a leaf
    this._ls = false; // last among its siblings
    // Worked out while drawing:
    this._out = false; // its row has been drawn
    this._filled = false; // its children's rows have been drawn
  }

  function dTree(objName) {
    this.config = {
      target: null,
      folderLinks: true,
      useSelection: true,
      useCookies: true,
      useLines: true,
      useIcons: true,
      useStatusText: false,
      closeSameLevel: false,
      inOrder: false // accepted for old pages; the build below handles any order anyway
    };
    this.icon = {
      root: IMG + 'root.gif',
      folder: IMG + 'folder.gif',
      folderOpen: IMG + 'folder-open.gif',
      node: IMG + 'page.gif',
      empty: IMG + 'empty.gif',
      line: IMG + 'line.gif',
      join: IMG + 'join.gif',
      joinBottom: IMG + 'join-end.gif',
      plus: IMG + 'plus.gif',
      plusBottom: IMG + 'plus-end.gif',
      minus: IMG + 'minus.gif',
      minusBottom: IMG + 'minus-end.gif',
      nlPlus: IMG + 'plus-bare.gif',
      nlMinus: IMG + 'minus-bare.gif'
    };
    this.obj = text(objName);
    this.aNodes = [];
    this.selectedNode = null; // index into aNodes
    this._roots = [];
    this._byId = new Map();
    this._dirty = false;
    this._drawn = false; // toString has run: later changes also go to the page
    this._pending = []; // openAll/closeAll/openTo calls made before drawing
  }

  dTree.prototype.add = function (id, pid, name, url, title, target, icon, iconOpen, open) {
    this.aNodes.push(new Entry(id, pid, name, url, title, target, icon, iconOpen, open));
    this._dirty = true;
  };

  // One pass to index and group by parent, one walk down from the roots: O(n) whatever the
  // order of the add() calls. A later entry with an id already used replaces the earlier one
  // (it is drawn at its own place; the earlier one is not drawn at all). Entries that no root
  // leads to (a missing parent, a cycle of pids) are simply left out.
  dTree.prototype._build = function () {
    if (!this._dirty) return;
    var nodes = this.aNodes;
    var byId = new Map();
    var kids = new Map();
    var i, n, list;
    for (i = 0; i < nodes.length; i++) byId.set(nodes[i]._k, i);
    for (i = 0; i < nodes.length; i++) {
      n = nodes[i];
      n._reach = false;
      n._p = -1;
      n._ch = null;
      n._ls = false;
      if (byId.get(n._k) !== i) continue;
      list = kids.get(n._pk);
      if (!list) kids.set(n._pk, (list = []));
      list.push(i);
    }
    var roots = kids.get(ROOT_KEY) || [];
    var stack = [];
    for (i = 0; i < roots.length; i++) {
      nodes[roots[i]]._reach = true;
      stack.push(roots[i]);
    }
    if (roots.length) nodes[roots[roots.length - 1]]._ls = true;
    while (stack.length) {
      var p = stack.pop();
      var k = nodes[p]._k;
      // An entry whose own id is -1 would have the roots as children.
      list = k === ROOT_KEY ? null : kids.get(k);
      if (!list) continue;
      var own = [];
      for (var c = 0; c < list.length; c++) {
        n = nodes[list[c]];
        if (n._reach) continue;
        n._reach = true;
        n._p = p;
        own.push(list[c]);
        stack.push(list[c]);
      }
      if (own.length) {
        nodes[p]._ch = own;
        nodes[own[own.length - 1]]._ls = true;
      }
    }
    this._roots = roots;
    this._byId = byId;
    this._dirty = false;
  };

  dTree.prototype._domId = function (kind, i) {
    return attr(this.obj) + '-' + kind + i;
  };

  dTree.prototype._el = function (kind, i) {
    return typeof document === 'undefined' ? null : document.getElementById(this.obj + '-' + kind + i);
  };

  dTree.prototype._img = function (src, id) {
    return '<img' + (id ? ' id="' + id + '"' : '') + ' src="' + attr(src) + '" alt="" />';
  };

  dTree.prototype._isFolder = function (n) {
    return n._ch !== null && n._p !== -1; // roots have no toggle and stay open
  };

  dTree.prototype._toggleSrc = function (n) {
    var ic = this.icon;
    if (!this.config.useLines) return n._io ? ic.nlMinus : ic.nlPlus;
    if (n._ls) return n._io ? ic.minusBottom : ic.plusBottom;
    return n._io ? ic.minus : ic.plus;
  };

  dTree.prototype._iconSrc = function (n) {
    var ic = this.icon;
    if (n._p === -1) return n.icon || ic.root;
    if (n._ch === null) return n.icon || ic.node;
    return n._io ? n.iconOpen || ic.folderOpen : n.icon || ic.folder;
  };

  dTree.prototype._row = function (out, i, indent) {
    var n = this.aNodes[i];
    var cfg = this.config;
    var obj = attr(this.obj);
    var root = n._p === -1;
    var folder = n._ch !== null;
    out.push('<div class="dTreeNode">', indent);
    if (!root) {
      if (folder) {
        out.push('<a href="#" onclick="', obj, '.o(', i, ');return false;">',
          this._img(this._toggleSrc(n), this._domId('j', i)), '</a>');
      } else {
        out.push(this._img(!cfg.useLines ? this.icon.empty : n._ls ? this.icon.joinBottom : this.icon.join));
      }
    }
    if (cfg.useIcons) out.push(this._img(this._iconSrc(n), this._domId('i', i)));

    var link = n.url !== '' && (!folder || cfg.folderLinks);
    var toggles = folder && !root && !cfg.folderLinks; // the name opens and closes the folder
    var sel = cfg.useSelection && this.selectedNode === i;
    out.push('<a id="', this._domId('s', i), '" class="', sel ? 'nodeSel' : 'node', '"');
    if (link) {
      out.push(' href="', attr(n.url), '"');
      var target = n.target || cfg.target;
      if (target) out.push(' target="', attr(target), '"');
    } else if (toggles) {
      out.push(' href="#"');
    }
    if (n.title) out.push(' title="', attr(n.title), '"');
    if (cfg.useStatusText) out.push(' onmouseover="', obj, '.st(', i, ')" onmouseout="', obj, '.st(-1)"');
    var click = (toggles ? obj + '.o(' + i + ');' : '') + (cfg.useSelection ? obj + '.s(' + i + ');' : '');
    if (toggles) click += 'return false;';
    if (click) out.push(' onclick="', click, '"');
    out.push('>', n.name, '</a></div>');
  };

  // Draws only what is open: a closed folder gets an empty container, filled when it is first
  // opened. A page of 100k entries then starts with a few hundred rows instead of 100k rows
  // and 400k images, which takes the browser tens of seconds.
  dTree.prototype.toString = function () {
    this._build();
    if (!this._drawn) {
      this._drawn = true;
      this._restore();
    }
    for (var i = 0; i < this.aNodes.length; i++) this.aNodes[i]._out = this.aNodes[i]._filled = false;
    var out = ['<div class="dtree">'];
    this._draw(out, this._roots, '');
    out.push('</div>');
    return out.join('');
  };

  // Appends the rows of the sibling entries in list, each followed by its children if it is
  // open. base is the indentation of these rows.
  dTree.prototype._draw = function (out, list, base) {
    var nodes = this.aNodes;
    var lines = this.config.useLines;
    // indent[d] holds the whole indentation of depth d as one string, so a row costs one push.
    var indent = [base];
    var stack = [];
    var i, c;
    for (i = list.length - 1; i >= 0; i--) stack.push(list[i]);
    // Iterative, so a very deep tree cannot overflow the call stack.
    while (stack.length) {
      i = stack.pop();
      if (i < 0) {
        out.push('</div>');
        if (i === CLOSE_INDENT) indent.pop();
        continue;
      }
      var n = nodes[i];
      var here = indent[indent.length - 1];
      this._row(out, i, here);
      n._out = true;
      if (n._ch === null) continue;
      if (n._p === -1) {
        out.push('<div class="clip" style="display:block">');
        stack.push(CLOSE);
      } else {
        out.push('<div id="', this._domId('c', i), '" class="clip" style="display:', n._io ? 'block' : 'none', '">');
        if (!n._io) {
          out.push('</div>');
          continue;
        }
        indent.push(here + this._column(n));
        stack.push(CLOSE_INDENT);
      }
      n._filled = true;
      for (c = n._ch.length - 1; c >= 0; c--) stack.push(n._ch[c]);
    }
  };

  // The indentation image that an entry puts before the rows of its descendants.
  dTree.prototype._column = function (n) {
    return this._img(this.config.useLines && !n._ls ? this.icon.line : this.icon.empty);
  };

  // Draws the children of an open folder whose row is on the page but whose children are not.
  dTree.prototype._fill = function (i) {
    var n = this.aNodes[i];
    var clip = this._el('c', i);
    if (!clip) return;
    var cols = [];
    for (var a = n; a._p !== -1; a = this.aNodes[a._p]) cols.push(this._column(a));
    var out = [];
    this._draw(out, n._ch, cols.reverse().join(''));
    clip.innerHTML = out.join('');
    n._filled = true;
  };

  // The state at first drawing: the add() flags, or what the cookies remember, then the calls
  // made before drawing, in their order.
  dTree.prototype._restore = function () {
    var nodes = this.aNodes;
    var i;
    if (this.config.useCookies) {
      var open = readCookie(this._cookie('open'));
      if (open !== null) {
        var ids = new Set(open === '' ? [] : open.split(','));
        for (i = 0; i < nodes.length; i++) {
          if (this._isFolder(nodes[i])) nodes[i]._io = ids.has(nodes[i]._k);
        }
      }
      var sel = readCookie(this._cookie('sel'));
      if (sel) {
        i = this._byId.get(sel);
        if (i !== undefined && nodes[i]._reach) this.selectedNode = i;
      }
    }
    var pending = this._pending;
    this._pending = [];
    for (i = 0; i < pending.length; i++) pending[i].call(this);
  };

  dTree.prototype._cookie = function (what) {
    return 'dtree-' + this.obj + '-' + what;
  };

  dTree.prototype._saveOpen = function () {
    if (!this.config.useCookies) return;
    var ids = [];
    for (var i = 0; i < this.aNodes.length; i++) {
      var n = this.aNodes[i];
      if (n._reach && n._io && this._isFolder(n)) ids.push(n._k);
    }
    writeCookie(this._cookie('open'), ids.join(','));
  };

  // Shows the entry's open state on the page, if it is drawn there.
  dTree.prototype._paint = function (i) {
    var n = this.aNodes[i];
    if (n._io && n._out && !n._filled) this._fill(i);
    var clip = this._el('c', i);
    if (clip) clip.style.display = n._io ? 'block' : 'none';
    var toggle = this._el('j', i);
    if (toggle) toggle.src = this._toggleSrc(n);
    var icon = this._el('i', i);
    if (icon) icon.src = this._iconSrc(n);
  };

  dTree.prototype._setOpen = function (i, open) {
    var n = this.aNodes[i];
    if (open && this.config.closeSameLevel) {
      var sibs = this.aNodes[n._p]._ch;
      for (var s = 0; s < sibs.length; s++) {
        var sib = this.aNodes[sibs[s]];
        if (sibs[s] !== i && sib._io && sib._ch !== null) {
          sib._io = false;
          this._paint(sibs[s]);
        }
      }
    }
    n._io = open;
    this._paint(i);
  };

  // Toggles a folder; called by the drawn page.
  dTree.prototype.o = function (i) {
    this._build();
    var n = this.aNodes[i];
    if (!n || !n._reach || !this._isFolder(n)) return;
    this._setOpen(i, !n._io);
    this._saveOpen();
  };

  // Selects an entry; called by the drawn page.
  dTree.prototype.s = function (i) {
    if (!this.config.useSelection || !this.aNodes[i]) return;
    var prev = this.selectedNode;
    if (prev !== null && prev !== i) {
      var old = this._el('s', prev);
      if (old) old.className = 'node';
    }
    this.selectedNode = i;
    var el = this._el('s', i);
    if (el) el.className = 'nodeSel';
    if (this.config.useCookies) writeCookie(this._cookie('sel'), this.aNodes[i]._k);
  };

  // Shows the entry's name in the status bar while the mouse is over it; -1 clears it.
  dTree.prototype.st = function (i) {
    try {
      var el = i < 0 ? null : this._el('s', i);
      global.status = el ? el.textContent : '';
    } catch (e) {}
  };

  // openAll opens every folder even with closeSameLevel: it is an explicit request, and
  // closeSameLevel then applies again from the next single opening on.
  dTree.prototype._all = function (open) {
    if (!this._drawn) {
      this._pending.push(function () { this._all(open); });
      return;
    }
    this._build();
    // All states first, so that filling a folder draws its whole subtree at once.
    var changed = [];
    var i;
    for (i = 0; i < this.aNodes.length; i++) {
      var n = this.aNodes[i];
      if (n._reach && this._isFolder(n) && n._io !== open) {
        n._io = open;
        changed.push(i);
      }
    }
    for (i = 0; i < changed.length; i++) this._paint(changed[i]);
    this._saveOpen();
  };

  dTree.prototype.openAll = function () {
    this._all(true);
  };

  dTree.prototype.closeAll = function () {
    this._all(false);
  };

  // Opens every folder above the entry (closing their siblings with closeSameLevel) and,
  // with select, selects it. Unknown or undrawn ids are ignored.
  dTree.prototype.openTo = function (id, select) {
    if (!this._drawn) {
      this._pending.push(function () { this.openTo(id, select); });
      return;
    }
    this._build();
    var i = this._byId.get(key(id));
    if (i === undefined || !this.aNodes[i]._reach) return;
    for (var p = this.aNodes[i]._p; p !== -1 && this.aNodes[p]._p !== -1; p = this.aNodes[p]._p) {
      this._setOpen(p, true);
    }
    this._saveOpen();
    if (select) this.s(i);
  };

  global.dTree = dTree;
})(typeof window !== 'undefined' ? window : this);
