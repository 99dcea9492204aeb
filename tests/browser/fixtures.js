// What the browser tests serve and judge: a temporary HOME with the native
// host registered, a loopback web server for the test page and the library,
// test documents, the bridge's processes and the verifiers' verdicts.
"use strict";
const fs = require("fs");
const path = require("path");
const http = require("http");
const crypto = require("crypto");
const { execFileSync, spawnSync } = require("child_process");

const SOURCE = path.resolve(__dirname, "../..");

// A HOME of the test's own, with a keychain and the native host registered
// through a starter that reads the environment of the current case.
class TestHome {
  constructor(bridge) {
    this.dir = fs.mkdtempSync(path.join(process.env.TMPDIR || "/tmp", "pendrel-browser-"));
    this.bridge = bridge;
    this.keychain = path.join(this.dir, "keychain");
    execFileSync(path.join(SOURCE, "scripts/make-keychain.sh"), [this.keychain, "Pendrel Test Signer"]);
    this.starter = path.join(this.dir, "bridge-starter.sh");
    this.pids = path.join(this.dir, "bridge.pids");
    fs.writeFileSync(this.starter,
                     "#!/bin/sh\n" +
                     "# The bridge under the current case's environment; its process id is noted.\n" +
                     ". \"" + path.join(this.dir, "bridge.env") + "\"\n" +
                     "echo $$ >> \"" + this.pids + "\"\n" +
                     "exec \"" + bridge + "\" \"$@\" 2>> \"" + path.join(this.dir, "bridge.log") + "\"\n",
                     { mode: 0o755 });
    this.caseNumber = 0;
    this.useCase({});
  }

  // A fresh temporary folder for the bridge and the environment it starts with.
  useCase({ allowedOrigins }) {
    this.caseNumber++;
    this.tmp = path.join(this.dir, "tmp-" + this.caseNumber);
    fs.mkdirSync(this.tmp);
    const env = {
      PENDREL_KEYCHAIN: this.keychain,
      PENDREL_DIALOGS: "none",
      PENDREL_PKCS11_MODULES: "",
      TMPDIR: this.tmp,
      PENDREL_ALLOWED_ORIGINS: (allowedOrigins || []).join("\n"),
    };
    if (process.env.PENDREL_RESOURCE_DIR) env.PENDREL_RESOURCE_DIR = process.env.PENDREL_RESOURCE_DIR;
    fs.writeFileSync(path.join(this.dir, "bridge.env"),
                     Object.entries(env).map(([k, v]) => "export " + k + "='" + v + "'\n").join(""));
    fs.writeFileSync(this.pids, "");
  }

  register() {
    execFileSync(path.join(SOURCE, "scripts/browser-setup.sh"), [this.starter, "--quiet"],
                 { env: Object.assign({}, process.env, { HOME: this.dir, XDG_CONFIG_HOME: path.join(this.dir, ".config") }) });
  }

  unregister() {
    for (const dir of [".config/chromium/NativeMessagingHosts", ".mozilla/native-messaging-hosts"]) {
      fs.rmSync(path.join(this.dir, dir, "org.pendrel.bridge.json"), { force: true });
    }
  }

  bridgePids() {
    return fs.readFileSync(this.pids, "utf8").split("\n").filter((l) => l !== "").map(Number);
  }

  tmpEntries() {
    return fs.readdirSync(this.tmp);
  }

  log() {
    try {
      return fs.readFileSync(path.join(this.dir, "bridge.log"), "utf8");
    } catch (e) {
      return "";
    }
  }

  remove() {
    // Retried: a browser helper that outlives the browser may still write there.
    fs.rmSync(this.dir, { recursive: true, force: true, maxRetries: 10, retryDelay: 200 });
  }
}

function alive(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch (e) {
    return e.code === "EPERM";
  }
}

async function waitFor(what, test, ms) {
  const end = Date.now() + ms;
  for (;;) {
    if (test()) return;
    if (Date.now() > end) throw new Error("timed out waiting for " + what);
    await new Promise((r) => setTimeout(r, 50));
  }
}

