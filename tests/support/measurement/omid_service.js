// The project's measurement service script (plain ES5). The native side of a
// measured session drives it through the commands on `omidBridge`; the
// verification scripts of the session register with `omidService` under their
// injection identifier and receive every event of the session as one object:
//   {type, sequence, adSessionId, injectionId, vendorKey, verificationParameters, data}
// types and their data:
//   "sessionStart"  {adSessionId, context, configuration}
//   "impression"    {}
//   "loaded"        {} or {vastProperties}
//   "media"         {name, parameters}
//   "error"         {errorType, message}
//   "geometry"      {viewState, percentageInView[, notVisibleReason]}
//                   (the native view hierarchy and how much of the session's
//                   ad view it shows, see percentageInView below)
//   "state"         {appState}
//   "volume"        {deviceVolume}
//   "activity"      {lastActivity}
//   "sessionFinish" {}
// Events published before the session starts are kept and handed out right
// after "sessionStart"; a verification script that registers late receives
// every event so far, in order, before the live ones. Nothing is handed out
// after "sessionFinish".
//
// omidService.record() lists every command as it arrived ({command, args}),
// for tests and for the console.
//
// A verification script that the page carries itself (no resource of the
// session names it) registers with its own {vendorKey,
// verificationParameters}.
(function (global) {
  'use strict';
  if (global.omidBridge !== undefined) return;

  var record = [];
  var configuration = null;
  var session = null;       // {id, context, verificationParameters, injectedResources}
  var finished = false;
  var pending = [];         // events before the start
  var events = [];          // events since the start, in order
  var verifications = [];   // {injectionId, handler}
  var sequence = 0;

  function resourceOf(verification) {
    var resources = session && session.injectedResources;
    if (resources && typeof resources === 'object' && resources[verification.injectionId]) {
      return resources[verification.injectionId];
    }
    return verification.resource;
  }

  // ---------------------------------------------------------- percentage in view

  var NOTHING = { left: 0, top: 0, right: 0, bottom: 0 };

  function number(value) {
    return typeof value === 'number' && isFinite(value) ? value : 0;
  }

  function frameOf(state) {
    var x = number(state.x), y = number(state.y);
    return { left: x, top: y, right: x + Math.max(0, number(state.width)), bottom: y + Math.max(0, number(state.height)) };
  }

  function intersect(a, b) {
    var r = { left: Math.max(a.left, b.left), top: Math.max(a.top, b.top),
              right: Math.min(a.right, b.right), bottom: Math.min(a.bottom, b.bottom) };
    return r.right > r.left && r.bottom > r.top ? r : null;
  }

  function area(r) {
    return r ? (r.right - r.left) * (r.bottom - r.top) : 0;
  }

  // The area of the union of the rectangles, over the grid their edges make.
  function unionArea(rects) {
    if (rects.length === 0) return 0;
    var xs = [], ys = [];
    for (var i = 0; i < rects.length; i++) {
      xs.push(rects[i].left, rects[i].right);
      ys.push(rects[i].top, rects[i].bottom);
    }
    var ascending = function (a, b) { return a - b; };
    xs.sort(ascending);
    ys.sort(ascending);
    var total = 0;
    for (var xi = 0; xi + 1 < xs.length; xi++) {
      var x0 = xs[xi], x1 = xs[xi + 1];
      if (x1 <= x0) continue;
      for (var yi = 0; yi + 1 < ys.length; yi++) {
        var y0 = ys[yi], y1 = ys[yi + 1];
        if (y1 <= y0) continue;
        for (var k = 0; k < rects.length; k++) {
          var r = rects[k];
          if (r.left <= x0 && r.right >= x1 && r.top <= y0 && r.bottom >= y1) {
            total += (x1 - x0) * (y1 - y0);
            break;
          }
        }
      }
    }
    return total;
  }

  function listed(list, id) {
    if (!list || typeof list.length !== 'number') return false;
    for (var i = 0; i < list.length; i++) if (String(list[i]) === id) return true;
    return false;
  }

  // How much of the session's ad view the hierarchy shows, in percent of its
  // frame (two decimals): the frame cut by the screen (the root state) and by
  // every ancestor that clips, less what is drawn above it (every state
  // after it in the walk's order) outside its friendly obstructions' subtrees,
  // each cut by its own clipping ancestors. The walk marks only the
  // obstruction's own view, yet what lies in it (a close button's icon) is
  // part of it. A state that names why the ad cannot be seen counts 0; so
  // does a hierarchy without the ad.
  function percentageInView(viewState, adSessionId) {
    var result = { percentageInView: 0 };
    if (!viewState || typeof viewState !== 'object') return result;
    var ad = null;
    var above = [];
    var visit = function (state, clip, friendly) {
      if (!state || typeof state !== 'object') return;
      var frame = frameOf(state);
      var visible = clip ? intersect(frame, clip) : frame;
      if (ad === null && state.adSessionId !== undefined && String(state.adSessionId) === adSessionId) {
        ad = { frame: frame, visible: visible, reason: state.notVisibleReason };
        return;  // the walk leaves an ad view's own subviews out
      }
      var inFriendly = friendly || listed(state.isFriendlyObstructionFor, adSessionId);
      if (ad !== null) {
        if (inFriendly) return;
        if (visible) above.push(visible);
      }
      var children = state.childViews;
      if (!children || typeof children.length !== 'number') return;
      // A clipping state that shows nothing hides its whole subtree.
      var inner = state.clipsToBounds === true ? visible || NOTHING : clip;
      for (var i = 0; i < children.length; i++) visit(children[i], inner, inFriendly);
    };
    visit(viewState, null, false);
    if (ad === null) return result;
    if (ad.reason !== undefined) {
      result.notVisibleReason = ad.reason;
      return result;
    }
    var whole = area(ad.frame);
    if (whole <= 0 || !ad.visible) return result;
    var covered = [];
    for (var i = 0; i < above.length; i++) {
      var part = intersect(above[i], ad.visible);
      if (part) covered.push(part);
    }
    var shown = area(ad.visible) - unionArea(covered);
    result.percentageInView = Math.round(Math.max(0, Math.min(100, shown / whole * 100)) * 100) / 100;
    return result;
  }

  function deliver(verification, event) {
    var resource = resourceOf(verification) || {};
    var own = {
      type: event.type,
      sequence: event.sequence,
      adSessionId: session ? session.id : null,
      injectionId: verification.injectionId,
      vendorKey: resource.vendorKey === undefined ? null : resource.vendorKey,
      verificationParameters: resource.verificationParameters === undefined ? null : resource.verificationParameters,
      data: event.data
    };
    try {
      verification.handler(own);
    } catch (e) {
      // One verification script's fault stays its own.
    }
  }

  function emit(type, data) {
    if (finished) return;
    var event = { type: type, sequence: 0, data: data };
    if (!session) {
      pending.push(event);
      return;
    }
    if (type === 'geometry') {
      // Measured against the session's own ad view, so only once it started.
      var measured = percentageInView(data.viewState, String(session.id));
      measured.viewState = data.viewState;
      event.data = measured;
    }
    sequence += 1;
    event.sequence = sequence;
    events.push(event);
    for (var i = 0; i < verifications.length; i++) deliver(verifications[i], event);
  }

  function command(name, body) {
    return function () {
      record.push({ command: name, args: Array.prototype.slice.call(arguments) });
      body.apply(null, arguments);
    };
  }

  global.omidBridge = {
    init: command('init', function (config) { configuration = config; }),
    startSession: command('startSession', function (adSessionId, context, verificationParameters, injectedResources) {
      if (session || finished) return;
      session = {
        id: adSessionId,
        context: context,
        verificationParameters: verificationParameters,
        injectedResources: injectedResources
      };
      emit('sessionStart', { adSessionId: adSessionId, context: context, configuration: configuration });
      var before = pending;
      pending = [];
      for (var i = 0; i < before.length; i++) emit(before[i].type, before[i].data);
    }),
    finishSession: command('finishSession', function () {
      emit('sessionFinish', {});
      finished = true;
    }),
    publishImpressionEvent: command('publishImpressionEvent', function () { emit('impression', {}); }),
    publishLoadedEvent: command('publishLoadedEvent', function (vastProperties) {
      emit('loaded', vastProperties === undefined ? {} : { vastProperties: vastProperties });
    }),
    publishMediaEvent: command('publishMediaEvent', function (name, parameters) {
      emit('media', { name: name, parameters: parameters === undefined ? null : parameters });
    }),
    error: command('error', function (errorType, message) { emit('error', { errorType: errorType, message: message }); }),
    setNativeViewHierarchy: command('setNativeViewHierarchy', function (viewState) {
      emit('geometry', { viewState: viewState });
    }),
    setState: command('setState', function (appState) { emit('state', { appState: appState }); }),
    setDeviceVolume: command('setDeviceVolume', function (deviceVolume) { emit('volume', { deviceVolume: deviceVolume }); }),
    setLastActivity: command('setLastActivity', function (lastActivity) { emit('activity', { lastActivity: lastActivity }); })
  };

  global.omidService = {
    // Registers a verification script; false when the identifier is missing or
    // taken. The handler receives every event so far, then the live ones.
    // `resource` ({vendorKey, verificationParameters}) stands where the
    // session names no resource under the identifier.
    registerVerification: function (injectionId, handler, resource) {
      if (typeof injectionId !== 'string' || injectionId === '' || typeof handler !== 'function') return false;
      for (var i = 0; i < verifications.length; i++) {
        if (verifications[i].injectionId === injectionId) return false;
      }
      var own = resource && typeof resource === 'object' ? resource : {};
      var verification = { injectionId: injectionId, handler: handler,
                           resource: { vendorKey: own.vendorKey, verificationParameters: own.verificationParameters } };
      verifications.push(verification);
      for (var k = 0; k < events.length; k++) deliver(verification, events[k]);
      return true;
    },
    // A fire-and-forget request to the URL through the host: the script
    // context's ping, else the page's beacon; one of the callbacks follows.
    sendUrl: function (url, onSuccess, onFailure) {
      var ok = typeof onSuccess === 'function' ? onSuccess : function () {};
      var failed = typeof onFailure === 'function' ? onFailure : function () {};
      var host = global.omidNative;
      if (host && typeof host.sendUrl === 'function') {
        host.sendUrl(String(url), ok, failed);
      } else if (global.navigator && typeof global.navigator.sendBeacon === 'function') {
        if (global.navigator.sendBeacon(String(url))) ok(); else failed();
      } else {
        failed();
      }
    },
    percentageInView: percentageInView,
    record: function () { return record; },
    events: function () { return events; },
    verifications: function () {
      var ids = [];
      for (var i = 0; i < verifications.length; i++) ids.push(verifications[i].injectionId);
      return ids;
    }
  };
})(this);
