// Relays the page library's messages between this page and the extension's
// background, which talks to the native host. Only messages the page posts
// to itself with the library's tag pass; everything else is left alone.
(() => {
  "use strict";
  const api = globalThis.browser || globalThis.chrome;
  const TO_HOST = "pendrel:page";
  const TO_PAGE = "pendrel:extension";
  let port = null;

  // A plain copy of what the page posted: its own fields, no prototypes or
  // getters of the page's. Strings are shared, not copied, so a document's
  // pieces cost nothing here.
  function plain(value, depth) {
    if (value === null || typeof value !== "object") return typeof value === "function" ? null : value;
    if (depth > 8) return null;
    if (Array.isArray(value)) return Array.from(value, (item) => plain(item, depth + 1));
    const copy = {};
    for (const key of Object.keys(value)) copy[key] = plain(value[key], depth + 1);
    return copy;
  }

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
    // The background adds the origin.
    port.postMessage(plain(message, 0));
  });
})();
