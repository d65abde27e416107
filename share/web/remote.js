// Quor's web remote: one WebSocket to /live carries JSON text messages
// (log in, set controls, hear every control's value) and binary preview
// frames (width and height as 16-bit little-endian numbers, then RGB).
"use strict";

const state = { ws: null, values: {}, dragging: new Set(), pin: sessionStorage.getItem("quorPin") || "", retryTimer: 0 };
const $ = (id) => document.getElementById(id);

function setStatus(text, bad) {
  $("status").textContent = text;
  $("status").classList.toggle("bad", !!bad);
}

function send(message) {
  if (state.ws && state.ws.readyState === WebSocket.OPEN) state.ws.send(JSON.stringify(message));
}

function setControl(name, value) { send({ set: name, value: value }); }

function connect() {
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  const ws = new WebSocket(scheme + location.host + "/live");
  ws.binaryType = "arraybuffer";
  state.ws = ws;
  setStatus("Connecting…");
  ws.onmessage = (event) => {
    if (typeof event.data === "string") receive(JSON.parse(event.data));
    else drawPreview(event.data);
  };
  ws.onclose = () => {
    if (state.ws !== ws) return;
    setStatus("Disconnected, retrying…", true);
    setTimeout(connect, 1500);
  };
}

function receive(message) {
  if (message.auth === "required") {
    if (state.pin) send({ pin: state.pin });
    else showLogin("");
  } else if (message.auth === "refused") {
    state.pin = "";
    sessionStorage.removeItem("quorPin");
    const wait = message.retryMs || 0;
    showLogin(wait > 0 ? "Too many tries: wait " + Math.ceil(wait / 1000) + " s" : "Wrong PIN");
    holdLogin(wait);
  } else if (message.auth === "ok") {
    if (state.pin) sessionStorage.setItem("quorPin", state.pin);
    $("login").hidden = true;
    $("remote").hidden = false;
    setStatus("Connected");
    send({ preview: true });
  }
  if (message.show) buildShow(message.show);
  if (message.values) applyValues(message.values);
}

function showLogin(text) {
  $("remote").hidden = true;
  $("login").hidden = false;
  $("login-message").textContent = text;
  setStatus(text ? "PIN refused" : "PIN needed", !!text);
  $("pin").focus();
}

function holdLogin(ms) {
  clearTimeout(state.retryTimer);
  $("enter").disabled = ms > 0;
  if (ms > 0) state.retryTimer = setTimeout(() => { $("enter").disabled = false; $("login-message").textContent = ""; }, ms);
}

function buildShow(show) {
  buildButtons($("scenes"), show.scenes, (n) => "scene/" + n + "/recall", "Scene ");
  buildButtons($("chases"), show.chases, (n) => "chase/" + n + "/play", "Chase ");
  applyValues(state.values);
}

function buildButtons(box, count, nameOf, label) {
  if (box.children.length === count) return;
  box.replaceChildren();
  for (let n = 1; n <= count; n++) {
    const button = document.createElement("button");
    button.textContent = label + n;
    button.dataset.control = nameOf(n);
    button.className = "trigger";
    box.appendChild(button);
  }
}

function applyValues(values) {
  Object.assign(state.values, values);
  for (const element of document.querySelectorAll("[data-control]")) {
    const name = element.dataset.control;
    if (!(name in values)) continue;
    const value = values[name];
    if (element.type === "range") {
      if (state.dragging.has(element)) continue;
      element.value = value;
      showFader(element);
    } else if (element.classList.contains("toggle") || element.classList.contains("trigger")) {
      element.classList.toggle("on", value !== 0);
      element.setAttribute("aria-pressed", value !== 0 ? "true" : "false");
    } else if (name === "master/blackout") {
      element.classList.toggle("on", value !== 0);
    }
  }
}

function showFader(input) {
  const shown = $(input.id + "-value");
  if (shown) shown.textContent = input.value;
}

// Fader moves go out at most every 40 ms while dragging, and the last one always.
function wireFader(input) {
  let last = 0, timer = 0;
  const flush = () => { timer = 0; last = performance.now(); setControl(input.dataset.control, Number(input.value)); };
  input.addEventListener("input", () => {
    showFader(input);
    const wait = 40 - (performance.now() - last);
    if (wait <= 0) flush();
    else if (!timer) timer = setTimeout(flush, wait);
  });
  const grab = () => state.dragging.add(input);
  const release = () => { state.dragging.delete(input); if (timer) { clearTimeout(timer); } flush(); };
  input.addEventListener("pointerdown", grab);
  input.addEventListener("pointerup", release);
  input.addEventListener("pointercancel", release);
  input.addEventListener("change", () => { state.dragging.delete(input); });
}

function onPress(event) {
  const button = event.target.closest("button[data-control]");
  if (!button) return;
  const name = button.dataset.control;
  if (button.classList.contains("toggle")) setControl(name, state.values[name] ? 0 : 1);
  else setControl(name, 1);
}

function drawPreview(buffer) {
  const bytes = new Uint8Array(buffer);
  if (bytes.length < 4) return;
  const width = bytes[0] | (bytes[1] << 8), height = bytes[2] | (bytes[3] << 8);
  if (width === 0 || height === 0 || bytes.length < 4 + width * height * 3) return;
  const canvas = $("preview");
  if (canvas.width !== width || canvas.height !== height) {
    canvas.width = width;
    canvas.height = height;
    canvas.style.aspectRatio = width + " / " + height;
  }
  const context = canvas.getContext("2d");
  const image = context.createImageData(width, height);
  const rgba = image.data;
  for (let i = 0, j = 4; i < rgba.length; i += 4, j += 3) {
    rgba[i] = bytes[j];
    rgba[i + 1] = bytes[j + 1];
    rgba[i + 2] = bytes[j + 2];
    rgba[i + 3] = 255;
  }
  context.putImageData(image, 0, 0);
}

document.addEventListener("DOMContentLoaded", () => {
  $("login").addEventListener("submit", (event) => {
    event.preventDefault();
    state.pin = $("pin").value;
    $("pin").value = "";
    $("login-message").textContent = "Checking…";
    send({ pin: state.pin });
  });
  document.addEventListener("click", onPress);
  for (const input of document.querySelectorAll("input[type=range]")) wireFader(input);
  connect();
});
