// End-to-end tests of the page library, the extension and pendrel-bridge in
// a real headless browser: a page on 127.0.0.1 signs and verifies through
// pendrel.js, and the outcome is judged by pdfsig and compared with the same
// steps in pendrel-host.
// usage: node run.js chromium|firefox --bridge BRIDGE --host PENDREL-HOST [--case TEXT]
"use strict";
const fs = require("fs");
const path = require("path");
const { execFileSync } = require("child_process");
const { launch } = require("./browsers.js");
const fx = require("./fixtures.js");

function options(argv) {
  const opts = { browser: argv[0] };
  for (let i = 1; i < argv.length; i += 2) opts[argv[i].replace(/^--/, "")] = argv[i + 1];
  if (!opts.browser || !opts.bridge || !opts.host) {
    console.error("usage: node run.js chromium|firefox --bridge BRIDGE --host PENDREL-HOST [--case TEXT]");
    process.exit(2);
  }
  return opts;
}

class Skip extends Error {}

function check(condition, message) {
  if (!condition) throw new Error(message);
}

function same(actual, expected, what) {
  const a = JSON.stringify(actual);
  const e = JSON.stringify(expected);
  if (a !== e) throw new Error(what + ":\n  browser: " + a + "\n  host:    " + e);
}

// The signature-intact digit of a status.
const intact = (signature) => signature.status.charAt(2) === "1";

// One case: a fresh bridge environment, a page of the test site, and
// afterwards no bridge left running and nothing left in its temporary folder.
async function withPage(ctx, caseOptions, body) {
  ctx.home.useCase(caseOptions);
  const page = await ctx.browser.newPage();
  try {
    await page.goto(ctx.origin + "/test.html");
    return await body(page);
  } finally {
    await page.close();
    await fx.waitFor("the bridge to end with its page", () => ctx.home.bridgePids().every((p) => !fx.alive(p)), 15000);
    const left = ctx.home.tmpEntries();
    check(left.length === 0, "left in the temporary folder: " + left.join(", "));
  }
}

// Changes one letter of the reason (UTF-16 in the signature dictionary),
// which lies inside the signed bytes.
function tamper(bytes) {
  const copy = Buffer.from(bytes);
  const reason = "\\0t\\0e\\0s\\0t)";
  const at = copy.lastIndexOf(reason, undefined, "latin1");
  check(at >= 0, "the signed copy names no reason");
  copy[at + reason.length - 2] = "T".charCodeAt(0);
  return copy;
}