// A one-page PDF carrying `size` bytes of incompressible data in a stream:
// a large document as far as moving it goes.
function largePdf(size) {
  const parts = [];
  const offsets = [];
  let length = 0;
  const add = (chunk) => {
    const buffer = typeof chunk === "string" ? Buffer.from(chunk, "latin1") : chunk;
    parts.push(buffer);
    length += buffer.length;
  };
  const object = (n, body) => {
    offsets[n] = length;
    add(n + " 0 obj\n" + body + "\nendobj\n");
  };
  add("%PDF-1.4\n%\xe2\xe3\xcf\xd3\n");
  object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << >> /Contents 4 0 R " +
                "/PieceInfo << /Pendrel << /LastModified (D:20260101000000Z) /Private 5 0 R >> >> >>");
  object(4, "<< /Length 0 >>\nstream\n\nendstream");
  offsets[5] = length;
  const data = crypto.randomBytes(size);
  add("5 0 obj\n<< /Length " + size + " >>\nstream\n");
  add(data);
  add("\nendstream\nendobj\n");
  const xref = length;
  let table = "xref\n0 6\n0000000000 65535 f \n";
  for (let n = 1; n <= 5; n++) table += String(offsets[n]).padStart(10, "0") + " 00000 n \n";
  add(table + "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + xref + "\n%%EOF\n");
  return Buffer.concat(parts);
}

// The loopback web server of the test page: the library, the page, and
// the documents the test puts under `files`. A page's PUT /upload/NAME
// stores a document as NAME in `folder` and serves it as /NAME.
async function startServer(files, folder) {
  const types = { ".js": "text/javascript", ".html": "text/html", ".pdf": "application/pdf" };
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, "http://x").pathname);
    if (request.method === "PUT" && /^\/upload\/[\w.-]+$/.test(name)) {
      const chunks = [];
      request.on("data", (chunk) => chunks.push(chunk));
      request.on("end", () => {
        const stored = name.substring("/upload".length);
        files[stored] = Buffer.concat(chunks);
        fs.writeFileSync(path.join(folder, stored), files[stored]);
        response.end("stored");
      });
      return;
    }
    let body;
    if (name === "/pendrel.js") body = fs.readFileSync(path.join(SOURCE, "browser/page/pendrel.js"));
    else if (name === "/" || name === "/test.html") body = fs.readFileSync(path.join(__dirname, "test.html"));
    else if (Object.prototype.hasOwnProperty.call(files, name)) body = files[name];
    if (body === undefined) {
      response.statusCode = 404;
      response.end("not found");
      return;
    }
    response.setHeader("content-type", types[path.extname(name === "/" ? ".html" : name)] || "application/octet-stream");
    response.setHeader("cache-control", "no-store");
    response.end(body);
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  return { server, origin: "http://127.0.0.1:" + server.address().port };
}

// pdfsig's verdict on each signature of a file: "valid" when the signed
// bytes are intact.
function pdfsig(file) {
  const run = spawnSync("pdfsig", [file], { encoding: "utf8" });
  const text = run.stdout + run.stderr;
  const verdicts = [];
  for (const line of text.split("\n")) {
    const m = /Signature Validation: (.*)$/.exec(line.trim());
    if (m) verdicts.push(/Signature is Valid/i.test(m[1]) ? "valid" : m[1]);
  }
  return { verdicts, text };
}

// Runs a page script in pendrel-host and answers its printed JSON.
function hostRun(host, script, args, home) {
  const run = spawnSync(host, [script].concat(args), {
    encoding: "utf8",
    env: Object.assign({}, process.env, { PENDREL_KEYCHAIN: home.keychain, PENDREL_DIALOGS: "none",
                                          PENDREL_PKCS11_MODULES: "", TMPDIR: home.tmp, HOME: home.dir }),
    timeout: 60000,
  });
  const line = run.stdout.trim().split("\n").pop();
  try {
    return JSON.parse(line);
  } catch (e) {
    throw new Error("pendrel-host answered no JSON (status " + run.status + "): " + run.stdout + run.stderr);
  }
}

module.exports = { TestHome, alive, waitFor, largePdf, startServer, pdfsig, hostRun, SOURCE };
