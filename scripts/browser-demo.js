// The headless browser demo: opens the demo page in Chromium with the
// extension, waits until it has signed and verified, prints what it shows
// and writes a screenshot.
// usage: node browser-demo.js URL HOME SCREENSHOT.png
"use strict";
const { launch } = require("../tests/browser/browsers.js");

(async () => {
  const [url, home, screenshot] = process.argv.slice(2);
  const browser = await launch("chromium", home);
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1000, height: 640 });
    await page.goto(url);
    await page.waitForSelector("body[data-finished=yes]", { timeout: 60000 });
    const state = await page.$eval("#state", (e) => ({ text: e.textContent, ok: e.className === "ok" }));
    const rows = await page.$$eval("#signatures tbody tr",
                                   (list) => list.map((r) => Array.from(r.cells, (c) => c.textContent).join("\t")));
    await page.screenshot({ path: screenshot });
    console.log(state.text);
    for (const row of rows) console.log(row);
    console.log("screenshot: " + screenshot);
    process.exitCode = state.ok ? 0 : 1;
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error("browser-demo: " + (e && e.message ? e.message : e));
  process.exit(1);
});
