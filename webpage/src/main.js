// The station page: a client of the station's own services. Status, events
// and pictures come from the small JSON API under /api/, the live traces
// from the station's SeedLink over WebSocket; seisplotjs decodes the
// miniSEED records and draws the seismograms.
import { luxon, miniseed, scale, seedlink, seismogram, seismograph, seismographconfig } from "./seisplot.js";

const { DateTime, Duration } = luxon;

const STATUS_EVERY_MS = 3000;
const EVENTS_EVERY_MS = 15000;
const PICTURES_EVERY_MS = 20000;
const REQUEST_TIMEOUT_MS = 8000;
const MIN_WINDOW_S = 10;
const MAX_WINDOW_S = 600;
// Samples kept per channel: the longest window and a little more.
const KEEP_S = MAX_WINDOW_S * 1.2;

// The SeedLink WebSocket is the station's SeedLink port at /seedlink; a
// page reached through a proxy names another with ?seedlink=wss://...
const SEEDLINK_URL = new URLSearchParams(location.search).get("seedlink");

const $ = (id) => document.getElementById(id);


// A seismograph's layout on the page: no title or x label, no wheel zoom
// (the page's own gestures zoom), the time scale shared with its controls.
function graphConfig(timeScale, yLabel, leftMargin) {
  const config = new seismographconfig.SeismographConfig();
  config.linkedTimeScale = timeScale;
  config.wheelZoom = false;
  config.title = [];
  config.xLabel = "";
  config.yLabel = yLabel;
  config.ySublabel = "";
  config.ySublabelIsUnits = false;
  config.margin = { top: 6, right: 10, bottom: 22, left: leftMargin };
  return config;
}
function element(tag, attributes = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attributes)) {
    if (k === "class") e.className = v;
    else if (k.startsWith("on")) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c instanceof Node ? c : document.createTextNode(String(c)));
  return e;
}

async function getJson(url) {
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), REQUEST_TIMEOUT_MS);
  try {
    // "no-cache": the browser revalidates with the ETag it holds, and the
    // station answers 304 when nothing changed.
    const reply = await fetch(url, { cache: "no-cache", signal: abort.signal });
    if (!reply.ok) throw new Error(`${url}: ${reply.status} ${reply.statusText}`);
    return await reply.json();
  } finally {
    clearTimeout(timer);
  }
}

// Board time texts ("YYYY/MM/DD HH:MM:SS") are the station's clock, which
// its standard data label as UTC.
function boardTime(text) {
  return DateTime.fromFormat(text.slice(0, 19), "yyyy/MM/dd HH:mm:ss", { zone: "utc" });
}

function formatRate(rate) {
  if (rate == null) return "…";
  if (rate >= 1) return `${rate.toFixed(1)} sps`;
  if (rate > 0.1) return `${rate.toFixed(2)} sps`;
  return rate > 0 ? `${(rate * 60).toFixed(1)} per min` : "0 sps";
}

function formatBytes(bytes) {
  if (bytes == null) return "unknown";
  const units = ["B", "kB", "MB", "GB", "TB"];
  let v = bytes, u = 0;
  while (v >= 1000 && u < units.length - 1) { v /= 1000; u++; }
  return `${v.toFixed(u ? 1 : 0)} ${units[u]}`;
}

function formatDuration(seconds) {
  if (seconds == null) return "?";
  seconds = Math.round(seconds);
  const d = Math.floor(seconds / 86400), h = Math.floor(seconds / 3600) % 24;
  const m = Math.floor(seconds / 60) % 60, s = seconds % 60;
  if (d) return `${d} d ${h} h`;
  if (h) return `${h} h ${m} min`;
  if (m) return `${m} min ${s} s`;
  return `${s} s`;
}

// ---------------------------------------------------------------- gestures

