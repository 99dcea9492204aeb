// The page library against a scripted host, without a browser: what goes
// over the wire for reads, writes, calls and documents, and how answers,
// refusals and a closed connection reach the page.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("fs");
const path = require("path");
const vm = require("vm");

const LIBRARY = fs.readFileSync(path.resolve(__dirname, "../../browser/page/pendrel.js"), "utf8");

// A window whose postMessage reaches its own listeners, as a page's does,
// with an extension that hands each tagged message to `host` and posts what
// it answers.
function makePage(host, { noExtension = false } = {}) {
  const target = new EventTarget();
  const sent = [];
  const window = {
    addEventListener: (type, listener) => target.addEventListener(type, listener),
    postMessage(data) {
      setImmediate(() => {
        const event = new Event("message");
        event.data = structuredClone(data);
        event.source = window;
        target.dispatchEvent(event);
      });
    },
  };
  const context = vm.createContext({ window, setTimeout, clearTimeout, Blob, ArrayBuffer, Uint8Array, btoa, atob,
                                     Promise, Map, WeakMap, Proxy, Error, TypeError, Object, Array, JSON, String });
  vm.runInContext(LIBRARY, context);
  if (!noExtension) {
    target.addEventListener("message", (event) => {
      if (event.source !== window || event.data.tag !== "pendrel:page") return;
      const message = event.data.message;
      sent.push(message);
      const answer = host(message, (reply) => window.postMessage({ tag: "pendrel:extension", message: reply }));
      if (answer !== undefined) window.postMessage({ tag: "pendrel:extension", message: answer });
    });
  }
  return { Pendrel: window.Pendrel, sent, window };
}

const ok = (message, value) => ({ id: message.id, ok: true, value });
const refused = (message, error) => ({ id: message.id, ok: false, error });

// A host with one plug-in object (1) that makes objects (2, 3, ...), echoes
// calls, refuses writes of "locked" and calls of "fail".
function scriptedHost(extra) {
  let next = 2;
  return (message, later) => {
    if (extra) {
      const answer = extra(message, later);
      if (answer !== null) return answer;
    }
    switch (message.op) {
      case "hello": return ok(message, { plugin: { $object: 1 }, version: "test" });
      case "get": return ok(message, message.name === "nothing" ? null : "value of " + message.name);
      case "set": return message.name === "locked" ? refused(message, "the property cannot be written") : ok(message, true);
      case "invoke":
        if (message.name === "fail") return refused(message, "the call failed");
        if (message.name === "make") return ok(message, { $object: next++ });
        if (message.name === "nothing") return ok(message, { $void: true });
        return ok(message, message.args);
      default: return ok(message, { $void: true });
    }
  };
}

test("reads, calls and objects travel as the bridge expects", async () => {
  const { Pendrel, sent } = makePage(scriptedHost());
  const plugin = await Pendrel.connect();
  assert.strictEqual(Pendrel.version, "test");
  assert.strictEqual(await plugin.Subject, "value of Subject");
  assert.strictEqual(await plugin.nothing, null);
  const made = await plugin.make();
  assert.deepStrictEqual(await plugin.echo(made, 7, "x", true, null, undefined),
                         [{ $object: 2 }, 7, "x", true, null, null]);
  assert.strictEqual(await plugin.nothing(), undefined);
  await assert.rejects(plugin.fail(), /the call failed/);
  assert.throws(() => plugin.echo({ plain: "object" }), TypeError);
  // A proxy is a value to await, not a promise of itself.
  assert.strictEqual(plugin.then, undefined);
  assert.strictEqual(await Promise.resolve(made), made);
  await made.release();
  await assert.rejects(async () => await made.anything, /released/, "a released object cannot be used");
  assert.deepStrictEqual(sent.map((m) => m.op),
                         ["hello", "get", "get", "invoke", "invoke", "invoke", "invoke", "release"]);
  assert.deepStrictEqual(sent[7], { id: sent[7].id, op: "release", object: 2 });
});