const CASES = [
  {
    name: "connect rejects with PendrelUnavailable when no host is registered",
    async run(ctx) {
      ctx.home.unregister();
      try {
        const outcome = await withPage(ctx, {}, (page) => page.evaluate(async () => {
          const start = performance.now();
          try {
            await Pendrel.connect();
            return { connected: true };
          } catch (e) {
            return { name: e.name, message: e.message, ms: performance.now() - start };
          }
        }));
        check(outcome.name === "PendrelUnavailable", "connect: " + JSON.stringify(outcome));
        check(outcome.ms < 5000, "rejected only after " + outcome.ms + " ms");
      } finally {
        ctx.home.register();
      }
    },
  },
  {
    name: "signs invisibly and visibly, verifies a good and a tampered copy, as pendrel-host does",
    async run(ctx) {
      const dir = ctx.files;
      await withPage(ctx, { allowedOrigins: [ctx.origin] }, async (page) => {
        for (const visible of [false, true]) {
          const tag = visible ? "visible" : "invisible";
          const browserSigned = await page.evaluate(
              (to, visible) => signDocument("/sample.pdf", to, { subject: "Pendrel Test Signer", visible, asBlob: visible }),
              tag + ".pdf", visible);
          const hostSigned = fx.hostRun(ctx.opts.host, ctx.scenario,
                                        ["sign", path.join(dir, "sample.pdf"), path.join(dir, "host-" + tag + ".pdf"),
                                         "Pendrel Test Signer"].concat(visible ? ["visible"] : []), ctx.home);
          ctx.serve("/host-" + tag + ".pdf", fs.readFileSync(path.join(dir, "host-" + tag + ".pdf")));
          check(browserSigned.error === 1, tag + " sign: " + JSON.stringify(browserSigned));
          same({ pages: browserSigned.pages, found: browserSigned.found, error: browserSigned.error }, hostSigned,
               tag + " sign");
          check(browserSigned.read === browserSigned.length && browserSigned.fed === ctx.sampleSize,
                tag + " progress: " + JSON.stringify(browserSigned));
          const verdict = fx.pdfsig(path.join(dir, tag + ".pdf"));
          same(verdict.verdicts, ["valid"], tag + " pdfsig (" + verdict.text.trim() + ")");

          const tampered = tamper(fs.readFileSync(path.join(dir, tag + ".pdf")));
          ctx.serve("/tampered-" + tag + ".pdf", tampered);
          for (const name of [tag + ".pdf", "tampered-" + tag + ".pdf", "host-" + tag + ".pdf"]) {
            const seen = await page.evaluate((from) => verifyDocument(from), "/" + name);
            const hostSeen = fx.hostRun(ctx.opts.host, ctx.scenario, ["verify", path.join(dir, name)], ctx.home);
            same(seen, hostSeen, "verify " + name);
            check(seen.error === 1 && seen.signatures.length === 1, "verify " + name + ": " + JSON.stringify(seen));
            check(intact(seen.signatures[0]) === !name.startsWith("tampered"),
                  "verify " + name + " status " + seen.signatures[0].status);
          }
        }
      });
    },
  },
  {
    name: "a web page is refused local paths and saveFile, and loads its own site's documents",
    safety: true,
    async run(ctx) {
      const saveTo = path.join(ctx.home.dir, "saved.pdf");
      const outcome = await withPage(ctx, { allowedOrigins: [ctx.origin] }, (page) => page.evaluate(async (origin, saveTo) => {
        const plugin = await Pendrel.connect();
        const answer = {};
        // A request's load code is its page count when the document did not load.
        for (const [key, file] of [["path", "/etc/hostname"], ["fileUrl", "file:///etc/hostname"],
                                   ["own", origin + "/sample.pdf"]]) {
          const request = await plugin.createPropObject();
          request.file = file;
          try {
            answer[key] = await request.pages;
          } catch (e) {
            answer[key] = "rejected: " + e.message;
          }
        }
        const request = await plugin.createPropObject();
        request.file = origin + "/sample.pdf";
        const info = await plugin.createCertInfoObject();
        info.subject = "Pendrel Test Signer";
        await info.search();
        request.certificate = info;
        const result = await plugin.sign(request);
        answer.sign = await result.error;
        try {
          answer.saved = await result.saveFile(saveTo);
        } catch (e) {
          answer.saved = "rejected";
        }
        answer.saveError = await result.error;
        return answer;
      }, ctx.origin, saveTo));
      if (outcome.path !== -77 && outcome.fileUrl !== -77 && outcome.saveError !== -78) {
        throw new Skip("this plug-in does not refuse local files to web pages (built without the origin safety): " +
                       JSON.stringify(outcome));
      }
      same([outcome.path, outcome.fileUrl], [-77, -77], "local path and file:// URL codes");
      check(outcome.own > 0, "own site's document: " + JSON.stringify(outcome.own));
      check(outcome.sign === 1, "sign of the own site's document: " + outcome.sign);
      check(outcome.saved !== true && outcome.saveError === -78, "saveFile: " + JSON.stringify(outcome));
      check(!fs.existsSync(saveTo), "saveFile wrote the file");
    },
  },
  {
    name: "a sign from an origin not allowed is denied without a display, whatever origin the page claims",
    safety: true,
    async run(ctx) {
      const claimed = "https://claimed.invalid";
      const outcome = await withPage(ctx, { allowedOrigins: [claimed] }, (page) => page.evaluate(async (claimed) => {
        const plain = await signDocument("/sample.pdf", "denied.pdf", { subject: "Pendrel Test Signer" });
        // The page names an allowed origin in every message it posts.
        const post = window.postMessage.bind(window);
        window.postMessage = (data, target) => {
          if (data && data.tag === "pendrel:page") data.message.origin = claimed;
          post(data, target);
        };
        const claiming = await signDocument("/sample.pdf", "denied-claimed.pdf", { subject: "Pendrel Test Signer" });
        return { plain: plain.error, claiming: claiming.error };
      }, claimed));
      if (outcome.plain === 1) {
        throw new Skip("this plug-in signs for any web origin (built without the origin safety)");
      }
      same(outcome, { plain: -79, claiming: -79 }, "signs from an origin not allowed");
      for (const name of ["/denied.pdf", "/denied-claimed.pdf"]) {
        check(!Object.prototype.hasOwnProperty.call(ctx.served, name), "a denied sign gave a document");
      }
    },
  },
  {
    name: "20 MB up and the signed copy down",
    async run(ctx) {
      const outcome = await withPage(ctx, { allowedOrigins: [ctx.origin] }, (page) => page.evaluate(async () => {
        const start = performance.now();
        const answer = await signDocument("/large.pdf", "large-signed.pdf", { subject: "Pendrel Test Signer" });
        answer.ms = performance.now() - start;
        return answer;
      }));
      check(outcome.error === 1, "sign: " + JSON.stringify(outcome));
      const signed = fs.readFileSync(path.join(ctx.files, "large-signed.pdf"));
      const original = ctx.served["/large.pdf"];
      check(signed.length > original.length && signed.subarray(0, original.length).equals(original),
            "the signed copy does not begin with the document");
      same(fx.pdfsig(path.join(ctx.files, "large-signed.pdf")).verdicts, ["valid"], "pdfsig on the large copy");
      const t = outcome.times;
      const seconds = (ms) => (ms / 1000).toFixed(2) + " s";
      ctx.note(ctx.opts.browser + ", 20 MiB: up " + seconds(t.fed - t.start) + ", sign " + seconds(t.signed - t.signing) +
               ", signed copy down " + seconds(t.read - t.signed) + "; up and down " +
               seconds(t.fed - t.start + t.read - t.signed) + ", in all " + seconds(outcome.ms));
    },
  },
  {
    name: "a reload in the middle of an operation ends the bridge and leaves nothing behind",
    async run(ctx) {
      await withPage(ctx, { allowedOrigins: [ctx.origin] }, async (page) => {
        await page.evaluate(() => {
          window.under = signDocument("/large.pdf", "unused.pdf", { subject: "Pendrel Test Signer" });
        });
        await fx.waitFor("a bridge", () => ctx.home.bridgePids().length > 0, 10000);
        const first = ctx.home.bridgePids();
        // Well inside the feed of 20 MB.
        await new Promise((r) => setTimeout(r, 400));
        await page.reload();
        await fx.waitFor("the bridge to end on reload", () => first.every((p) => !fx.alive(p)), 15000);
        check(ctx.home.tmpEntries().length === 0, "left after reload: " + ctx.home.tmpEntries().join(", "));
        // The reloaded page gets a bridge of its own and signs.
        const after = await page.evaluate(() => signDocument("/sample.pdf", "after-reload.pdf",
                                                             { subject: "Pendrel Test Signer" }));
        check(after.error === 1, "sign after reload: " + JSON.stringify(after));
      });
    },
  },
];