// Pan and zoom of a time scale by mouse or finger: one pointer drags the
// window, two pinch it, the wheel zooms, within `minMs`..`maxMs` of window;
// `changed` is told after each move.
function attachGestures(target, timeScale, changed, reset, minMs, maxMs) {
  const pointers = new Map();
  let pinchStart = null;
  const width = () => target.getBoundingClientRect().width || 1;
  const durationMs = () => Math.abs(timeScale.duration.toMillis());
  const setDuration = (ms) => {
    ms = Math.min(Math.max(ms, minMs), maxMs);
    const sign = timeScale.duration.toMillis() < 0 ? -1 : 1;
    timeScale.duration = Duration.fromMillis(sign * ms);
  };
  target.addEventListener("pointerdown", (e) => {
    target.setPointerCapture(e.pointerId);
    pointers.set(e.pointerId, e.clientX);
    if (pointers.size === 2) {
      const [a, b] = [...pointers.values()];
      pinchStart = { distance: Math.abs(a - b) || 1, duration: durationMs() };
    }
  });
  target.addEventListener("pointermove", (e) => {
    if (!pointers.has(e.pointerId)) return;
    const previous = pointers.get(e.pointerId);
    pointers.set(e.pointerId, e.clientX);
    if (pointers.size === 1) {
      const dx = e.clientX - previous;
      if (dx === 0) return;
      timeScale.offset = timeScale.offset.minus(Duration.fromMillis(dx / width() * durationMs()));
      changed("pan");
    } else if (pointers.size === 2 && pinchStart) {
      const [a, b] = [...pointers.values()];
      setDuration(pinchStart.duration * pinchStart.distance / (Math.abs(a - b) || 1));
      changed("zoom");
    }
  });
  const up = (e) => {
    pointers.delete(e.pointerId);
    if (pointers.size < 2) pinchStart = null;
  };
  target.addEventListener("pointerup", up);
  target.addEventListener("pointercancel", up);
  target.addEventListener("wheel", (e) => {
    e.preventDefault();
    setDuration(durationMs() * (e.deltaY > 0 ? 1.25 : 0.8));
    changed("zoom");
  }, { passive: false });
  target.addEventListener("dblclick", (e) => { e.preventDefault(); reset(); });
  return { setDuration, durationMs };
}

// ---------------------------------------------------------------- live traces

class LiveTraces {
  constructor() {
    // Every trace shares one time scale: its window ends at the board's
    // "now" (offset from the alignment time) and lasts `duration`.
    this.alignment = DateTime.utc();
    this.timeScale = new scale.AlignmentLinkedTimeScale([], Duration.fromMillis(-300000), Duration.fromMillis(0));
    this.traces = new Map();     // code -> { row, sdd, graph, channel, lastEnd }
    this.live = true;
    this.skewMs = null;          // board time minus browser time, at best
    this.skewSeen = [];
    this.connection = null;
    this.wanted = "";            // the selection the connection was made for
    this.retryMs = 2000;
    this.retryTimer = null;
    this.lastSampleTime = null;  // board time of the newest sample received
    this.state = "not connected";
    $("live-toggle").addEventListener("click", () => this.setLive(!this.live));
    $("zoom-in").addEventListener("click", () => this.zoom(0.5));
    $("zoom-out").addEventListener("click", () => this.zoom(2));
    setInterval(() => this.step(), 250);
    this.showWindow();
  }

  boardNow() {
    return DateTime.utc().plus(Duration.fromMillis(this.skewMs ?? 0));
  }

  setLive(live) {
    this.live = live;
    $("live-toggle").textContent = live ? "Pause" : "Live";
    $("live-toggle").classList.toggle("active", !live);
    this.showState();
    if (live) this.step();
  }

  zoom(factor) {
    const ms = Math.abs(this.timeScale.duration.toMillis()) * factor;
    this.timeScale.duration = Duration.fromMillis(-Math.min(Math.max(ms, MIN_WINDOW_S * 1000), MAX_WINDOW_S * 1000));
    this.showWindow();
  }

  showWindow() {
    $("window-length").textContent = `window ${formatDuration(Math.abs(this.timeScale.duration.toMillis()) / 1000)}`;
  }

  showState() {
    $("live-state").textContent = `${this.state}${this.live ? "" : " · paused"}`;
  }

  step() {
    if (!this.live || document.hidden || this.skewMs == null) return;
    this.timeScale.offset = this.boardNow().diff(this.alignment);
  }

