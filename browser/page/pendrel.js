// Pendrel PDF for web pages: the plug-in's script vocabulary, asynchronously,
// through the Pendrel PDF browser extension and its native host.
//
//   const plugin = await Pendrel.connect();
//   const request = await plugin.createPropObject();
//   await request.feedDocument(bytes, { onProgress: (done, total) => {} });
//   request.reason = "Approved";             // writes are sent in order
//   const pages = await request.pages;       // reads are awaited
//   const result = await plugin.sign(request);
//   const signed = await result.readDocument();
//
// Plug-in objects are proxies: names are matched without regard to case by
// the plug-in, `await obj.name` reads, `obj.name = v` writes, `await
// obj.name(...)` calls, and `obj.release()` gives the object back. A write
// the plug-in refuses rejects the next awaited operation on that object.
(function (global) {
  "use strict";

  const TO_HOST = "pendrel:page";
  const TO_PAGE = "pendrel:extension";
  const CONNECT_TIMEOUT_MS = 5000;
  // 3 MiB of bytes are 4 MiB of Base64 text in whole 3-byte groups.
  const FEED_PIECE_BYTES = 3 * 1024 * 1024;
  // Pieces under way at once while feeding: the next piece is encoded and
  // sent while the host decodes the one before.
  const FEED_IN_FLIGHT = 2;
  // Base64 characters of one read answer (whole groups; the host answers
  // at most 768 KiB), and reads sent ahead of the answers, so that the host
  // gathers the next piece while the browser carries the one before.
  const READ_PIECE_CHARS = 768 * 1024;
  const READ_IN_FLIGHT = 3;

  let nextId = 1;
  const pending = new Map();  // message id -> { resolve, reject }
  // Objects of one host connection; a closed connection makes them stale.
  let generation = 0;
  const states = new WeakMap();  // proxy -> object state

  function unavailable(why) {
    const error = new Error("Pendrel PDF is not available: " + why);
    error.name = "PendrelUnavailable";
    return error;
  }

  function closedError(why) {
    const error = new Error("the connection to Pendrel PDF closed: " + why);
    error.name = "PendrelClosed";
    return error;
  }

  function rejectAll(makeError) {
    const waiting = Array.from(pending.values());
    pending.clear();
    for (const entry of waiting) entry.reject(makeError(entry));
  }

  global.addEventListener("message", (event) => {
    if (event.source !== global) return;
    const data = event.data;
    if (data === null || typeof data !== "object" || data.tag !== TO_PAGE) return;
    const message = data.message;
    if (message === null || typeof message !== "object") return;
    if (message.closed) {
      // The host ended (or never started): everything under way fails, and
      // the objects of that connection are gone with it.
      generation++;
      const why = String(message.error || "the host ended");
      rejectAll((entry) => (entry.hello ? unavailable(why) : closedError(why)));
      return;
    }
    if (typeof message.id !== "number") {
      // An answer the host could not tie to a message: nothing under way can
      // be trusted to get its own.
      if (message.ok === false) rejectAll(() => new Error(String(message.error)));
      return;
    }
    const entry = pending.get(message.id);
    if (entry === undefined) return;
    pending.delete(message.id);
    if (message.ok === true) {
      entry.resolve(message.value);
    } else {
      entry.reject(new Error(String(message.error)));
    }
  });

  // Sends one message and answers its id and a promise of its value.
  function post(op, fields, hello) {
    const id = nextId++;
    const answer = new Promise((resolve, reject) => {
      pending.set(id, { resolve, reject, hello: hello === true });
    });
    global.postMessage({ tag: TO_HOST, message: Object.assign({ id, op }, fields) }, "*");
    return { id, answer };
  }

  function send(op, fields) {
    return post(op, fields).answer;
  }

  function toWire(value) {
    if ((typeof value === "object" && value !== null) || typeof value === "function") {
      const state = states.get(value);
      if (state !== undefined) {
        if (state.released) throw new Error("a released object cannot be passed");
        return { $object: state.handle };
      }
      throw new TypeError("only plug-in objects, numbers, strings, booleans and null can be passed");
    }
    return value === undefined ? null : value;
  }

  function fromWire(value) {
    if (value !== null && typeof value === "object") {
      if (typeof value.$object === "number") return makeProxy(value.$object);
      if (value.$void === true) return undefined;
    }
    return value;
  }

  // --- Base64, both ways, on whole arrays where the browser can ---

  const hasNativeBase64 = typeof Uint8Array.prototype.toBase64 === "function" &&
                          typeof Uint8Array.fromBase64 === "function";

  function encodeBase64(bytes) {
    if (hasNativeBase64) return bytes.toBase64();
    const parts = [];
    const step = 0x6000;  // a multiple of 3: no padding between parts
    for (let i = 0; i < bytes.length; i += step) {
      parts.push(btoa(String.fromCharCode.apply(null, bytes.subarray(i, i + step))));
    }
    return parts.join("");
  }

  function decodeBase64(text) {
    if (hasNativeBase64) return Uint8Array.fromBase64(text);
    const binary = atob(text);
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; i++) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  function progress(options, done, total) {
    if (options && typeof options.onProgress === "function") {
      try {
        options.onProgress(done, total);
      } catch (e) {
        // the page's progress display does not stop the transfer
      }
    }
  }

  // --- plug-in objects ---

  function checkUsable(state) {
    if (state.released) throw new Error("the object was released");
    if (state.generation !== generation) throw closedError("connect again");
  }

  // Waits for the writes sent since the last operation; the first refused
  // one fails the operation, naming the property.
  async function settleWrites(state) {
    if (state.writes.length === 0) return;
    const writes = state.writes;
    state.writes = [];
    const outcomes = await Promise.all(writes);
    const refused = outcomes.find((outcome) => outcome !== null);
    if (refused !== undefined) throw refused;
  }

  async function operation(state, op, fields) {
    checkUsable(state);
    await settleWrites(state);
    return fromWire(await send(op, Object.assign({ object: state.handle }, fields)));
  }

  function write(state, name, value) {
    checkUsable(state);
    const wire = toWire(value);
    state.writes.push(send("set", { object: state.handle, name, value: wire }).then(
        (accepted) => (accepted === false ? new Error('writing "' + name + '" was refused') : null),
        (error) => new Error('writing "' + name + '" was refused: ' + error.message)));
  }

  async function feedDocument(state, bytes, options) {
    checkUsable(state);
    let total;
    let slice;
    if (typeof Blob !== "undefined" && bytes instanceof Blob) {
      total = bytes.size;
      slice = async (from, to) => new Uint8Array(await bytes.slice(from, to).arrayBuffer());
    } else if (bytes instanceof ArrayBuffer || ArrayBuffer.isView(bytes)) {
      const view = bytes instanceof ArrayBuffer ? new Uint8Array(bytes)
                                                : new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
      total = view.length;
      slice = async (from, to) => view.subarray(from, to);
    } else {
      throw new TypeError("feedDocument needs a Uint8Array, an ArrayBuffer or a Blob");
    }
    await settleWrites(state);
    progress(options, 0, total);
    const inFlight = [];
    let done = 0;
    try {
      for (let from = 0; from < total; from += FEED_PIECE_BYTES) {
        const piece = await slice(from, Math.min(total, from + FEED_PIECE_BYTES));
        const length = piece.length;
        inFlight.push(send("feed", { object: state.handle, data: encodeBase64(piece) }).then(() => {
          done += length;
          progress(options, done, total);
        }));
        if (inFlight.length >= FEED_IN_FLIGHT) await inFlight.shift();
      }
      await Promise.all(inFlight);
    } catch (error) {
      // Whatever was fed is dropped with the feed's end; the page learns why
      // the feed failed, not that the document did not load.
      await Promise.allSettled(inFlight);
      await send("feed", { object: state.handle, data: "" }).catch(() => {});
      throw error;
    }
    await send("feed", { object: state.handle, data: "" });
  }

  async function readDocument(state, options) {
    checkUsable(state);
    await settleWrites(state);
    const parts = [];
    const inFlight = [];
    let next = 0;  // where the next read starts, in Base64 characters
    let done = 0;
    try {
      for (;;) {
        while (inFlight.length < READ_IN_FLIGHT) {
          inFlight.push(send("read", { object: state.handle, offset: next, size: READ_PIECE_CHARS }));
          // A failure is met where the read is awaited, not as unhandled meanwhile.
          inFlight[inFlight.length - 1].catch(() => {});
          next += READ_PIECE_CHARS;
        }
        const value = await inFlight.shift();
        if (value === null || typeof value !== "object" || typeof value.data !== "string") {
          throw new Error("the host answered no document data");
        }
        // Every piece but the last is as long as asked, or the pieces read
        // ahead would not start where they were meant to.
        const length = value.data.length;
        if (length > READ_PIECE_CHARS || (length !== READ_PIECE_CHARS && value.done !== true)) {
          throw new Error("the host answered " + length + " characters of the document where " +
                          READ_PIECE_CHARS + " were asked");
        }
        if (length > 0) {
          const bytes = decodeBase64(value.data);
          parts.push(bytes);
          done += bytes.length;
        }
        progress(options, done, value.done === true ? done : null);
        if (value.done === true) break;
      }
    } finally {
      // Reads sent past the end are answered at once: none stays under way.
      await Promise.allSettled(inFlight);
    }
    if (parts.length === 1) return parts[0];
    const document = new Uint8Array(done);
    let at = 0;
    for (const part of parts) {
      document.set(part, at);
      at += part.length;
    }
    return document;
  }

  function release(state) {
    if (state.released) return Promise.resolve();
    state.released = true;
    if (state.generation !== generation) return Promise.resolve();
    return send("release", { object: state.handle }).then(() => undefined);
  }

  function makeProxy(handle) {
    const state = { handle, generation, writes: [], released: false };
    const own = {
      release: () => release(state),
      feedDocument: (bytes, options) => feedDocument(state, bytes, options),
      readDocument: (options) => readDocument(state, options),
    };
    const proxy = new Proxy({}, {
      get(target, name) {
        // Not thenable itself (so that it can be awaited as a value), and no
        // conversions sent to the plug-in.
        if (typeof name !== "string" || name === "then" || name === "toJSON") return undefined;
        if (Object.prototype.hasOwnProperty.call(own, name)) return own[name];
        // A member: called, it is a method call; awaited, a property read.
        const member = (...args) => operation(state, "invoke", { name, args: args.map(toWire) });
        member.then = (onValue, onError) => operation(state, "get", { name }).then(onValue, onError);
        return member;
      },
      set(target, name, value) {
        if (typeof name !== "string") return false;
        write(state, name, value);
        return true;
      },
      has(target, name) {
        return typeof name === "string" && name !== "then";
      },
    });
    states.set(proxy, state);
    return proxy;
  }

  // --- the entry ---

  function connect() {
    return new Promise((resolve, reject) => {
      const hello = post("hello", {}, true);
      const timer = setTimeout(() => {
        pending.delete(hello.id);
        reject(unavailable("no answer from the Pendrel PDF extension (is it installed and enabled?)"));
      }, CONNECT_TIMEOUT_MS);
      hello.answer.then(
          (value) => {
            clearTimeout(timer);
            if (value === null || typeof value !== "object" || value.plugin === undefined) {
              reject(unavailable("the host answered no plug-in"));
              return;
            }
            Pendrel.version = typeof value.version === "string" ? value.version : null;
            resolve(fromWire(value.plugin));
          },
          (error) => {
            clearTimeout(timer);
            reject(error.name === "PendrelUnavailable" ? error : unavailable(error.message));
          });
    });
  }

  // Closes a window the plug-in has open (a chooser or a question), as the
  // user's cancel would.
  function cancel() {
    return send("cancel", {}).then(() => undefined);
  }

  const Pendrel = { connect, cancel, version: null };
  global.Pendrel = Pendrel;
})(typeof window !== "undefined" ? window : globalThis);
