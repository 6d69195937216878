// The control page of a running graflink-cli: the documents arrive over the web socket /live
// (its first message carries the token), the buttons post to /documents/ID/ACTION with the
// token in an Authorization header. Everything from the machine is shown as text, never as HTML.
"use strict";

const TokenKey = "graflinkControlToken";
const RetryFirstSeconds = 1;
const RetryMostSeconds = 30;

const state = {
  token: sessionStorage.getItem(TokenKey) || "",
  control: false,
  socket: null,
  retrySeconds: RetryFirstSeconds,
  retryTimer: 0,
  waitingForToken: false,
  documents: new Map(), // id → {data, view}
  serverNow: 0, // the machine's clock (seconds) in its last message …
  serverNowAt: 0, // … and this page's clock (milliseconds) when it came
  clearTarget: null,
};

const $ = (id) => document.getElementById(id);

// MARK: - Texts, as the desktop window words them

function ageText(seconds) {
  if (seconds < 60) return `${seconds} s`;
  if (seconds < 3600) return `${Math.floor(seconds / 60)} min ${seconds % 60} s`;
  return `${Math.floor(seconds / 3600)} h ${Math.floor((seconds % 3600) / 60)} min`;
}

// Whole seconds since `at`, a time on the machine's clock (null: never).
function secondsSince(at) {
  if (at === null || at === undefined) return null;
  const now = state.serverNow + (Date.now() - state.serverNowAt) / 1000;
  return Math.max(0, Math.floor(now - at));
}

function freshnessText(doc) {
  const since = secondsSince(doc.lastRefreshAt);
  if (doc.stale) return since === null ? "⚠ STALE: no data yet" : `⚠ STALE: no data for ${ageText(since)}`;
  if (!doc.lastSuccessfulRefresh) return "Not refreshed yet";
  const at = new Date(doc.lastSuccessfulRefresh).toLocaleTimeString([], { hour12: false });
  const ago = since === null ? "" : `, ${ageText(since)} ago`;
  return `Last refresh ${at}${ago}`;
}

function connectionText(doc) {
  if (!doc.cgServer) return "○ No CG server";
  return doc.connected ? `● CG ${doc.cgServer} connected` : `○ CG ${doc.cgServer} not connected, retrying`;
}

function onAirText(doc) {
  if (!doc.publishing) return "Preview only";
  return doc.connected ? "ON AIR" : "⚠ ON AIR, CG NOT CONNECTED";
}

function periodText(seconds) {
  return `${Number(seconds).toLocaleString([], { maximumFractionDigits: 3 })} s`;
}

// MARK: - Building and updating a document's card

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function fact(list, label) {
  list.append(element("dt", "", label));
  const value = element("dd");
  list.append(value);
  return value;
}

function button(label, action, id) {
  const node = element("button", "", label);
  node.type = "button";
  node.dataset.action = action;
  node.dataset.document = String(id);
  return node;
}

function buildView(doc) {
  const card = element("article", "document");
  card.id = `document-${doc.id}`;
  card.dataset.document = String(doc.id);
  const header = element("header");
  const title = element("h2", "", doc.name);
  title.id = `document-${doc.id}-name`;
  card.setAttribute("aria-labelledby", title.id);
  const kind = element("span", "kind", doc.type === "graflink" ? "Graflink document" : "Data source");
  header.append(title, kind);

  const facts = element("dl", "facts");
  const view = { card, title, facts: {} };
  if (doc.type === "graflink") view.facts.cg = fact(facts, "CG server");
  view.facts.freshness = fact(facts, "Refresh");
  view.facts.auto = fact(facts, "Auto refresh");
  if (doc.type !== "graflink") {
    view.facts.rows = fact(facts, "Rows");
    view.facts.lastExport = fact(facts, "Last export");
  }
  view.facts.error = fact(facts, "Last error");

  const controls = element("div", "controls");
  controls.setAttribute("role", "group");
  controls.setAttribute("aria-label", `Controls of ${doc.name}`);
  view.update = button("Update", "update", doc.id);
  view.update.setAttribute("aria-label", `Update ${doc.name}`);
  controls.append(view.update);
  if (doc.type === "graflink") {
    view.onAir = button("ON AIR", "on-air", doc.id);
    view.onAir.classList.add("on-air");
    view.onAir.setAttribute("aria-label", `ON AIR, ${doc.name}`);
    view.clear = button("Clear…", "clear", doc.id);
    view.clear.setAttribute("aria-label", `Clear CG fields of ${doc.name}`);
    controls.append(view.onAir, view.clear);
  }
  view.auto = button("Auto refresh", "auto-refresh", doc.id);
  view.auto.setAttribute("aria-label", `Auto refresh, ${doc.name}`);
  controls.append(view.auto);

  card.append(header, facts, controls);
  if (doc.type === "graflink") {
    const wrap = element("div", "table-wrap");
    const table = element("table");
    const caption = element("caption", "", `Variables of ${doc.name}`);
    const head = element("thead");
    const row = element("tr");
    for (const name of ["Path", "Value", "Age", "Project", "Field"]) {
      const cell = element("th", "", name);
      cell.scope = "col";
      row.append(cell);
    }
    head.append(row);
    view.variables = element("tbody");
    table.append(caption, head, view.variables);
    wrap.append(table);
    card.append(wrap);
  }
  return view;
}