  // The station's status names the channels that acquire and where its
  // SeedLink listens; (re)connect when that changes or the link is down.
  update(status) {
    for (const t of this.traces.values()) {
      const c = status.channels[t.channel - 1];
      const recording = !!(c && c.recording);
      t.row.classList.toggle("recording", recording);
      t.rec.textContent = recording ? `● recording event since ${c.event_start.slice(11)}` : "";
      if (recording && t.markedEvent !== c.event_start) {
        t.markedEvent = c.event_start;
        t.sdd.addMarker({ name: "event", time: boardTime(c.event_start), markertype: "pick", description: "event start" });
      }
    }
    if (this.skewMs == null && status.board_time) {
      this.skewMs = boardTime(status.board_time).diff(DateTime.utc()).toMillis();
    }
    const channels = status.channels.filter((c) => c.acquiring && c.code);
    // A channel switched off or given another rate (another code) goes.
    for (const [code, t] of this.traces) {
      if (status.acquiring && !channels.some((c) => c.code === code)) {
        t.row.remove();
        this.traces.delete(code);
      }
    }
    if (status.seedlink_port == null && !SEEDLINK_URL) {
      this.state = "live traces need the station's SeedLink server (--seedlink)";
      this.showState();
      return;
    }
    const loc = status.location || "";
    const wanted = `${status.network}.${status.station}:${channels.map((c) => loc + c.code).join(",")}@${status.seedlink_port}`;
    if (!status.acquiring || channels.length === 0) {
      this.state = "acquisition stopped";
      this.showState();
      return;
    }
    if (wanted === this.wanted && this.connection) return;
    if (this.retryTimer) return;
    this.connect(status, channels, wanted);
  }

  connect(status, channels, wanted) {
    this.disconnect();
    this.wanted = wanted;
    const scheme = location.protocol === "https:" ? "wss" : "ws";
    const url = SEEDLINK_URL ?? `${scheme}://${location.hostname}:${status.seedlink_port}/seedlink`;
    const loc = status.location || "";
    const commands = [`STATION ${status.station} ${status.network}`,
      ...channels.map((c) => `SELECT ${loc}${c.code}.D`)];
    const connection = new seedlink.SeedlinkConnection(url, commands,
      (packet) => this.receive(packet), (error) => this.failed(error));
    // Start where the traces end (after a break), else a window back, so
    // that the traces fill at once from the station's recent records.
    const from = this.lastSampleTime ?? (status.board_time ? boardTime(status.board_time).minus({ seconds: MAX_WINDOW_S }) : null);
    if (from) connection.setTimeCommand(from);
    connection.setOnClose(() => { if (this.connection === connection) this.failed(new Error("connection closed")); });
    this.connection = connection;
    this.state = "connecting…";
    this.showState();
    connection.connect();
  }

  disconnect() {
    const c = this.connection;
    this.connection = null;
    if (c) c.close();
  }

  failed(error) {
    if (!this.connection) return;
    this.disconnect();
    const why = error instanceof Error && !/isTrusted/.test(error.message) ? error.message : "the station's SeedLink WebSocket cannot be reached";
    this.state = `live data lost (${why}), reconnecting`;
    this.showState();
    this.retryTimer = setTimeout(() => { this.retryTimer = null; this.wanted = ""; }, this.retryMs);
    this.retryMs = Math.min(this.retryMs * 2, 30000);
  }

  receive(packet) {
    this.retryMs = 2000;
    const record = packet.miniseed;
    const seg = miniseedSegment(record);
    if (!seg) return;
    const code = seg.channelCode;
    const end = seg.endTime;
    // The best estimate of the board's clock: no record ends after "now".
    const now = DateTime.utc();
    const skew = end.diff(now).toMillis();
    this.skewSeen.push({ at: now.toMillis(), skew });
    this.skewSeen = this.skewSeen.filter((s) => now.toMillis() - s.at < 120000);
    this.skewMs = Math.max(...this.skewSeen.map((s) => s.skew));
    if (!this.lastSampleTime || end > this.lastSampleTime) this.lastSampleTime = end;
    this.state = "live";
    this.showState();

    let trace = this.traces.get(code);
    if (!trace) trace = this.addTrace(code, seg);
    else {
      trace.sdd.append(seg);
      const keepFrom = end.minus({ seconds: KEEP_S });
      if (trace.sdd.startTime < keepFrom.minus({ seconds: 60 })) {
        trace.sdd.trimInPlace(luxon.Interval.fromDateTimes(keepFrom, end.plus({ seconds: 1 })));
      }
    }
    trace.row.dataset.lastSample = end.toISO();
    trace.samples += seg.numPoints;
    trace.row.dataset.samples = String(trace.samples);
  }

