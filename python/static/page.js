// Follows the device without a reload by the user: a device plugged or unplugged, or an action
// that starts or ends, shows the page afresh; the progress of a running action moves in place.
// A program that stops answering, or answers that this page's token is no longer its own (it
// was restarted with a new one), is shown by the notes the page carries for that.
(function () {
  "use strict";
  var FORBIDDEN = 403;
  var followMs = Number(document.body.getAttribute("data-follow-ms")) || 500;
  // The state the page was made in, written by the same rules as JSON.stringify writes it here.
  var made = document.body.getAttribute("data-state");
  var seen = made ? JSON.stringify(JSON.parse(made)) : null;
  var timer = null;

  function showOnly(id) {
    ["silent", "restarted"].forEach(function (note) {
      var element = document.getElementById(note);
      if (element) {
        element.hidden = note !== id;
      }
    });
  }

  function follow(state) {
    showOnly(null);
    var key = JSON.stringify([state.device, state.working]);
    if (seen !== null && key !== seen) {
      location.href = "/";
      return;
    }
    seen = key;
    var bar = document.getElementById("progress");
    if (bar && state.progress >= 0) {
      bar.value = Math.round(Math.min(state.progress, 1) * 100);
      bar.textContent = bar.value + " %";
    }
  }

  function ask() {
    fetch("/state", {cache: "no-store", credentials: "same-origin"})
      .then(function (answer) {
        if (answer.status === FORBIDDEN) {
          // The token of this page is gone for good: asking again changes nothing.
          clearInterval(timer);
          showOnly("restarted");
          return null;
        }
        return answer.ok ? answer.json() : null;
      })
      .then(function (state) {
        if (state) {
          follow(state);
        }
      })
      .catch(function () {
        showOnly("silent");
      });
  }

  ask();
  timer = setInterval(ask, followMs);
})();