function cell(text, className) {
  const node = element("td", className);
  if (text === null || text === undefined || text === "") {
    node.classList.add("none");
    node.textContent = "—";
  } else {
    node.textContent = String(text);
  }
  return node;
}

function showAges(entry) {
  const { data: doc, view } = entry;
  view.facts.freshness.textContent = freshnessText(doc);
  view.facts.freshness.classList.toggle("stale", Boolean(doc.stale));
  if (!view.variables) return;
  const rows = view.variables.rows;
  (doc.variables || []).forEach((variable, index) => {
    const age = rows[index] && rows[index].cells[2];
    const seconds = secondsSince(variable.changedAt);
    const known = seconds !== null;
    if (!age) return;
    age.textContent = known ? ageText(seconds) : "—";
    age.classList.toggle("none", !known);
  });
}

function showDocument(entry) {
  const { data: doc, view } = entry;
  view.title.textContent = doc.name;
  if (view.facts.cg) {
    view.facts.cg.textContent = connectionText(doc);
    view.facts.cg.classList.toggle("connected", Boolean(doc.connected));
  }
  view.facts.auto.textContent = doc.autoRefresh ? `on, every ${periodText(doc.period)}` : "off";
  if (view.facts.rows) view.facts.rows.textContent = String(doc.rows);
  if (view.facts.lastExport) {
    const last = doc.lastExport;
    view.facts.lastExport.textContent = !last
      ? "none since start"
      : `${new Date(last.at).toLocaleTimeString([], { hour12: false })} to ${last.path}` +
        (last.error ? ` (failed: ${last.error})` : "");
    view.facts.lastExport.classList.toggle("error-text", Boolean(last && last.error));
  }
  view.facts.error.textContent = doc.lastError || "none";
  view.facts.error.classList.toggle("error-text", Boolean(doc.lastError));

  if (view.onAir) {
    view.onAir.textContent = onAirText(doc);
    view.onAir.setAttribute("aria-pressed", doc.publishing ? "true" : "false");
    view.onAir.classList.toggle("not-connected", !doc.connected);
  }
  view.auto.setAttribute("aria-pressed", doc.autoRefresh ? "true" : "false");
  view.auto.textContent = doc.autoRefresh ? "Auto refresh: on" : "Auto refresh: off";
  for (const control of [view.update, view.onAir, view.clear, view.auto]) {
    if (!control) continue;
    control.disabled = !state.control;
    control.title = state.control ? "" : "Read-only: start run with --status-token-env to use the buttons";
  }

  if (view.variables) {
    const body = element("tbody");
    for (const variable of doc.variables || []) {
      const row = element("tr");
      row.append(cell(variable.path), cell(variable.value, "value"), element("td"), cell(variable.project),
                 cell(variable.field));
      body.append(row);
    }
    view.variables.replaceWith(body);
    view.variables = body;
  }
  showAges(entry);
}

// A change names a document's members that differ, and of its variables only what differs in
// each ("variableChanges": {index: members}).
function applyChange(data, change) {
  const { variableChanges, ...members } = change;
  Object.assign(data, members);
  for (const [index, variable] of Object.entries(variableChanges || {}))
    if (data.variables && data.variables[Number(index)]) Object.assign(data.variables[Number(index)], variable);
}

// `whole`: every document in full (on connecting); otherwise what changed.
function receive(documents, whole) {
  const list = $("documents");
  for (const doc of documents) {
    let entry = state.documents.get(doc.id);
    if (!entry) {
      entry = { data: doc, view: buildView(doc) };
      state.documents.set(doc.id, entry);
      const next = [...state.documents.keys()].sort((a, b) => a - b).find((id) => id > doc.id);
      list.insertBefore(entry.view.card, next === undefined ? null : state.documents.get(next).view.card);
    } else if (whole) {
      entry.data = doc;
    } else {
      applyChange(entry.data, doc);
    }
    showDocument(entry);
  }
}

// MARK: - The web socket

function setConnection(text, lost) {
  const line = $("connection");
  line.textContent = text;
  line.classList.toggle("lost", lost);
  $("documents").classList.toggle("offline", lost);
}

function askForToken(problem) {
  state.waitingForToken = true;
  $("token-problem").textContent = problem;
  $("token-form").hidden = false;
  $("read-only").hidden = true;
  $("token").focus();
}