  addTrace(code, seg) {
    $("traces-empty")?.remove();
    const sdd = seismogram.SeismogramDisplayData.fromSeismogramSegment(seg);
    sdd.alignmentTime = this.alignment;
    const config = graphConfig(this.timeScale, "", 48);
    config.linkedAmplitudeScale = new scale.IndividualAmplitudeScale();
    config.isYAxisNice = false;
    const graph = new seismograph.Seismograph([sdd], config);
    const rec = element("span", { class: "rec" });
    const channel = Number(this.channelOf(code));
    const label = element("span", { class: "label" }, `CH${channel || "?"} ${code}`, rec);
    const gestures = element("div", { class: "gestures" });
    const row = element("div", { class: "trace", "data-code": code }, label, graph, gestures);
    // Dragging looks back (the traces stop following); zooming keeps them live.
    attachGestures(gestures, this.timeScale, (kind) => { if (kind === "pan") this.setLive(false); this.showWindow(); },
      () => this.setLive(true), MIN_WINDOW_S * 1000, MAX_WINDOW_S * 1000);
    row.dataset.channel = String(channel);
    const traces = $("traces");
    const after = [...traces.children].find((r) => Number(r.dataset.channel) > channel);
    traces.insertBefore(row, after ?? null);
    const trace = { row, sdd, graph, rec, channel, samples: 0, markedEvent: null };
    this.traces.set(code, trace);
    return trace;
  }

  channelOf(code) {
    const c = (this.lastStatus?.channels ?? []).findIndex((ch) => ch.code === code);
    return c >= 0 ? c + 1 : 0;
  }
}

function miniseedSegment(record) {
  try {
    return miniseed.createSeismogramSegment(record);
  } catch (e) {
    console.warn("record not decoded", e);
    return null;
  }
}

// ---------------------------------------------------------------- status

const live = new LiveTraces();
let lastStatusOk = 0;

function showBanner(text, kind) {
  const b = $("banner");
  b.hidden = !text;
  b.textContent = text ?? "";
  b.className = kind ?? "";
}

function renderStatus(s) {
  const name = s.station_name || "Station";
  document.title = `${name} · ${s.network}.${s.station || "?"}`;
  $("title").textContent = `${name} — ${s.network}.${s.station || "?"}${s.location ? "." + s.location : ""}`;
  const state = $("state");
  state.textContent = s.acquiring ? "acquiring" : "acquisition stopped";
  state.className = `badge ${s.acquiring ? "ok" : "stopped"}`;
  showBanner(s.acquiring ? null : "Acquisition is stopped at the station.", "stopped");
  const rows = [
    ["Station", `${name} (${s.network}.${s.station || "?"}${s.location ? "." + s.location : ""})`],
    ["Coordinates", `${s.coordinates}, ${s.elevation} m`],
    ["Board", `${s.board}${s.firmware ? ", firmware " + s.firmware : ""}`],
    ["Board clock", s.board_time || "not running"],
    ["Time receiver", `${s.time_source}: ${s.receiver_locked ? "locked, the board follows it" : "not locked"}${s.last_sync ? ", last sync " + s.last_sync : ""}`],
    ["Free disk", formatBytes(s.free_bytes)],
    ["Serial buffer", s.buffer_size ? `${Math.round(100 * s.buffer_fill / s.buffer_size)} % (${s.buffer_fill} of ${s.buffer_size} bytes)` : "?"],
    ["Last event", s.last_event_time ? `${s.last_event_time} (${s.last_event_file})` : "none listed"],
    ["Events since start", String(s.events_recorded)],
    ["Program", `${s.version}, up ${formatDuration(s.uptime_seconds)}`],
  ];
  $("status").replaceChildren(...rows.flatMap(([k, v]) => [element("dt", {}, k), element("dd", {}, v)]));
  $("channels").tBodies[0].replaceChildren(...s.channels.map((c) => element("tr", { "data-channel": c.channel },
    element("td", {}, `CH${c.channel}`),
    element("td", {}, c.code || "—"),
    element("td", {}, c.nominal_rate ? formatRate(c.nominal_rate) : "off"),
    element("td", { class: "measured" }, c.acquiring ? formatRate(c.measured_rate) : "—"),
    element("td", c.recording ? { class: "rec" } : {}, c.recording ? `recording since ${c.event_start.slice(11)}` : (c.acquiring ? "acquiring" : "off")))));
  $("footer").replaceChildren(`Station page of ${s.version}; board time is shown as the station's clock gives it. `,
    element("a", { href: "LICENSES.txt" }, "Licences of the libraries in the page"));
}