async function main() {
  const opts = options(process.argv.slice(2));
  const started = Date.now();
  const home = new fx.TestHome(path.resolve(opts.bridge));
  const files = path.join(home.dir, "files");
  fs.mkdirSync(files);
  execFileSync(path.join(fx.SOURCE, "scripts/make-sample.py"),
               [path.join(files, "sample.pdf"), path.join(files, "seal.jpg")]);
  const served = {
    "/sample.pdf": fs.readFileSync(path.join(files, "sample.pdf")),
    "/large.pdf": fx.largePdf(20 * 1024 * 1024),
  };
  fs.writeFileSync(path.join(files, "large.pdf"), served["/large.pdf"]);
  const { server, origin } = await fx.startServer(served, files);
  home.register();
  const notes = [];
  const ctx = {
    opts, home, origin, files, served,
    sampleSize: served["/sample.pdf"].length,
    scenario: path.join(__dirname, "scenario-host.js"),
    serve: (name, bytes) => {
      served[name] = bytes;
      fs.writeFileSync(path.join(files, name.substring(1)), bytes);
    },
    note: (text) => notes.push(text),
  };
  let passed = 0;
  let failed = 0;
  let skipped = 0;
  try {
    ctx.browser = await launch(opts.browser, home.dir);
    console.log(opts.browser + " started in " + ((Date.now() - started) / 1000).toFixed(1) + " s");
    for (const testCase of CASES) {
      if (opts.case && !testCase.name.includes(opts.case)) continue;
      const caseStart = Date.now();
      try {
        await testCase.run(ctx);
        passed++;
        console.log("ok      " + testCase.name + " (" + ((Date.now() - caseStart) / 1000).toFixed(1) + " s)");
      } catch (e) {
        if (e instanceof Skip) {
          skipped++;
          console.log("skipped " + testCase.name + ": " + e.message);
        } else {
          failed++;
          console.log("FAILED  " + testCase.name + ": " + (e && e.stack ? e.stack : e));
          const log = home.log();
          if (log) console.log("bridge's messages:\n" + log.split("\n").slice(-30).join("\n"));
        }
      }
    }
  } finally {
    if (ctx.browser) await ctx.browser.close().catch(() => {});
    server.close();
    if (failed === 0) home.remove();
    else console.log("kept for a look: " + home.dir);
  }
  for (const text of notes) console.log(text);
  console.log(opts.browser + ": " + ((Date.now() - started) / 1000).toFixed(1) + " s in all");
  console.log(passed + " passed, " + failed + " failed" + (skipped ? ", " + skipped + " skipped" : ""));
  process.exit(failed === 0 ? 0 : 1);
}

main().catch((e) => {
  console.error(e && e.stack ? e.stack : e);
  process.exit(1);
});