function connect() {
  clearTimeout(state.retryTimer);
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  const socket = new WebSocket(`${scheme}//${location.host}/live`);
  socket.binaryType = "arraybuffer";
  state.socket = socket;
  let opened = false;
  socket.addEventListener("open", () => {
    opened = true;
    socket.send(JSON.stringify({ token: state.token }));
  });
  socket.addEventListener("message", (event) => {
    let message;
    try {
      const text = typeof event.data === "string" ? event.data : new TextDecoder().decode(event.data);
      message = JSON.parse(text);
    } catch (error) {
      return; // nothing this page understands
    }
    if (typeof message.now === "number") {
      state.serverNow = message.now;
      state.serverNowAt = Date.now();
    }
    if (message.type === "documents") {
      state.retrySeconds = RetryFirstSeconds;
      state.control = Boolean(message.control);
      $("read-only").hidden = state.control;
      $("token-form").hidden = true;
      setConnection(state.control ? "Connected: live, control on" : "Connected: live, read-only", false);
      for (const entry of state.documents.values()) showDocument(entry);
    }
    if (Array.isArray(message.documents)) receive(message.documents, message.type === "documents");
  });
  socket.addEventListener("close", (event) => {
    if (state.socket !== socket) return;
    state.socket = null;
    if (event.code === 1008) {
      const wrong = event.reason === "wrong token" && state.token !== "";
      if (wrong) sessionStorage.removeItem(TokenKey);
      state.token = "";
      setConnection(wrong ? "Wrong token" : "This machine needs its control token", true);
      askForToken(wrong ? "Wrong token: the machine refused it. Enter the token again." : "");
      return;
    }
    const wait = state.retrySeconds;
    state.retrySeconds = Math.min(RetryMostSeconds, state.retrySeconds * 2);
    setConnection(`Connection to the machine lost${opened ? "" : " (no answer)"}; trying again in ${wait} s…`, true);
    state.retryTimer = setTimeout(connect, wait * 1000 * (0.8 + Math.random() * 0.4));
  });
}

// MARK: - Actions

function showMessage(text, failed) {
  const line = $("message");
  line.textContent = text;
  line.classList.toggle("error", failed);
}

async function perform(id, action) {
  try {
    const response = await fetch(`/documents/${encodeURIComponent(id)}/${action}`, {
      method: "POST",
      headers: { Authorization: `Bearer ${state.token}` },
      cache: "no-store",
      credentials: "omit",
    });
    const text = (await response.text()).trim();
    if (response.status === 401) {
      sessionStorage.removeItem(TokenKey);
      state.token = "";
      showMessage(`Wrong token: ${text}`, true);
      const socket = state.socket;
      state.socket = null;
      if (socket) socket.close();
      askForToken("Wrong token: the machine refused it. Enter the token again.");
      return;
    }
    showMessage(response.ok ? `Done: ${text}` : text, !response.ok);
  } catch (error) {
    showMessage("The machine could not be reached; nothing was done.", true);
  }
}

function clicked(event) {
  const control = event.target.closest("button[data-action]");
  if (!control || control.disabled) return;
  const id = Number(control.dataset.document);
  const entry = state.documents.get(id);
  if (!entry) return;
  const doc = entry.data;
  switch (control.dataset.action) {
    case "update":
      perform(id, "update");
      break;
    case "on-air":
      perform(id, doc.publishing ? "off-air" : "on-air");
      break;
    case "auto-refresh":
      perform(id, doc.autoRefresh ? "auto-refresh-off" : "auto-refresh-on");
      break;
    case "clear":
      state.clearTarget = { id, opener: control };
      $("clear-text").textContent = `The fields of ${doc.name} go blank on air at once, and the document goes ` +
        "off air (Preview only) until you turn ON AIR on again.";
      $("clear-dialog").showModal();
      $("clear-cancel").focus();
      break;
  }
}

function closeClearDialog(confirmed) {
  const target = state.clearTarget;
  state.clearTarget = null;
  $("clear-dialog").close();
  if (!target) return;
  if (confirmed) perform(target.id, "clear");
  target.opener.focus();
}

document.addEventListener("DOMContentLoaded", () => {
  $("documents").addEventListener("click", clicked);
  $("clear-cancel").addEventListener("click", () => closeClearDialog(false));
  $("clear-confirm").addEventListener("click", () => closeClearDialog(true));
  $("clear-dialog").addEventListener("cancel", (event) => {
    event.preventDefault();
    closeClearDialog(false);
  });
  $("token-form").addEventListener("submit", (event) => {
    event.preventDefault();
    state.token = $("token").value.trim();
    $("token").value = "";
    sessionStorage.setItem(TokenKey, state.token);
    state.waitingForToken = false;
    $("token-form").hidden = true;
    showMessage("", false);
    if (state.socket) state.socket.close();
    state.socket = null;
    setConnection("Connecting to the machine…", false);
    connect();
  });
  setInterval(() => {
    for (const entry of state.documents.values()) showAges(entry);
  }, 1000);
  connect();
});
