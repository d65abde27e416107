// The web remote's page in a real browser against the real program: a
// headless Chromium (driven by puppeteer-core) opens the page that
// `quor --headless --web` serves on 127.0.0.1, enters the PIN, presses a
// scene button and moves the master; a loopback Art-Net receiver sees the
// output change, and a second page sees every change arrive. A third page
// with a wrong PIN is refused.
//
//   node tests/browser/web_remote_page.mjs QUOR_BINARY QUOR_WEB_SHOW_BINARY
import { spawn, execFileSync } from "node:child_process";
import dgram from "node:dgram";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";
import { fileURLToPath } from "node:url";

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../..");
const require = createRequire(path.join(root, "tools/browser/package.json"));
let puppeteer;
try {
  puppeteer = require("puppeteer-core");
} catch {
  console.error("web_remote_page: puppeteer-core is missing; run tools/deps --test");
  process.exit(1);
}
const [quor, showTool] = process.argv.slice(2);
const chromium = ["/usr/bin/chromium", "/usr/bin/chromium-browser"].find((p) => fs.existsSync(p));
if (!quor || !showTool || !chromium) {
  console.error("usage: node web_remote_page.mjs QUOR QUOR_WEB_SHOW (and Chromium installed by tools/deps --test)");
  process.exit(2);
}
const PIN = "2468";
let failures = 0, passes = 0;
// A browser that stops answering fails the test rather than hanging it.
setTimeout(() => {
  console.log("FAIL the page test did not finish within 150 s");
  process.exit(1);
}, 150000).unref();
function check(ok, what) {
  console.log((ok ? "ok   " : "FAIL ") + what);
  if (ok) passes++;
  else failures++;
}

async function until(condition, what, limitMs = 10000) {
  const end = Date.now() + limitMs;
  while (Date.now() < end) {
    if (await condition()) {
      check(true, what);
      return true;
    }
    await new Promise((r) => setTimeout(r, 50));
  }
  check(false, what + " (timed out)");
  return false;
}

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The latest Art-Net DMX payload's sum of channel values.
const artnet = { sum: -1, packets: 0 };
const receiver = dgram.createSocket("udp4");
receiver.on("message", (packet) => {
  if (packet.length < 18 || packet.toString("latin1", 0, 8) !== "Art-Net\0" || packet.readUInt16LE(8) !== 0x5000) return;
  const length = packet.readUInt16BE(16);
  let sum = 0;
  for (let i = 18; i < 18 + length && i < packet.length; i++) sum += packet[i];
  artnet.sum = sum;
  artnet.packets++;
});
await new Promise((r) => receiver.bind(0, "127.0.0.1", r));

const work = fs.mkdtempSync(path.join(os.tmpdir(), "quor-web-page-"));
const showPath = path.join(work, "show.qrx");
execFileSync(showTool, [showPath, String(receiver.address().port)]);
const webPort = await freePort();
const program = spawn(quor, ["--headless", showPath, `--web=127.0.0.1:${webPort}`, `--config-dir=${work}`, "--seconds=120"], {
  env: { ...process.env, QUOR_WEB_PIN: PIN },
  stdio: ["ignore", "pipe", "pipe"],
});
let programOutput = "";
program.stdout.on("data", (d) => (programOutput += d));
program.stderr.on("data", (d) => (programOutput += d));

let browser;
try {
  await until(() => programOutput.includes("Web remote on http://127.0.0.1:" + webPort), "quor serves the web remote", 20000);
  await until(() => artnet.packets > 0 && artnet.sum === 0, "the show starts dark on Art-Net");

  browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    // Pages in background tabs must keep running at full speed.
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-dev-shm-usage",
           "--disable-background-timer-throttling", "--disable-backgrounding-occluded-windows",
           "--disable-renderer-backgrounding"],
    protocolTimeout: 30000,
  });
  const url = `http://127.0.0.1:${webPort}/`;
  async function login(pin) {
    const page = await browser.newPage();
    await page.setViewport({ width: 390, height: 844 });
    await page.bringToFront();
    await page.goto(url);
    await page.waitForSelector("#login:not([hidden])");
    await page.type("#pin", pin);
    await page.click("#enter");
    return page;
  }
  const a = await login(PIN);
  const b = await login(PIN);
  for (const page of [a, b]) await page.waitForSelector("#remote:not([hidden])", { timeout: 10000 });
  check(true, "both pages log in with the PIN");
  await until(async () => (await a.$$eval("#scenes button", (l) => l.map((e) => e.textContent))).length === 2, "the scene buttons appear");

  // Scene 1 is "Plasma": the output lights up. The page in front gets the
  // clicks, as on a phone.
  await a.bringToFront();
  await a.click('#scenes button[data-control="scene/1/recall"]');
  await until(() => artnet.sum > 0, "Art-Net output lights up after the scene press");
  check(artnet.sum > 0, "the scene press reaches the output");
  await until(
    () => b.$eval('#scenes button[data-control="scene/1/recall"]', (e) => e.classList.contains("on")),
    "the other page highlights the recalled scene");

  // The master to 0: the output goes dark, the other page's fader follows.
  await a.$eval("#master", (e) => {
    e.value = "0";
    e.dispatchEvent(new Event("input", { bubbles: true }));
    e.dispatchEvent(new Event("change", { bubbles: true }));
  });
  await until(() => artnet.sum === 0, "Art-Net output dark after master 0");
  check(artnet.sum === 0, "the master move reaches the output");
  await until(async () => (await b.$eval("#master", (e) => e.value)) === "0", "the other page's master follows");
  check((await b.$eval("#master-value", (e) => e.textContent)) === "0", "the other page shows the master value");

  // The preview canvas takes the matrix size.
  await until(async () => (await a.$eval("#preview", (e) => e.width + "x" + e.height)) === "8x4", "the preview shows the 8 x 4 matrix");

  // A wrong PIN is refused.
  const c = await login("1111");
  await c.bringToFront();
  await until(async () => (await c.$eval("#login-message", (e) => e.textContent)).includes("Wrong PIN"), "a wrong PIN is refused");
  check(await c.$eval("#remote", (e) => e.hidden), "the refused page shows no controls");
} catch (error) {
  check(false, "page test: " + error.message);
} finally {
  if (browser) await browser.close();
  program.kill("SIGTERM");
  await new Promise((r) => program.once("exit", r));
  receiver.close();
  fs.rmSync(work, { recursive: true, force: true });
}
if (failures) console.log(programOutput);
console.log(`${passes} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