async function pollStatus() {
  try {
    const s = await getJson("api/status");
    const first = !live.lastStatus;
    lastStatusOk = Date.now();
    document.body.classList.remove("stale");
    live.lastStatus = s;
    if (first) { renderEvents(); renderPictures(); }
    renderStatus(s);
    live.update(s);
  } catch (e) {
    document.body.classList.add("stale");
    $("state").textContent = "unreachable";
    $("state").className = "badge down";
    const since = lastStatusOk ? ` (last answer ${formatDuration((Date.now() - lastStatusOk) / 1000)} ago)` : "";
    showBanner(`The station does not answer${since}. Retrying by itself…`, "down");
  } finally {
    setTimeout(pollStatus, STATUS_EVERY_MS);
  }
}

// ---------------------------------------------------------------- events

let eventPlot = null;

function channelCode(channel) {
  const c = live.lastStatus?.channels?.[channel - 1];
  return c?.code ? `${channel} ${c.code}` : (channel ? String(channel) : "?");
}

let listedEvents = [];

async function pollEvents() {
  try {
    listedEvents = (await getJson("api/events")).events;
    renderEvents();
  } catch (e) {
    // The status poll shows an unreachable station.
  } finally {
    setTimeout(pollEvents, EVENTS_EVERY_MS);
  }
}

function renderEvents() {
  {
    const events = listedEvents;
    const rows = events.map((e) => {
      const download = element("a", { href: `events/${encodeURIComponent(e.file)}`, download: e.file, onclick: (ev) => ev.stopPropagation() }, e.file);
      return element("tr", { class: e.available ? "clickable" : "", "data-file": e.file, title: e.available ? "Show the event" : "Event file not found",
        onclick: () => e.available && openEvent(e) },
      element("td", {}, e.start), element("td", {}, channelCode(e.channel)),
      element("td", {}, formatDuration(e.duration_seconds)), element("td", {}, e.max_ratio.toFixed(1)),
      element("td", {}, String(e.max_amplitude)), element("td", {}, e.available ? download : e.file));
    });
    if (rows.length === 0) rows.push(element("tr", {}, element("td", { colspan: 6, class: "note" }, "No event listed yet.")));
    $("events").tBodies[0].replaceChildren(...rows);
  }
}

async function openEvent(e) {
  const box = $("event-plot");
  box.hidden = false;
  $("event-title").textContent = `${e.file}: ${e.start}, channel ${channelCode(e.channel)}, loading…`;
  $("event-download").href = `events/${encodeURIComponent(e.file)}`;
  $("event-download").setAttribute("download", e.file);
  const area = $("event-trace");
  area.replaceChildren();
  try {
    const data = await getJson(`api/event/${encodeURIComponent(e.file)}`);
    const start = DateTime.fromISO(data.start, { zone: "utc" });
    const rate = data.rate > 0 ? data.rate : (e.rate || 1);
    const sdd = seismogram.SeismogramDisplayData.fromContiguousData(Int32Array.from(data.samples), rate, start);
    const length = Duration.fromMillis(Math.max(1000, data.samples.length / rate * 1000));
    const timeScale = new scale.AlignmentLinkedTimeScale([], length, Duration.fromMillis(0));
    sdd.alignmentTime = start;
    const config = graphConfig(timeScale, "counts", 60);
    const graph = new seismograph.Seismograph([sdd], config);
    const gestures = element("div", { class: "gestures" });
    area.append(graph, gestures);
    const reset = () => { timeScale.duration = length; timeScale.offset = Duration.fromMillis(0); };
    attachGestures(gestures, timeScale, () => {}, reset, 500, 2 * length.toMillis());
    $("event-reset").onclick = reset;
    $("event-title").textContent = `${e.file}: ${e.start}, channel ${channelCode(e.channel)}, ${data.samples.length} samples at ${rate} sps${data.truncated ? " (first part)" : ""}`;
    eventPlot = graph;
    box.scrollIntoView({ behavior: "smooth", block: "nearest" });
  } catch (err) {
    $("event-title").textContent = `${e.file}: cannot be shown (${err.message})`;
  }
}

