// The script every page starts with: it builds the page's window, document,
// timers, console, fetch, beacons and message handlers over the native
// functions of page.cc, and hands the web view the hooks it drives the page
// with. The page cannot reach the native object or the hooks.
#include "platform/web/page.h"

namespace platform::web_internal {

const char kPageBootstrapScript[] = R"JS(
(function (native, locationJSON) {
  'use strict';
  var global = globalThis;
  var slice = Array.prototype.slice;
  function define(object, name, value) {
    Object.defineProperty(object, name, { value: value, writable: true, configurable: true, enumerable: false });
  }
  function getter(object, name, get, set) {
    Object.defineProperty(object, name, { get: get, set: set, configurable: true, enumerable: true });
  }

  ['window', 'self', 'top', 'parent'].forEach(function (name) { define(global, name, global); });

  // ---- console ----
  function text(value) {
    if (typeof value === 'string') return value;
    if (value !== null && typeof value === 'object' && !(value instanceof Error)) {
      try { var json = JSON.stringify(value); if (json !== undefined) return json; } catch (e) { }
    }
    return String(value);
  }
  var levels = { debug: 0, log: 1, info: 1, warn: 2, error: 3 };
  var console = {};
  Object.keys(levels).forEach(function (name) {
    console[name] = function () { native.log(levels[name], slice.call(arguments).map(text).join(' ')); };
  });
  define(global, 'console', console);

  // ---- timers (the platform clock drives them) ----
  var timers = new Map();
  var nextTimerId = 1;
  var nesting = 0;
  function addTimer(repeat, handler, delay, args) {
    delay = Number(delay);
    if (!(delay > 0)) delay = 0;
    if (delay > 2147483647) delay = 2147483647;
    if ((repeat || nesting >= 5) && delay < 4) delay = 4;
    var id = nextTimerId++;
    // 0: refused (the page holds as many live timers as it may).
    if (!native.setTimer(id, delay, repeat)) return 0;
    timers.set(id, { handler: handler, args: args, repeat: repeat, nesting: nesting + 1 });
    return id;
  }
  function clearTimer(id) {
    id = Number(id);
    if (timers.delete(id)) native.clearTimer(id);
  }
  define(global, 'setTimeout', function (handler, delay) { return addTimer(false, handler, delay, slice.call(arguments, 2)); });
  define(global, 'setInterval', function (handler, delay) { return addTimer(true, handler, delay, slice.call(arguments, 2)); });
  define(global, 'clearTimeout', clearTimer);
  define(global, 'clearInterval', clearTimer);
  function fireTimer(id) {
    var timer = timers.get(id);
    if (!timer) return;
    if (!timer.repeat) timers.delete(id);
    var outer = nesting;
    nesting = timer.nesting;
    try {
      if (typeof timer.handler === 'function') timer.handler.apply(global, timer.args);
      else (0, eval)(String(timer.handler));
    } finally {
      nesting = outer;
    }
  }

  // ---- events ----
  function Event(type) {
    this.type = String(type);
    this.target = null;
    this.currentTarget = null;
    this.defaultPrevented = false;
  }
  Event.prototype.preventDefault = function () { this.defaultPrevented = true; };
  Event.prototype.stopPropagation = function () { };
  define(global, 'Event', Event);
  var listeners = new WeakMap();
  function fire(target, event) {
    if (!event.target) event.target = target;
    event.currentTarget = target;
    var byType = listeners.get(target);
    var handlers = byType && byType.has(event.type) ? byType.get(event.type).slice() : [];
    var on = target['on' + event.type];
    if (typeof on === 'function') handlers.push(on);
    handlers.forEach(function (handler) {
      try {
        if (typeof handler === 'function') handler.call(target, event);
        else handler.handleEvent(event);
      } catch (e) {
        native.reportException(e);
      }
    });
    return !event.defaultPrevented;
  }
  // Called unqualified (addEventListener(...) in a page script), these act on
  // the window.
  function targetOf(self) { return self === undefined || self === null ? global : self; }
  function makeEventTarget(object) {
    define(object, 'addEventListener', function (type, listener) {
      if (typeof listener !== 'function' && !(listener && typeof listener.handleEvent === 'function')) return;
      var target = targetOf(this);
      var byType = listeners.get(target);
      if (!byType) listeners.set(target, byType = new Map());
      var list = byType.get(String(type));
      if (!list) byType.set(String(type), list = []);
      if (list.indexOf(listener) < 0) list.push(listener);
    });
    define(object, 'removeEventListener', function (type, listener) {
      var byType = listeners.get(targetOf(this));
      var list = byType && byType.get(String(type));
      var at = list ? list.indexOf(listener) : -1;
      if (at >= 0) list.splice(at, 1);
    });
    define(object, 'dispatchEvent', function (event) { return fire(targetOf(this), event); });
  }
  makeEventTarget(global);

  // ---- location ----
  var parts = JSON.parse(locationJSON);
  var location = {};
  ['href', 'protocol', 'host', 'hostname', 'port', 'pathname', 'search', 'hash', 'origin'].forEach(function (name) {
    getter(location, name, function () { return parts[name]; },
           name === 'href' ? function (url) { native.navigate(String(url), -1); } : undefined);
  });
  define(location, 'assign', function (url) { native.navigate(String(url), -1); });
  define(location, 'replace', function (url) { native.navigate(String(url), -1); });
  define(location, 'reload', function () { native.navigate(parts.href, 3); });
  define(location, 'toString', function () { return parts.href; });
  getter(global, 'location', function () { return location; }, function (url) { native.navigate(String(url), -1); });

  // A new window is the UI delegate's to open; the page gets no handle on it.
  define(global, 'open', function (url) {
    native.openWindow(url === undefined ? '' : String(url), -1);
    return null;
  });

  // ---- elements ----
  function Element(tag, attributes, parent) {
    define(this, '_attributes', new Map(attributes));
    define(this, '_nodes', []);
    this.localName = tag;
    this.tagName = tag.toUpperCase();
    this.nodeName = this.tagName;
    this.nodeType = 1;
    this.parentNode = parent;
    this.parentElement = parent;
  }
  makeEventTarget(Element.prototype);
  var proto = Element.prototype;
  define(proto, 'getAttribute', function (name) {
    name = String(name).toLowerCase();
    return this._attributes.has(name) ? this._attributes.get(name) : null;
  });
  define(proto, 'setAttribute', function (name, value) { this._attributes.set(String(name).toLowerCase(), String(value)); });
  define(proto, 'hasAttribute', function (name) { return this._attributes.has(String(name).toLowerCase()); });
  define(proto, 'removeAttribute', function (name) { this._attributes.delete(String(name).toLowerCase()); });
  getter(proto, 'id', function () { return this.getAttribute('id') || ''; }, function (v) { this.setAttribute('id', v); });
  getter(proto, 'className', function () { return this.getAttribute('class') || ''; },
         function (v) { this.setAttribute('class', v); });
  getter(proto, 'children', function () { return this._nodes.filter(function (n) { return typeof n !== 'string'; }); });
  getter(proto, 'textContent', function () {
    return this._nodes.map(function (n) { return typeof n === 'string' ? n : n.textContent; }).join('');
  });
  getter(proto, 'href', function () {
    var href = this.getAttribute('href');
    return href === null ? '' : native.resolve(href);
  });
  define(proto, 'click', function () {
    var event = new Event('click');
    fire(this, event);
    if (event.defaultPrevented || this.localName !== 'a' || !this.hasAttribute('href')) return;
    var target = (this.getAttribute('target') || '').toLowerCase();
    if (target && target !== '_self' && target !== '_top' && target !== '_parent') native.openWindow(this.getAttribute('href'), 0);
    else native.navigate(this.getAttribute('href'), 0);
  });

  // Selectors: compounds of tag, *, #id, .class, [attr] and [attr=value]
  // (value bare or quoted, without spaces or commas), joined by descendant
  // combinators (spaces), in comma-separated lists.
  var compoundPattern = /^(\*|[a-zA-Z][\w-]*)?((?:#[\w-]+|\.[\w-]+|\[[\w-]+(?:=(?:"[^"]*"|'[^']*'|[^\]"']+))?\])*)$/;
  var partPattern = /#([\w-]+)|\.([\w-]+)|\[([\w-]+)(?:=(?:"([^"]*)"|'([^']*)'|([^\]"']+)))?\]/g;
  function parseCompound(selector, part) {
    var m = compoundPattern.exec(part);
    if (!m || part === '') throw new SyntaxError("'" + selector + "' is not a valid selector");
    var compound = { tag: m[1] && m[1] !== '*' ? m[1].toLowerCase() : null, id: null, classes: [], attributes: [] };
    var p;
    partPattern.lastIndex = 0;
    while ((p = partPattern.exec(m[2])) !== null) {
      if (p[1] !== undefined) compound.id = p[1];
      else if (p[2] !== undefined) compound.classes.push(p[2]);
      else compound.attributes.push({ name: p[3].toLowerCase(), value: p[4] !== undefined ? p[4] : p[5] !== undefined ? p[5] : p[6] !== undefined ? p[6] : null });
    }
    return compound;
  }
  function parseSelector(selector) {
    selector = String(selector);
    return selector.split(',').map(function (group) {
      return group.trim().split(/\s+/).map(function (part) { return parseCompound(selector, part); });
    });
  }
  function matchesCompound(element, compound) {
    if (compound.tag && element.localName !== compound.tag) return false;
    if (compound.id !== null && element.getAttribute('id') !== compound.id) return false;
    var classes = (element.getAttribute('class') || '').split(/\s+/);
    if (!compound.classes.every(function (c) { return classes.indexOf(c) >= 0; })) return false;
    return compound.attributes.every(function (a) {
      return element.hasAttribute(a.name) && (a.value === null || element.getAttribute(a.name) === a.value);
    });
  }
  function matchesChain(element, chain) {
    if (!matchesCompound(element, chain[chain.length - 1])) return false;
    var i = chain.length - 2;
    for (var up = element.parentElement; i >= 0 && up; up = up.parentElement) {
      if (matchesCompound(up, chain[i])) i--;
    }
    return i < 0;
  }
  function descendants(root, out) {
    root._nodes.forEach(function (n) {
      if (typeof n !== 'string') { out.push(n); descendants(n, out); }
    });
    return out;
  }
  function querySelectorAll(selector) {
    var chains = parseSelector(selector);
    return descendants(this, []).filter(function (element) {
      return chains.some(function (chain) { return matchesChain(element, chain); });
    });
  }
  function querySelector(selector) { return querySelectorAll.call(this, selector)[0] || null; }
  function getElementsByTagName(tag) {
    tag = String(tag).toLowerCase();
    return descendants(this, []).filter(function (e) { return tag === '*' || e.localName === tag; });
  }
  [proto].forEach(function (o) {
    define(o, 'querySelector', querySelector);
    define(o, 'querySelectorAll', querySelectorAll);
    define(o, 'getElementsByTagName', getElementsByTagName);
  });

  // ---- document ----
  var readyState = 'loading';
  var document = {};
  define(document, '_nodes', []);
  makeEventTarget(document);
  define(document, 'querySelector', querySelector);
  define(document, 'querySelectorAll', querySelectorAll);
  define(document, 'getElementsByTagName', getElementsByTagName);
  define(document, 'getElementById', function (id) {
    id = String(id);
    return descendants(this, []).find(function (e) { return e.getAttribute('id') === id; }) || null;
  });
  getter(document, 'readyState', function () { return readyState; });
  getter(document, 'location', function () { return location; }, function (url) { native.navigate(String(url), -1); });
  getter(document, 'URL', function () { return parts.href; });
  getter(document, 'documentElement', function () { return this._nodes[0] || null; });
  getter(document, 'head', function () { return this.querySelector('head'); });
  getter(document, 'body', function () { return this.querySelector('body'); });
  getter(document, 'title', function () {
    var title = this.querySelector('title');
    return title ? title.textContent.trim() : '';
  });
  getter(global, 'document', function () { return document; });

  function build(node, parent) {
    if (typeof node === 'string') return node;
    var element = new Element(node.t, node.a, parent);
    node.c.forEach(function (child) { element._nodes.push(build(child, element)); });
    return element;
  }

  // document.write: the native side parses the markup and says whether it
  // goes into the document being run (after its nodes) or replaces it.
  function write(markup) {
    var answer = native.write(markup);
    if (typeof answer !== 'string') return;
    var root = build(JSON.parse(answer.slice(1)), null);
    if (answer.charAt(0) === '0' || !document._nodes.length) {
      readyState = 'loading';
      document._nodes.length = 0;
      document._nodes.push(root);
      return;
    }
    var into = document.body || document.documentElement;
    root.children.forEach(function (part) {
      part._nodes.forEach(function (node) {
        if (typeof node !== 'string') node.parentNode = node.parentElement = into;
        into._nodes.push(node);
      });
    });
  }
  define(document, 'write', function () { write(slice.call(arguments).map(String).join('')); });
  define(document, 'writeln', function () { write(slice.call(arguments).map(String).join('') + '\n'); });

  // ---- base64 of binary strings ----
  define(global, 'btoa', function (data) {
    if (arguments.length < 1) throw new TypeError('Not enough arguments');
    return native.btoa(String(data));
  });
  define(global, 'atob', function (data) {
    if (arguments.length < 1) throw new TypeError('Not enough arguments');
    return native.atob(String(data));
  });

  // ---- fetch (file URLs; see the web view's documentation) ----
  var fetches = new Map();
  var nextFetchId = 1;
  define(global, 'fetch', function (input) {
    var url = String(input);
    return new Promise(function (resolve, reject) {
      var id = nextFetchId++;
      fetches.set(id, { resolve: resolve, reject: reject });
      // Refused at once when the page has as many fetches waiting as it may.
      if (native.fetch(id, url) !== true) {
        fetches.delete(id);
        reject(new TypeError('Failed to fetch'));
      }
    });
  });

  // ---- navigator.sendBeacon (http and https; see the web view's documentation) ----
  var navigator = {};
  define(navigator, 'sendBeacon', function (url, data) {
    if (arguments.length < 1) throw new TypeError('Not enough arguments');
    var hasBody = data !== undefined && data !== null;
    return native.sendBeacon(String(url), hasBody, hasBody ? String(data) : '') === true;
  });
  define(global, 'navigator', navigator);

  // ---- script message handlers (the web view keeps the names current) ----
  var messageHandlers = {};
  var handlerObjects = new Map();
  define(global, 'webkit', Object.freeze({ messageHandlers: messageHandlers }));
  function setHandlers(names) {
    Object.keys(messageHandlers).forEach(function (name) { delete messageHandlers[name]; });
    names.forEach(function (name) {
      var handler = handlerObjects.get(name);
      if (!handler) {
        handler = Object.freeze({
          postMessage: function (body) {
            if (arguments.length < 1) throw new TypeError('Not enough arguments');
            native.postMessage(name, body);
          }
        });
        handlerObjects.set(name, handler);
      }
      messageHandlers[name] = handler;
    });
  }

  // ---- what the web view drives the page with ----
  return {
    fireTimer: fireTimer,
    setHandlers: function (json) { setHandlers(JSON.parse(json)); },
    buildDocument: function (json) {
      document._nodes.length = 0;
      document._nodes.push(build(JSON.parse(json), null));
    },
    setReadyState: function (state) {
      readyState = state;
      fire(document, new Event('readystatechange'));
    },
    dispatch: function (target, type) { fire(target === 'window' ? global : document, new Event(type)); },
    settleFetch: function (id, ok, body, url) {
      var pending = fetches.get(id);
      if (!pending) return;
      fetches.delete(id);
      if (!ok) {
        pending.reject(new TypeError('Failed to fetch'));
        return;
      }
      pending.resolve({
        ok: true, status: 200, statusText: 'OK', url: url,
        text: function () { return Promise.resolve(body); },
        json: function () { return Promise.resolve(body).then(JSON.parse); }
      });
    }
  };
})
)JS";

}  // namespace platform::web_internal
