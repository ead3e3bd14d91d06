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
// is longer than 4000 characters.
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
  var queue = [];
  var sending = false;
  var count = 0;

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

  function beacon(event) {
    count += 1;
    var data = JSON.stringify(event.data === undefined ? null : event.data);
    var url = beaconUrl + (beaconUrl.indexOf('?') < 0 ? '?' : '&') + 'seq=' + count +
        '&event=' + encodeURIComponent(event.type) + '&injectionId=' + encodeURIComponent(injectionId) +
        '&tag=' + encodeURIComponent(tag);
    url += data.length > 4000 ? '&dataBytes=' + data.length : '&data=' + encodeURIComponent(data);
    queue.push(url);
    flush();
  }

  service.registerVerification(injectionId, function (event) {
    if (event.type === 'sessionStart') {
      var given = parameters(event.verificationParameters);
      beaconUrl = typeof given.beaconUrl === 'string' && given.beaconUrl !== '' ? given.beaconUrl : null;
      tag = typeof given.tag === 'string' ? given.tag : '';
    }
    if (beaconUrl) beacon(event);
  });
})(this);