$("event-close").addEventListener("click", () => { $("event-plot").hidden = true; $("event-trace").replaceChildren(); eventPlot = null; });

// ---------------------------------------------------------------- pictures

let chosenDay = "";   // "" today, else "YYMMDD"
let pictures = { pictures: [], live_spectrograms: [] };

function dayText(d) {
  return d ? `20${d.slice(0, 2)}/${d.slice(2, 4)}/${d.slice(4, 6)}` : "today";
}

function figure(src, caption) {
  const img = element("img", { src, alt: caption, loading: "lazy" });
  return element("figure", {}, element("a", { href: src, target: "_blank" }, img), element("figcaption", {}, caption));
}

function renderPictures() {
  const list = pictures.pictures;
  // Days before today with pictures (today's spectrogram saved at a STOP is
  // drawn live below).
  const bt = live.lastStatus?.board_time ?? "";
  const today = bt ? bt.slice(2, 4) + bt.slice(5, 7) + bt.slice(8, 10) : "";
  const days = [...new Set(list.filter((p) => p.date && p.date !== today).map((p) => p.date))].sort().reverse();
  const buttons = [element("button", { type: "button", class: chosenDay === "" ? "active" : "", onclick: () => { chosenDay = ""; renderPictures(); } }, "Today")];
  for (const d of days.slice(0, 7)) {
    buttons.push(element("button", { type: "button", class: chosenDay === d ? "active" : "", onclick: () => { chosenDay = d; renderPictures(); } }, dayText(d)));
  }
  if (days.length > 7) {
    const select = element("select", { "aria-label": "Earlier days", onchange: (ev) => { chosenDay = ev.target.value; renderPictures(); } },
      element("option", { value: "" }, "Earlier days…"), ...days.slice(7).map((d) => element("option", { value: d }, dayText(d))));
    buttons.push(select);
  }
  $("drum-days").replaceChildren(...buttons);
  $("drum-day").textContent = chosenDay ? dayText(chosenDay) : "today, refreshed when the station saves them";
  const drums = list.filter((p) => chosenDay ? p.kind === "archive" && p.date === chosenDay : p.kind === "today");
  $("drums").replaceChildren(...(drums.length ? drums.map((p) => figure(`drums/${encodeURIComponent(p.file)}?v=${p.modified}`,
    `Channel ${channelCode(p.channel)} — ${chosenDay ? dayText(chosenDay) : "saved " + DateTime.fromSeconds(p.modified).toFormat("yyyy/MM/dd HH:mm:ss")}`))
    : [element("p", { class: "note" }, chosenDay ? "No drum picture of that day." : "No drum picture saved yet (drums are saved every image period).")]));
  // Spectrograms: today's as drawn so far, or the saved one of the chosen day.
  const spectra = chosenDay
    ? list.filter((p) => p.kind === "spectrogram" && p.date === chosenDay).map((p) => figure(`drums/${encodeURIComponent(p.file)}?v=${p.modified}`, `Channel ${channelCode(p.channel)} — ${dayText(chosenDay)}`))
    : pictures.live_spectrograms.map((c) => figure(`api/spectrogram/${c}.png?v=${Math.floor(Date.now() / 60000)}`, `Channel ${channelCode(c)} — today so far (one column a minute)`));
  $("spectrogram-section").hidden = spectra.length === 0;
  $("spectrograms").replaceChildren(...spectra);
}

async function pollPictures() {
  try {
    const next = await getJson("api/pictures");
    const changed = JSON.stringify(next) !== JSON.stringify(pictures);
    pictures = next;
    if (changed || (!chosenDay && pictures.live_spectrograms.length)) renderPictures();
  } catch (e) {
    // shown by the status poll
  } finally {
    setTimeout(pollPictures, PICTURES_EVERY_MS);
  }
}

document.addEventListener("visibilitychange", () => { if (!document.hidden) live.step(); });
renderPictures();
pollStatus();
pollEvents();
pollPictures();