test("writes go in order; a refused one fails the next operation on that object, naming it", async () => {
  const { Pendrel, sent } = makePage(scriptedHost());
  const plugin = await Pendrel.connect();
  const request = await plugin.make();
  const other = await plugin.make();
  request.reason = "one";
  request.locked = 5;
  request.location = "two";
  other.reason = "fine";
  assert.strictEqual(await other.reason, "value of reason", "another object is not affected");
  await assert.rejects(request.pages, /writing "locked" was refused: the property cannot be written/);
  // The refusal is reported once; later operations go through.
  assert.strictEqual(await request.pages, "value of pages");
  const writes = sent.filter((m) => m.op === "set").map((m) => [m.object, m.name, m.value]);
  assert.deepStrictEqual(writes, [[2, "reason", "one"], [2, "locked", 5], [2, "location", "two"], [3, "reason", "fine"]]);
  // A refused write holds back the operation it fails: the host never sees it.
  assert.strictEqual(sent.filter((m) => m.op === "get" && m.object === 2).length, 1);
});

test("documents are fed in whole 3-byte groups of at most 4 MiB, whatever the page gives", async () => {
  const size = 3 * 1024 * 1024 + 1000;  // a full piece and a short one
  const bytes = new Uint8Array(size);
  for (let i = 0; i < size; i++) bytes[i] = (i * 131 + 7) & 0xff;
  for (const [kind, make] of [["Uint8Array", () => bytes],
                              ["offset view", () => { const b = new Uint8Array(size + 5); b.set(bytes, 5); return b.subarray(5); }],
                              ["ArrayBuffer", () => bytes.slice().buffer],
                              ["Blob", () => new Blob([bytes])]]) {
    const fed = [];
    const { Pendrel } = makePage(scriptedHost((m) => (m.op === "feed" ? (fed.push(m.data), ok(m, true)) : null)));
    const request = await (await Pendrel.connect()).make();
    const progress = [];
    await request.feedDocument(make(), { onProgress: (done, total) => progress.push([done, total]) });
    assert.strictEqual(fed[fed.length - 1], "", kind + ": the feed ends with an empty piece");
    for (const piece of fed.slice(0, -1)) {
      assert.ok(piece.length <= 4 * 1024 * 1024 && piece.length % 4 === 0, kind + ": piece of " + piece.length);
    }
    assert.ok(fed.slice(0, -2).every((p) => !p.includes("=")), kind + ": padding only at the end");
    assert.ok(Buffer.from(fed.join(""), "base64").equals(Buffer.from(bytes)), kind + ": the bytes arrive");
    assert.deepStrictEqual(progress[progress.length - 1], [size, size], kind);
  }
  const { Pendrel } = makePage(scriptedHost());
  const request = await (await Pendrel.connect()).make();
  await assert.rejects(request.feedDocument("text"), TypeError);
});

test("a failed piece ends the feed and rejects with the host's reason", async () => {
  const fed = [];
  const { Pendrel } = makePage(scriptedHost((m) => {
    if (m.op !== "feed") return null;
    fed.push(m.data.length);
    return fed.length === 2 ? refused(m, "no working file") : ok(m, true);
  }));
  const request = await (await Pendrel.connect()).make();
  await assert.rejects(request.feedDocument(new Uint8Array(7 * 1024 * 1024)), /no working file/);
  assert.strictEqual(fed[fed.length - 1], 0, "the feed was ended");
});

// A host whose result serves `text` by offset and size, holding its
// answers a while: given back one at a time in order, or, `reversed`, those
// held together in the reverse order of their reads (so that only the ids
// tie answers to reads). `piece` may change an answer.
function readingHost(text, { piece = (m, value) => value, reversed = false } = {}) {
  const reads = [];
  let held = [];
  const state = { reads, underWay: 0, most: 0 };
  state.host = scriptedHost((m, later) => {
    if (m.op !== "read") return null;
    reads.push([m.offset, m.size]);
    state.most = Math.max(state.most, ++state.underWay);
    const value = { data: text.substring(m.offset, m.offset + m.size), done: m.offset + m.size >= text.length };
    held.push(() => {
      state.underWay--;
      const answer = piece(m, value);
      later(answer.ok === false ? answer : ok(m, answer));
    });
    setTimeout(() => {
      if (reversed) {
        const batch = held.reverse();
        held = [];
        for (const give of batch) give();
      } else if (held.length > 0) {
        held.shift()();
      }
    }, 2);
    return undefined;
  });
  return state;
}

