// The load of N open station pages on a running station, measured as the
// CPU time the station's process uses (/proc/PID/stat) over a span, once
// without the pages and once with them.
//
//   node bench/station_page_load.mjs PID HTTP_URL [PAGES] [SECONDS] [WS_URL]
//
// Each simulated page does what the page does: the status every 3 s, the
// event list every 15 s and the picture list every 20 s, revalidating with
// the validators it got, and, with WS_URL, one SeedLink WebSocket taking
// every channel live (the `ws` package that puppeteer-core brings along).
// Every page runs in this one process, so all of it lands on the station.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

const [pid, base, pages = "50", seconds = "60", wsUrl] = process.argv.slice(2);
const require = createRequire(new URL("../webpage/package.json", import.meta.url));
const ticks = 100; // USER_HZ, the unit of the times in /proc/PID/stat on Linux

function cpuSeconds() {
  const fields = readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ");
  return (Number(fields[11]) + Number(fields[12])) / ticks; // utime + stime
}

async function span(label, ms) {
  const before = cpuSeconds();
  const start = Date.now();
  await new Promise((resolve) => setTimeout(resolve, ms));
  const used = cpuSeconds() - before;
  const wall = (Date.now() - start) / 1000;
  const share = (100 * used) / wall;
  console.log(`${label}: ${used.toFixed(2)} s of CPU in ${wall.toFixed(0)} s = ${share.toFixed(2)} % of one core`);
  return share;
}

let requests = 0, notModified = 0, failures = 0, records = 0;

function poller(path, everyMs) {
  let tag = null;
  const once = async () => {
    try {
      const reply = await fetch(base + path, { headers: tag ? { "If-None-Match": tag } : {} });
      requests++;
      if (reply.status === 304) notModified++;
      else if (reply.ok) tag = reply.headers.get("etag");
      else failures++;
      await reply.arrayBuffer();
    } catch {
      failures++;
    }
  };
  // Pages open at different moments.
  setTimeout(() => { once(); setInterval(once, everyMs); }, Math.random() * everyMs);
}

// Each page from an address of its own (127.0.0.2, ...), as browsers in
// many homes: the server caps the connections of one address.
function seedlink(status, page) {
  const WebSocket = require("ws");
  const socket = new WebSocket(wsUrl, "SeedLink3.1", { localAddress: `127.0.0.${2 + page}` });
  socket.binaryType = "arraybuffer";
  const commands = ["HELLO", `STATION ${status.station} ${status.network}`,
    ...status.channels.filter((c) => c.acquiring).map((c) => `SELECT ${status.location}${c.code}.D`), "DATA", "END"];
  socket.on("open", () => { for (const c of commands) socket.send(c + "\r\n"); });
  socket.on("message", (data) => { if (data.byteLength >= 520) records++; });
  socket.on("error", () => failures++);
}

const idle = await span("station alone", Number(seconds) * 1000);
const status = await (await fetch(base + "api/status")).json();
for (let i = 0; i < Number(pages); i++) {
  poller("api/status", 3000);
  poller("api/events", 15000);
  poller("api/pictures", 20000);
  if (wsUrl) seedlink(status, i);
}
await new Promise((resolve) => setTimeout(resolve, 20000)); // every page has made each request once
const loaded = await span(`with ${pages} pages`, Number(seconds) * 1000);
console.log(`requests ${requests} (${notModified} answered 304), failures ${failures}, SeedLink records received ${records}`);
console.log(`the pages cost ${(loaded - idle).toFixed(2)} % of one core`);
process.exit(0);
