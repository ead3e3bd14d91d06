// The project's verification script (plain ES5). It runs once, wrapped with
// its injection identifier in omidVerificationProperties, registers with the
// service script and sends one beacon per event of its session to the URL in
// its verification parameters:
//   {"beaconUrl": "http://host/measurement/beacon", "tag": "vendor-a"}
// (a parameters text that is no JSON object is taken as the URL itself).
// Beacons go out one after the other (the next once the previous one was sent
// or failed), each a GET of
//   <beaconUrl>?seq=N&event=TYPE&injectionId=ID&tag=TAG&data=JSON
// where data is the event's data as JSON, left out (with dataBytes=N) when it
// is longer than 4000 characters. Each beacon also names the script's vendor
// (&vendor=KEY), and the session start's beacon carries the script's own
// verification parameters as given (&parameters=TEXT). A geometry beacon
// carries the service's measure, {percentageInView[, notVisibleReason]}, not
// the view hierarchy.
//
// Viewability: once the ad has been at least 50% in view for one second of
// the script's clock without a drop below, the script sends one "viewable"
// beacon for the session ({percentageInView}: the share when the second
// began). Nothing is in view while the application is in the background
// (the state events): going there stops the second, and coming back starts
// it over with the share last measured.
//
// A page that carries the script itself sets omidVerificationProperties
// before it runs: {injectionId, vendorKey, verificationParameters} (the
// latter two stand where the session names no resource for the script) and
// optionally observer(type, data), called with each beacon's event and data
// as it is queued.
(function (global) {
  'use strict';
  var properties = global.omidVerificationProperties || {};
  var injectionId = properties.injectionId;
  var service = global.omidService;
  global.omidVerificationRuns = (global.omidVerificationRuns || []).concat([
    { injectionId: injectionId === undefined ? null : injectionId, service: !!service }
  ]);
  if (!service || typeof injectionId !== 'string') return;

  var beaconUrl = null;
  var tag = '';
  var vendor = '';
  var queue = [];
  var sending = false;
  var count = 0;
  var viewableTimer = null;
  var viewableSent = false;
  var share = 0;              // of the last geometry event
  var backgrounded = false;   // of the last state event
  var observer = typeof properties.observer === 'function' ? properties.observer : null;

  // The script's clock: a page's timers, else the script context's.
  function timers() {
    var host = typeof global.setTimeout === 'function' ? global : global.omidNative;
    if (!host || typeof host.setTimeout !== 'function') return null;
    return {
      set: function (fn, ms) { return host.setTimeout(fn, ms); },
      clear: function (id) { host.clearTimeout(id); }
    };
  }

  function parameters(text) {
    try {
      var parsed = JSON.parse(text);
      if (parsed && typeof parsed === 'object') return parsed;
    } catch (e) {
      // not JSON: the text is the URL
    }
    return { beaconUrl: text };
  }

  function flush() {
    if (sending || queue.length === 0) return;
    sending = true;
    var next = function () {
      sending = false;
      flush();
    };
    service.sendUrl(queue.shift(), next, next);
  }

  function summary(event) {
    var data = event.data === undefined ? null : event.data;
    if (event.type !== 'geometry' || !data) return data;
    var measure = { percentageInView: data.percentageInView };
    if (data.notVisibleReason !== undefined) measure.notVisibleReason = data.notVisibleReason;
    return measure;
  }

  function beacon(event) {
    count += 1;
    var summarized = summary(event);
    if (observer) {
      try {
        observer(event.type, summarized);
      } catch (e) {
        // the page's fault stays its own
      }
    }
    var data = JSON.stringify(summarized);
    var url = beaconUrl + (beaconUrl.indexOf('?') < 0 ? '?' : '&') + 'seq=' + count +
        '&event=' + encodeURIComponent(event.type) + '&injectionId=' + encodeURIComponent(injectionId) +
        '&tag=' + encodeURIComponent(tag);
    url += '&vendor=' + encodeURIComponent(vendor);
    if (event.type === 'sessionStart') url += '&parameters=' + encodeURIComponent(String(event.verificationParameters));
    url += data.length > 4000 ? '&dataBytes=' + data.length : '&data=' + encodeURIComponent(data);
    queue.push(url);
    flush();
  }

  function stopViewableTimer() {
    var clock = timers();
    if (viewableTimer !== null && clock) clock.clear(viewableTimer);
    viewableTimer = null;
  }

  // 50% or more in the foreground starts the second (unless it runs or the
  // ad was viewable); less, or the background, stops it. The native side
  // sends no geometry in the background (its walk pauses) and none on the
  // way back while nothing moved, so a state event measures with the share
  // last heard.
  function watchViewability(event) {
    if (event.type === 'sessionFinish') return stopViewableTimer();
    if (viewableSent) return;
    if (event.type === 'geometry') {
      share = event.data ? Number(event.data.percentageInView) : 0;
    } else if (event.type === 'state') {
      backgrounded = !!event.data && event.data.appState === 'backgrounded';
    } else {
      return;
    }
    if (backgrounded || !(share >= 50)) return stopViewableTimer();
    if (viewableTimer !== null) return;
    var clock = timers();
    if (!clock) return;
    var began = share;
    viewableTimer = clock.set(function () {
      viewableTimer = null;
      if (viewableSent) return;
      viewableSent = true;
      if (beaconUrl) beacon({ type: 'viewable', data: { percentageInView: began } });
    }, 1000);
  }

  service.registerVerification(injectionId, function (event) {
    if (event.type === 'sessionStart') {
      var given = parameters(event.verificationParameters);
      beaconUrl = typeof given.beaconUrl === 'string' && given.beaconUrl !== '' ? given.beaconUrl : null;
      tag = typeof given.tag === 'string' ? given.tag : '';
      vendor = typeof event.vendorKey === 'string' ? event.vendorKey : '';
    }
    if (beaconUrl) beacon(event);
    watchViewability(event);
  }, { vendorKey: properties.vendorKey, verificationParameters: properties.verificationParameters });
})(this);