test("the signed document is read with reads sent ahead, each at the offset where its piece starts", async () => {
  for (const [size, reversed] of [[2 * 1024 * 1024 + 1234, false], [2 * 1024 * 1024 + 1234, true], [1000, false]]) {
    const bytes = Buffer.alloc(size);
    for (let i = 0; i < bytes.length; i++) bytes[i] = (i * 17 + 3) & 0xff;
    const text = bytes.toString("base64");
    const host = readingHost(text, { reversed });
    const { Pendrel } = makePage(host.host);
    const result = await (await Pendrel.connect()).make();
    const progress = [];
    const read = await result.readDocument({ onProgress: (done, total) => progress.push([done, total]) });
    assert.ok(Buffer.from(read).equals(bytes), size + ": the document arrives whole and in order");
    assert.strictEqual(host.underWay, 0, size + ": no read is left under way");
    const piece = host.reads[0][1];
    assert.ok(piece % 4 === 0 && piece <= 768 * 1024, "pieces of whole groups the host may answer: " + piece);
    assert.deepStrictEqual(host.reads, host.reads.map((r, n) => [n * piece, piece]), size + ": offsets");
    assert.ok(host.most > 1, "reads are sent ahead of the answers");
    assert.ok(host.reads.length * piece < text.length + host.most * piece, size + ": no reads beyond those sent ahead");
    assert.deepStrictEqual(progress[progress.length - 1], [size, size]);
    assert.ok(progress.slice(0, -1).every(([, total]) => total === null), "the size is known only at the end");
  }
});

test("a short piece, a refused read or no data rejects the read, and nothing stays under way", async () => {
  const bytes = Buffer.alloc(3 * 1024 * 1024, 7);
  const text = bytes.toString("base64");
  const faults = [
    [(m, value) => (m.offset === m.size ? { data: value.data.substring(4), done: value.done } : value),
     /the host answered \d+ characters of the document where \d+ were asked/],
    [(m, value) => (m.offset === m.size ? refused(m, "the copy cannot be read") : value), /the copy cannot be read/],
    [(m, value) => (m.offset === m.size ? { done: false } : value), /the host answered no document data/],
  ];
  for (const [piece, error] of faults) {
    const host = readingHost(text, { piece });
    const { Pendrel } = makePage(host.host);
    const result = await (await Pendrel.connect()).make();
    await assert.rejects(result.readDocument(), error);
    assert.strictEqual(host.underWay, 0, "the reads sent ahead were answered before the read failed");
  }
});

test("a closed connection fails what is under way, and its objects are stale", async () => {
  let held = null;
  const { Pendrel, window } = makePage(scriptedHost((m, later) => {
    if (m.op === "invoke" && m.name === "sign") {
      held = later;
      return undefined;
    }
    return null;
  }));
  const plugin = await Pendrel.connect();
  const signing = plugin.sign();
  await new Promise((r) => setTimeout(r, 20));
  assert.ok(held !== null);
  window.postMessage({ tag: "pendrel:extension", message: { closed: true, error: "the host ended" } });
  await assert.rejects(signing, (e) => e.name === "PendrelClosed" && /the host ended/.test(e.message));
  await assert.rejects(async () => await plugin.subject, (e) => e.name === "PendrelClosed");
  // A new connection works with new objects.
  const again = await Pendrel.connect();
  assert.strictEqual(await again.subject, "value of subject");
});

test("connect rejects with PendrelUnavailable when the host cannot be started or nothing answers", async () => {
  const { Pendrel } = makePage((m) => (m.op === "hello" ? { closed: true, error: "native host not found" } : undefined));
  await assert.rejects(Pendrel.connect(), (e) => e.name === "PendrelUnavailable" && /native host not found/.test(e.message));

  const silent = makePage(() => undefined, { noExtension: true });
  const start = Date.now();
  await assert.rejects(silent.Pendrel.connect(), (e) => e.name === "PendrelUnavailable");
  const waited = Date.now() - start;
  assert.ok(waited >= 4900 && waited < 6000, "waited " + waited + " ms");
});

test("answers without the tag, or for no message under way, are ignored", async () => {
  const { Pendrel, window, sent } = makePage(scriptedHost((m) => (m.op === "get" ? undefined : null)));
  const plugin = await Pendrel.connect();
  let settled = false;
  const pending = plugin.subject.then((v) => { settled = v; });
  await new Promise((r) => setTimeout(r, 20));
  const id = sent[sent.length - 1].id;
  window.postMessage({ message: { id, ok: true, value: "untagged" } });
  window.postMessage({ tag: "pendrel:extension", message: { id: id + 100, ok: true, value: "unknown id" } });
  await new Promise((r) => setTimeout(r, 20));
  assert.strictEqual(settled, false);
  window.postMessage({ tag: "pendrel:extension", message: { id, ok: true, value: "real" } });
  await pending;
  assert.strictEqual(settled, "real");
});
