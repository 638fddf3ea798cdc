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
 *
 * The open entries form one list of rows, and only the rows in view (and a little around them)
 * are on the page: a tree of a million entries costs the browser a few hundred elements, so
 * opening, closing and scrolling take the same time whatever its size. A search field above
 * the rows shows the entries whose names contain its text.
 */
(function (global) {
  'use strict';

  var IMG = 'js/img/';
  var ROOT = -1; // parent of a root; also the pid key that makes an entry a root
  var UNREACHED = -2; // parent of an entry that no root leads to: never drawn

  // Bits of _flags.
  var FOLDER = 1; // has children that are drawn

  // Bits of _found, the state of an entry during a search.
  var MATCH = 1; // its name contains the text
  var HOLDS = 2; // an entry below it matches
  var SHOWN_OPEN = 4; // open in the search's results

  function text(v) {
    return typeof v === 'string' ? v : v === undefined || v === null ? '' : String(v);
  }

  // Ids are compared as strings, so 5 and '5' are the same entry. Numbers, and strings that
  // are numbers written the usual way, become number keys, which a Map looks up faster and
  // without a new string per entry.
  function key(v) {
    if (typeof v === 'number') return v;
    var s = text(v);
    var n = +s;
    return String(n) === s ? n : s;
  }

  function attr(v) {
    return text(v).replace(/"/g, '&quot;');
  }

  // The text a name shows, for searching: names are markup.
  function shownText(markup) {
    if (markup.indexOf('<') < 0 && markup.indexOf('&') < 0) return markup;
    var t = document.createElement('template');
    t.innerHTML = markup;
    return t.content.textContent;
  }

  // file:// pages may have cookies disabled, and some browsers throw then: a tree without
  // memory is better than no tree.
  function allCookies() {
    try {
      return document.cookie || '';
    } catch (e) {
      return '';
    }
  }

  // The cookies as they were when this script was loaded. While a large page is still being
  // read, asking the browser for its cookies can take seconds, so the trees drawn during
  // loading take the state from here.
  var cookiesAtLoad = typeof document !== 'undefined' ? allCookies() : '';

  function readCookie(name) {
    var all = document.readyState === 'loading' ? cookiesAtLoad : allCookies();
    var parts = all ? all.split(';') : [];
    for (var i = 0; i < parts.length; i++) {
      var c = parts[i].replace(/^\s+/, '');
      var eq = c.indexOf('=');
      if (eq > 0 && c.slice(0, eq) === name) {
        try {
          return decodeURIComponent(c.slice(eq + 1));
        } catch (e) {
          return null;
        }
      }
    }
    return null;
  }

  // Session cookies, with the page's folder as their default path: the state lasts while the
  // browser is open, and two Home Directories do not share it.
  function writeCookie(name, value) {
    try {
      document.cookie = name + '=' + encodeURIComponent(value) + '; SameSite=Lax';
    } catch (e) {}
  }

  // One add() call. What the tree makes of it lives in the typed arrays of dTree, so that a
  // million entries stay small.
  function Entry(id, pid, name, url, title, target, icon, iconOpen, open) {
    this.id = id;
    this.pid = pid;
    this.name = text(name);
    this.url = text(url);
    this.title = text(title);
    this.target = text(target);
    this.icon = text(icon);
    this.iconOpen = text(iconOpen) || this.icon;
    this._io = !!open; // open
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
    this._dirty = false;
    this._drawn = false; // toString has run
    this._pending = []; // openAll/closeAll/openTo calls made before drawing
    // The tree, by entry index (made by _build):
    this._byId = new Map();
    this._roots = [];
    this._par = new Int32Array(0); // parent, ROOT or UNREACHED
    this._first = new Int32Array(0); // first child
    this._next = new Int32Array(0); // next sibling
    this._flags = new Uint8Array(0);
    // The rows (made by _layout): entry indexes in the order drawn, and for every entry
    // whose children are drawn, the last of them.
    this._rows = new Int32Array(0);
    this._count = 0;
    this._lastRow = new Int32Array(0);
    this._lastRoot = -1;
    // The search: its text (lower case), null when none; per entry, MATCH | HOLDS | SHOWN_OPEN.
    this._query = null;
    this._found = null;
    this._lower = null; // names as shown, in lower case, made on the first search
    this._matches = 0;
    // On the page: the element that holds the rows, the drawn rows [_a, _b), row height.
    this._clip = null;
    this._field = null;
    this._counter = null;
    this._a = 0;
    this._b = 0;
    this._rowH = 18;
  }

  // Browsers stop laying out at about 33.5 million pixels; a taller list is scrolled through
  // in proportion instead of pixel for pixel.
  dTree.prototype._maxHeight = 30000000;

  dTree.prototype.add = function (id, pid, name, url, title, target, icon, iconOpen, open) {
    this.aNodes.push(new Entry(id, pid, name, url, title, target, icon, iconOpen, open));
    this._dirty = true;
  };

  // O(n) whatever the order of the add() calls. A later entry with an id already used replaces
  // the earlier one (it is drawn at its own place; the earlier one is not drawn at all).
  // Entries that no root leads to (a missing parent, a cycle of pids) are left out.
  dTree.prototype._build = function () {
    if (!this._dirty) return false;
    var nodes = this.aNodes;
    var n = nodes.length;
    var byId = new Map();
    var i, p, c;
    for (i = 0; i < n; i++) byId.set(key(nodes[i].id), i);
    var par = new Int32Array(n).fill(UNREACHED);
    var first = new Int32Array(n).fill(-1);
    var next = new Int32Array(n).fill(-1);
    var last = new Int32Array(n).fill(-1);
    var flags = new Uint8Array(n);
    var roots = [];
    // Children in the order of their add() calls.
    for (i = 0; i < n; i++) {
      if (byId.get(key(nodes[i].id)) !== i) continue;
      var pk = key(nodes[i].pid);
      if (pk === ROOT) {
        roots.push(i);
        continue;
      }
      p = byId.get(pk);
      if (p === undefined) continue;
      if (last[p] < 0) first[p] = i;
      else next[last[p]] = i;
      last[p] = i;
    }
    // Down from the roots; every entry has one parent, so nothing is reached twice.
    var stack = [];
    for (i = 0; i < roots.length; i++) {
      par[roots[i]] = ROOT;
      stack.push(roots[i]);
    }
    while (stack.length) {
      p = stack.pop();
      if (first[p] < 0) continue;
      flags[p] |= FOLDER;
      for (c = first[p]; c >= 0; c = next[c]) {
        par[c] = p;
        stack.push(c);
      }
    }
    this._byId = byId;
    this._roots = roots;
    this._par = par;
    this._first = first;
    this._next = next;
    this._flags = flags;
    this._rows = new Int32Array(n);
    this._lastRow = new Int32Array(n);
    this._lower = null;
    this._found = null;
    this._dirty = false;
    if (this._query !== null) this._find(this._query);
    return true;
  };

  // Roots have no toggle and stay open.
  dTree.prototype._isFolder = function (i) {
    return (this._flags[i] & FOLDER) !== 0 && this._par[i] >= 0;
  };

  // Whether the entry's children are drawn now: its own state, or its state in the search.
  dTree.prototype._shownOpen = function (i) {
    if (this._par[i] === ROOT) return true;
    if (this._query !== null) return (this._found[i] & SHOWN_OPEN) !== 0;
    return this.aNodes[i]._io;
  };

  // The rows of the open entries, depth first. During a search, a folder that holds matches
  // lists only the entries that match or hold matches; any other folder lists all it has.
  dTree.prototype._layout = function () {
    var rows = this._rows;
    var lastRow = this._lastRow;
    var first = this._first;
    var next = this._next;
    var par = this._par;
    var found = this._query !== null ? this._found : null;
    var roots = this._roots;
    var count = 0;
    var lastRoot = -1;
    for (var r = 0; r < roots.length; r++) {
      var top = roots[r];
      if (found !== null && found[top] === 0) continue;
      lastRoot = top;
      var i = top;
      for (;;) {
        rows[count++] = i;
        if (par[i] >= 0) lastRow[par[i]] = i;
        // Down into the first child drawn, else on to the next entry drawn after this one.
        var c = first[i];
        if (c >= 0 && this._shownOpen(i)) {
          if (found !== null && (found[i] & HOLDS) !== 0) while (c >= 0 && found[c] === 0) c = next[c];
          if (c >= 0) {
            i = c;
            continue;
          }
        }
        for (;;) {
          if (i === top) break;
          var p = par[i];
          c = next[i];
          if (found !== null && (found[p] & HOLDS) !== 0) while (c >= 0 && found[c] === 0) c = next[c];
          if (c >= 0) break;
          i = p;
        }
        if (i === top) break;
        i = c;
      }
    }
    this._count = count;
    this._lastRoot = lastRoot;
  };

  // Last among the rows of its siblings: in a search, among those shown.
  dTree.prototype._isLast = function (i) {
    var p = this._par[i];
    return p >= 0 ? this._lastRow[p] === i : i === this._lastRoot;
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

  dTree.prototype._toggleSrc = function (i) {
    var ic = this.icon;
    var open = this._shownOpen(i);
    if (!this.config.useLines) return open ? ic.nlMinus : ic.nlPlus;
    if (this._isLast(i)) return open ? ic.minusBottom : ic.plusBottom;
    return open ? ic.minus : ic.plus;
  };

  dTree.prototype._iconSrc = function (i) {
    var ic = this.icon;
    var n = this.aNodes[i];
    if (this._par[i] === ROOT) return n.icon || ic.root;
    if (!(this._flags[i] & FOLDER)) return n.icon || ic.node;
    return this._shownOpen(i) ? n.iconOpen || ic.folderOpen : n.icon || ic.folder;
  };

  // The markup of rows [a, b).
  dTree.prototype._rowsHtml = function (a, b) {
    var out = [];
    var cols = [];
    for (var r = a; r < b; r++) this._row(out, this._rows[r], cols);
    return out.join('');
  };

  dTree.prototype._row = function (out, i, cols) {
    var n = this.aNodes[i];
    var cfg = this.config;
    var obj = attr(this.obj);
    var root = this._par[i] === ROOT;
    var folder = (this._flags[i] & FOLDER) !== 0;
    // One column per ancestor below the root: a line while that ancestor has siblings below.
    cols.length = 0;
    for (var a = this._par[i]; a >= 0 && this._par[a] !== ROOT; a = this._par[a]) {
      cols.push(cfg.useLines && !this._isLast(a) ? this.icon.line : this.icon.empty);
    }
    out.push('<div class="dTreeNode">');
    for (var c = cols.length - 1; c >= 0; c--) out.push(this._img(cols[c]));
    if (!root) {
      if (folder) {
        out.push('<a href="#" onclick="', obj, '.o(', i, ');return false;">',
          this._img(this._toggleSrc(i), this._domId('j', i)), '</a>');
      } else {
        out.push(this._img(!cfg.useLines ? this.icon.empty : this._isLast(i) ? this.icon.joinBottom : this.icon.join));
      }
    }
    if (cfg.useIcons) out.push(this._img(this._iconSrc(i), this._domId('i', i)));

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

  // The search field and the rows that fill the first screen; the rest is drawn as the page
  // is scrolled, once the markup is on the page.
  dTree.prototype.toString = function () {
    this._build();
    if (!this._drawn) {
      this._drawn = true;
      this._restore();
    }
    this._layout();
    var obj = attr(this.obj);
    var screen = typeof global.innerHeight === 'number' && global.innerHeight > 0 ? global.innerHeight : 1000;
    var b = Math.min(this._count, Math.ceil((screen * 1.5) / this._rowH) + 2);
    var self = this;
    Promise.resolve().then(function () {
      self._attach();
    });
    return '<div class="dtree"><div class="dtree-search"><input id="' + obj + '-find" type="search" ' +
      'placeholder="\uD83D\uDD0D" aria-label="\uD83D\uDD0D" autocomplete="off" spellcheck="false" />' +
      '<span id="' + obj + '-found" class="dtree-found"></span></div>' +
      '<div id="' + obj + '-rows" class="clip" style="' + this._clipStyle(0) + '">' +
      this._rowsHtml(0, b) + '</div></div>';
  };

  dTree.prototype._clipStyle = function (pad) {
    return 'box-sizing:border-box;overflow:hidden;height:' +
      Math.min(this._count * this._rowH, this._maxHeight) + 'px;padding-top:' + pad + 'px';
  };

  // Finds the drawn markup and follows the page from then on. Called once the markup is in
  // the document (document.write has parsed it by the time its script ends).
  dTree.prototype._attach = function () {
    var clip = this._el('rows', '');
    if (!clip) {
      var self = this;
      if (document.readyState === 'loading') {
        document.addEventListener('DOMContentLoaded', function () {
          self._attach();
        }, { once: true });
      }
      return;
    }
    if (clip === this._clip) return;
    var first = !this._clip;
    this._clip = clip;
    this._field = this._el('find', '');
    this._counter = this._el('found', '');
    this._a = 0;
    this._b = clip.children.length;
    if (clip.firstElementChild) this._rowH = clip.firstElementChild.getBoundingClientRect().height || this._rowH;
    var self = this;
    clip.addEventListener('keydown', function (e) {
      if (e.key === 'Tab') self._tab(e);
    });
    this._field.addEventListener('input', function (e) {
      if (!e.isComposing) self._search(self._field.value);
    });
    this._field.addEventListener('compositionend', function () {
      self._search(self._field.value);
    });
    this._field.addEventListener('keydown', function (e) {
      if (e.key === 'Escape' && self._field.value !== '') {
        e.preventDefault();
        self._field.value = '';
        self._search('');
      }
    });
    if (first) {
      var follow = function () {
        self._render(false);
      };
      // Capturing, so that scrolling any element the tree sits in is seen too.
      document.addEventListener('scroll', follow, { capture: true, passive: true });
      global.addEventListener('resize', follow);
    }
    this._render(true);
  };

  // Draws the rows in view and a half screen around them. A scroll keeps the rows that stay
  // drawn and adds or removes only those at the edges; force draws all again.
  dTree.prototype._render = function (force) {
    var clip = this._clip;
    if (!clip || !clip.isConnected) return;
    var h = this._rowH;
    var all = this._count * h;
    var height = Math.min(all, this._maxHeight);
    var screen = global.innerHeight || document.documentElement.clientHeight || 1000;
    var top = Math.min(Math.max(-clip.getBoundingClientRect().top, 0), height);
    // Where in the whole list the view's top is: beyond the greatest height in proportion,
    // except in the last screen, which is drawn as it is.
    var at = top;
    if (all > height) {
      at = top <= height - screen ? (top * (all - screen)) / Math.max(1, height - screen) : all - height + top;
    }
    var around = Math.ceil(screen / h / 2) + 2;
    // Not above the top of the list's box: in proportion, the rows there would start above it.
    var a = Math.max(0, Math.floor(at / h) - around, Math.ceil((at - top) / h));
    var b = Math.min(this._count, Math.ceil((at + screen) / h) + around);
    if (force || b <= this._a || a >= this._b) {
      var focus = this._focusedId();
      clip.innerHTML = this._rowsHtml(a, b);
      this._refocus(focus);
    } else {
      var k;
      for (k = this._a; k < a; k++) clip.removeChild(clip.firstElementChild);
      for (k = this._b; k > b; k--) clip.removeChild(clip.lastElementChild);
      if (a < this._a) clip.insertAdjacentHTML('afterbegin', this._rowsHtml(a, this._a));
      if (b > this._b) clip.insertAdjacentHTML('beforeend', this._rowsHtml(this._b, b));
    }
    this._a = a;
    this._b = b;
    clip.style.cssText = this._clipStyle(a * h + (top - at));
  };

  // The id that finds the focused link of the tree again after its rows are drawn anew: the
  // name's own id, or the id of the toggle's image.
  dTree.prototype._focusedId = function () {
    var el = document.activeElement;
    if (!el || !this._clip.contains(el)) return null;
    if (el.id) return el.id;
    var img = el.querySelector('img[id]');
    return img ? img.id : null;
  };

  dTree.prototype._refocus = function (id) {
    var el = id && document.getElementById(id);
    if (!el) return;
    if (el.tagName === 'IMG') el = el.parentNode;
    el.focus({ preventScroll: true });
  };

  // Tab from the last link drawn (Shift+Tab from the first) moves to a row not drawn yet: it is
  // drawn first, and the browser moves the focus there and scrolls it into view as usual.
  dTree.prototype._tab = function (e) {
    var row = e.target.closest('.dTreeNode');
    if (!row || row.parentNode !== this._clip) return;
    var r = this._a + Array.prototype.indexOf.call(this._clip.children, row);
    if (e.shiftKey && r === this._a && r > 0) {
      this._clip.insertAdjacentHTML('afterbegin', this._rowsHtml(r - 1, r));
      this._a = r - 1;
      this._clip.style.paddingTop = Math.max(0, parseFloat(this._clip.style.paddingTop) - this._rowH) + 'px';
    } else if (!e.shiftKey && r === this._b - 1 && this._b < this._count) {
      this._clip.insertAdjacentHTML('beforeend', this._rowsHtml(this._b, this._b + 1));
      this._b++;
    }
  };

  // Lays the rows out again and draws them.
  dTree.prototype._refresh = function () {
    this._layout();
    this._render(true);
  };

  // The state at first drawing: the add() flags, or what the cookies remember, then the calls
  // made before drawing, in their order.
  dTree.prototype._restore = function () {
    var nodes = this.aNodes;
    var i;
    if (this.config.useCookies) {
      var open = readCookie(this._cookie('open'));
      if (open !== null) {
        var ids = new Set(open === '' ? [] : open.split(',').map(key));
        for (i = 0; i < nodes.length; i++) {
          if (this._isFolder(i)) nodes[i]._io = ids.has(key(nodes[i].id));
        }
      }
      var sel = readCookie(this._cookie('sel'));
      if (sel) {
        i = this._byId.get(key(sel));
        if (i !== undefined && this._par[i] !== UNREACHED) this.selectedNode = i;
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
      if (this.aNodes[i]._io && this._isFolder(i)) ids.push(text(this.aNodes[i].id));
    }
    writeCookie(this._cookie('open'), ids.join(','));
  };

  dTree.prototype._setOpen = function (i, open) {
    if (open && this.config.closeSameLevel) {
      for (var s = this._first[this._par[i]]; s >= 0; s = this._next[s]) {
        if (s !== i) this.aNodes[s]._io = false;
      }
    }
    this.aNodes[i]._io = open;
  };

  // Toggles a folder; called by the drawn page. During a search it opens or closes the folder
  // in the results only.
  dTree.prototype.o = function (i) {
    this._build();
    if (!this.aNodes[i] || !this._isFolder(i)) return;
    if (this._query !== null) {
      this._found[i] ^= SHOWN_OPEN;
    } else {
      this._setOpen(i, !this.aNodes[i]._io);
      this._saveOpen();
    }
    this._refresh();
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
    if (this.config.useCookies) writeCookie(this._cookie('sel'), text(this.aNodes[i].id));
  };

  // Shows the entry's name in the status bar while the mouse is over it; -1 clears it.
  dTree.prototype.st = function (i) {
    try {
      var el = i < 0 ? null : this._el('s', i);
      global.status = el ? el.textContent : '';
    } catch (e) {}
  };

  // openAll opens every folder even with closeSameLevel: it is an explicit request, and
  // closeSameLevel then applies again from the next single opening on. Both end a search.
  dTree.prototype._all = function (open) {
    if (!this._drawn) {
      this._pending.push(function () { this._all(open); });
      return;
    }
    this._build();
    this._endSearch();
    var nodes = this.aNodes;
    for (var i = 0; i < nodes.length; i++) {
      if (this._isFolder(i)) nodes[i]._io = open;
    }
    this._saveOpen();
    this._refresh();
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
    if (i === undefined || this._par[i] === UNREACHED) return;
    this._endSearch();
    this._openAbove(i);
    this._saveOpen();
    this._refresh();
    if (select) this.s(i);
  };

  dTree.prototype._openAbove = function (i) {
    for (var p = this._par[i]; p >= 0 && this._par[p] !== ROOT; p = this._par[p]) this._setOpen(p, true);
  };

  // Marks the entries whose names contain the text, and every entry above them, which the
  // results show open.
  dTree.prototype._find = function (query) {
    var nodes = this.aNodes;
    var n = nodes.length;
    var i;
    if (!this._lower) {
      this._lower = new Array(n);
      for (i = 0; i < n; i++) this._lower[i] = shownText(nodes[i].name).toLowerCase();
    }
    var lower = this._lower;
    var par = this._par;
    var found = this._found && this._found.length === n ? this._found.fill(0) : new Uint8Array(n);
    var matches = 0;
    for (i = 0; i < n; i++) {
      if (par[i] === UNREACHED || lower[i].indexOf(query) < 0) continue;
      found[i] |= MATCH;
      matches++;
      for (var p = par[i]; p >= 0 && !(found[p] & HOLDS); p = par[p]) found[p] |= HOLDS | SHOWN_OPEN;
    }
    this._found = found;
    this._matches = matches;
  };

  // Shows the results for the text typed, or the whole tree again when it is empty. The
  // entry selected during a search stays in view when the search ends.
  dTree.prototype._search = function (value) {
    this._build();
    var query = value === '' ? null : value.toLowerCase();
    if (query === this._query) return;
    var wasSearching = this._query !== null;
    this._query = query;
    if (query !== null) this._find(query);
    if (this._counter) this._counter.textContent = query === null ? '' : String(this._matches);
    if (query === null && wasSearching && this.selectedNode !== null) {
      this._openAbove(this.selectedNode);
      this._saveOpen();
    }
    this._layout();
    // The results start at the top of the tree, right under the field.
    var clip = this._clip;
    var bar = this._field && this._field.parentNode;
    if (clip && bar) {
      var above = clip.getBoundingClientRect().top - bar.getBoundingClientRect().bottom;
      if (above < 0) global.scrollBy(0, above);
    }
    this._render(true);
    if (query === null && wasSearching && this.selectedNode !== null) this._show(this.selectedNode);
  };

  dTree.prototype._endSearch = function () {
    if (this._query === null) return;
    this._query = null;
    if (this._field) this._field.value = '';
    if (this._counter) this._counter.textContent = '';
  };

  // Scrolls the entry's row into view, if it is open.
  dTree.prototype._show = function (i) {
    for (var r = 0; r < this._count; r++) {
      if (this._rows[r] !== i) continue;
      var rect = this._clip.getBoundingClientRect();
      var screen = global.innerHeight || 1000;
      var y = rect.top + r * this._rowH;
      if (y < 0 || y + this._rowH > screen) global.scrollBy(0, y - screen / 2);
      this._render(false);
      return;
    }
  };

  global.dTree = dTree;
})(typeof window !== 'undefined' ? window : this);
