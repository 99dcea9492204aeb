// Relays the page library's messages between this page and the extension's
// background, which talks to the native host. Only messages the page posts
// to itself with the library's tag pass; everything else is left alone.
(() => {
  "use strict";
  const api = globalThis.browser || globalThis.chrome;
  const TO_HOST = "pendrel:page";
  const TO_PAGE = "pendrel:extension";
  let port = null;

  function toPage(message) {
    window.postMessage({ tag: TO_PAGE, message }, "*");
  }

  // One port per page document: the background opens the native host for it
  // on the first message and closes the host when this port goes away.
  function openPort() {
    port = api.runtime.connect({ name: "pendrel-page" });
    port.onMessage.addListener((message) => toPage(message));
    port.onDisconnect.addListener(() => {
      port = null;
      toPage({ closed: true, error: "the extension closed the connection" });
    });
  }

  window.addEventListener("message", (event) => {
    if (event.source !== window) return;
    const data = event.data;
    if (data === null || typeof data !== "object" || data.tag !== TO_HOST) return;
    const message = data.message;
    if (message === null || typeof message !== "object") return;
    if (port === null) openPort();
    // A copy of the page's own fields only: the background adds the origin.
    port.postMessage(JSON.parse(JSON.stringify(message)));
  });
})();
