// Starts headless Chromium or Firefox with the Pendrel PDF extension, under
// a HOME of the test's own (where the native host is registered), and opens
// pages in it.
"use strict";
const fs = require("fs");
const path = require("path");
const puppeteer = require("puppeteer-core");

const EXTENSION = path.resolve(__dirname, "../../browser/extension");

const CHROMIUM_ARGS = [
  "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync",
  "--no-default-browser-check", "--password-store=basic",
];

// The browser's environment: the test's HOME and nothing of the user's.
function browserEnv(home) {
  const env = Object.assign({}, process.env, { HOME: home, XDG_CONFIG_HOME: path.join(home, ".config") });
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  return env;
}

async function launchChromium(home) {
  // Chromium looks for per-user native hosts in its user data folder: the
  // default one under the test's HOME is fresh, and is where setup puts them.
  const profile = path.join(home, ".config", "chromium");
  fs.mkdirSync(profile, { recursive: true });
  const browser = await puppeteer.launch({
    executablePath: process.env.PENDREL_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    pipe: true,
    userDataDir: profile,
    ignoreDefaultArgs: ["--disable-extensions", "--headless"],
    args: CHROMIUM_ARGS.concat(["--load-extension=" + EXTENSION, "--disable-extensions-except=" + EXTENSION]),
    env: browserEnv(home),
    protocolTimeout: 120000,
  });
  return browser;
}

async function launchFirefox(home) {
  const profile = fs.mkdtempSync(path.join(home, "firefox-profile-"));
  const browser = await puppeteer.launch({
    browser: "firefox",
    executablePath: process.env.PENDREL_FIREFOX || "/usr/bin/firefox-esr",
    headless: true,
    userDataDir: profile,
    env: browserEnv(home),
    protocolTimeout: 120000,
    extraPrefsFirefox: {
      "extensions.autoDisableScopes": 0,
      "extensions.enabledScopes": 15,
      "xpinstall.signatures.required": false,
      "datareporting.policy.dataSubmissionEnabled": false,
      "toolkit.telemetry.enabled": false,
      "app.update.enabled": false,
      "browser.shell.checkDefaultBrowser": false,
    },
  });
  await browser.installExtension(EXTENSION);
  return browser;
}

async function launch(name, home) {
  if (name === "chromium") return launchChromium(home);
  if (name === "firefox") return launchFirefox(home);
  throw new Error("unknown browser " + name);
}

module.exports = { launch, EXTENSION };
