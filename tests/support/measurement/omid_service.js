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
//   "geometry"      {viewState}            (the native view hierarchy)
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

  function resourceOf(injectionId) {
    var resources = session && session.injectedResources;
    return resources && typeof resources === 'object' && resources[injectionId] ? resources[injectionId] : {};
  }

  function deliver(verification, event) {
    var resource = resourceOf(verification.injectionId);
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
    setNativeViewHierarchy: command('setNativeViewHierarchy', function (viewState) { emit('geometry', { viewState: viewState }); }),
    setState: command('setState', function (appState) { emit('state', { appState: appState }); }),
    setDeviceVolume: command('setDeviceVolume', function (deviceVolume) { emit('volume', { deviceVolume: deviceVolume }); }),
    setLastActivity: command('setLastActivity', function (lastActivity) { emit('activity', { lastActivity: lastActivity }); })
  };

  global.omidService = {
    // Registers a verification script; false when the identifier is missing or
    // taken. The handler receives every event so far, then the live ones.
    registerVerification: function (injectionId, handler) {
      if (typeof injectionId !== 'string' || injectionId === '' || typeof handler !== 'function') return false;
      for (var i = 0; i < verifications.length; i++) {
        if (verifications[i].injectionId === injectionId) return false;
      }
      var verification = { injectionId: injectionId, handler: handler };
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
    record: function () { return record; },
    events: function () { return events; },
    verifications: function () {
      var ids = [];
      for (var i = 0; i < verifications.length; i++) ids.push(verifications[i].injectionId);
      return ids;
    }
  };
})(this);
