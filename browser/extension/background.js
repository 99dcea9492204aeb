// The extension's background: one native host process per page connection.
// Every message is stamped with the origin the browser reports for the page
// that sent it; whatever origin the page itself claims is overwritten.
"use strict";
const api = globalThis.browser || globalThis.chrome;
const HOST = "org.pendrel.bridge";

// The origin of the page behind a port: Chromium reports it, Firefox gives
// the page's address.
function senderOrigin(sender) {
  if (typeof sender.origin === "string" && sender.origin !== "" && sender.origin !== "null") return sender.origin;
  try {
    return new URL(sender.url).origin;
  } catch (e) {
    return "null";
  }
}

function disconnectReason(nativePort) {
  if (nativePort.error && nativePort.error.message) return nativePort.error.message;  // Firefox
  const last = api.runtime.lastError;  // Chromium
  return last && last.message ? last.message : "the host ended";
}

api.runtime.onConnect.addListener((port) => {
  if (port.name !== "pendrel-page") return;
  const sender = port.sender || {};
  // Top-level page documents only.
  if (!sender.tab || (sender.frameId !== undefined && sender.frameId !== 0)) {
    port.disconnect();
    return;
  }
  const origin = senderOrigin(sender);
  let native = null;
  let pageGone = false;

  function openNative() {
    const opened = api.runtime.connectNative(HOST);
    opened.onMessage.addListener((answer) => {
      if (!pageGone) port.postMessage(answer);
    });
    opened.onDisconnect.addListener(() => {
      const reason = disconnectReason(opened);
      if (native === opened) native = null;
      if (!pageGone) port.postMessage({ closed: true, error: reason });
    });
    native = opened;
  }

  port.onMessage.addListener((message) => {
    if (message === null || typeof message !== "object" || Array.isArray(message)) return;
    message.origin = origin;
    try {
      if (native === null) openNative();
      native.postMessage(message);
    } catch (e) {
      port.postMessage({ id: typeof message.id === "number" ? message.id : null, ok: false,
                         error: "cannot reach the native host: " + (e && e.message ? e.message : e) });
    }
  });

  // Reload, navigation or a closed tab: the host ends with its port.
  port.onDisconnect.addListener(() => {
    pageGone = true;
    if (native !== null) {
      native.disconnect();
      native = null;
    }
  });
});
