// Logs in to the web remote at URL with PIN in headless Chromium at phone
// size (390 x 844), presses a scene, waits for the preview and saves a
// screenshot to OUT.png.
//
//   node tools/browser/web_screenshot.mjs URL PIN OUT.png
import fs from "node:fs";
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
const puppeteer = require("puppeteer-core");
const [url, pin, out] = process.argv.slice(2);
const chromium = ["/usr/bin/chromium", "/usr/bin/chromium-browser"].find((p) => fs.existsSync(p));
const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage"],
});
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  await page.emulateMediaFeatures([{ name: "prefers-color-scheme", value: "dark" }]);
  await page.goto(url);
  await page.waitForSelector("#login:not([hidden])");
  await page.type("#pin", pin);
  await page.click("#enter");
  await page.waitForSelector("#remote:not([hidden])");
  await page.waitForSelector('#scenes button[data-control="scene/1/recall"]');
  await page.click('#scenes button[data-control="scene/1/recall"]');
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.waitForFunction(() => document.querySelector("#preview").width > 32 || document.querySelector("#preview").height !== 16);
  await new Promise((r) => setTimeout(r, 1500));
  await page.screenshot({ path: out });
} finally {
  await browser.close();
}
