// Keeps N live-channel clients of the web remote connected for SECONDS:
// each logs in with PIN, asks for the preview and reads everything. Prints
// how many preview frames and value messages they got.
//
//   node tools/browser/web_clients.mjs PORT PIN N SECONDS
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
const WebSocket = require("ws");
const [port, pin, count, seconds] = process.argv.slice(2);
let frames = 0, texts = 0;
const sockets = [];
for (let i = 0; i < Number(count); i++) {
  const ws = new WebSocket(`ws://127.0.0.1:${port}/live`);
  ws.on("message", (data, binary) => {
    if (binary) return void frames++;
    texts++;
    const message = JSON.parse(data.toString());
    if (message.auth === "required") ws.send(JSON.stringify({ pin }));
    if (message.auth === "ok") ws.send(JSON.stringify({ preview: true }));
  });
  ws.on("error", (error) => console.error("web_clients:", error.message));
  sockets.push(ws);
}
setTimeout(() => {
  for (const ws of sockets) ws.close();
  console.log(`${count} clients: ${frames} preview frames, ${texts} text messages in ${seconds} s`);
  process.exit(0);
}, Number(seconds) * 1000);
