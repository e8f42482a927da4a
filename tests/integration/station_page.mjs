// Opens the station page of a running station in headless Chromium and
// waits for what a user must see: the status with measured rates, live
// traces that move, a drum picture and the quake in the event list; then
// opens the event's plot and takes a picture of the page at desktop and at
// phone size.
//
//   node station_page.mjs URL SCREENSHOT_PREFIX WEBPAGE_DIR [CHROMIUM]
//
// Exit status 0 when everything was seen; otherwise what was missing on
// standard error. Every wait is for a condition, bounded by a deadline.
import { createRequire } from "node:module";
import { join } from "node:path";

const [url, shots, webpageDir, chromium = "/usr/bin/chromium"] = process.argv.slice(2);
const puppeteer = createRequire(join(webpageDir, "package.json"))("puppeteer-core");
const WAIT = { timeout: 150000, polling: 250 };

async function step(name, work) {
  const started = Date.now();
  try {
    const result = await work();
    console.log(`ok   ${name} (${((Date.now() - started) / 1000).toFixed(1)} s)${result ? ": " + result : ""}`);
  } catch (error) {
    console.error(`FAIL ${name}: ${error.message}`);
    throw error;
  }
}

const browser = await puppeteer.launch({
  executablePath: chromium,
  headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run"],
});
let status = 1;
try {
  const page = await browser.newPage();
  const problems = [];
  page.on("pageerror", (e) => problems.push(`page error: ${e.message}`));
  page.on("requestfailed", (r) => {
    // The page loads nothing but the station's own services.
    if (!r.url().startsWith(new URL(url).origin) && !r.url().startsWith("ws")) problems.push(`outside request ${r.url()}`);
  });
  await page.setViewport({ width: 1280, height: 900 });
  await page.goto(url, { waitUntil: "load" });

  await step("status with measured rates", async () => {
    // Each channel's measured rate within 5% of the rate set.
    await page.waitForFunction(() => {
      const rows = [...document.querySelectorAll("#channels tbody tr")];
      return rows.length === 4 && rows.every((r) => {
        const set = parseFloat(r.cells[2].textContent), measured = parseFloat(r.cells[3].textContent);
        return /^\d+\.\d sps$/.test(r.cells[3].textContent) && Math.abs(measured - set) < set * 0.05;
      });
    }, WAIT);
    return page.$$eval("#channels td.measured", (cells) => cells.map((c) => c.textContent).join(", "));
  });
  await step("four live traces that move", async () => {
    await page.waitForFunction(() => document.querySelectorAll("#traces .trace[data-samples]").length === 4, WAIT);
    const first = await page.$eval("#traces .trace", (t) => t.dataset.lastSample);
    await page.waitForFunction((before) => document.querySelector("#traces .trace").dataset.lastSample > before, WAIT, first);
    const after = await page.$eval("#traces .trace", (t) => `${t.dataset.code} ${t.dataset.lastSample}`);
    return `${first} then ${after}`;
  });
  await step("drum picture", async () => {
    await page.waitForFunction(() => {
      const img = document.querySelector("#drums img");
      return img && img.complete && img.naturalWidth > 0;
    }, WAIT);
    return page.$eval("#drums img", (i) => `${i.getAttribute("src")} ${i.naturalWidth}x${i.naturalHeight}`);
  });
  await step("the quake in the event list", async () => {
    await page.waitForFunction(() => document.querySelector("#events tr[data-file].clickable"), WAIT);
    return page.$eval("#events tr[data-file]", (r) => r.innerText.replace(/\s+/g, " "));
  });
  await step("the event's plot", async () => {
    await page.click("#events tr[data-file].clickable");
    await page.waitForFunction(() => /samples at/.test(document.querySelector("#event-title").textContent), WAIT);
    return page.$eval("#event-title", (e) => e.textContent);
  });
  await step("pictures of the page", async () => {
    await page.screenshot({ path: `${shots}_desktop.png`, fullPage: true });
    // A phone's viewport loads the page afresh.
    await page.setViewport({ width: 390, height: 844, isMobile: true, hasTouch: true });
    await page.waitForFunction(() => document.querySelectorAll("#traces .trace[data-samples]").length === 4 &&
      document.querySelector("#events tr[data-file].clickable"), WAIT);
    await page.click("#events tr[data-file].clickable");
    await page.waitForFunction(() => /samples at/.test(document.querySelector("#event-title").textContent), WAIT);
    await page.screenshot({ path: `${shots}_phone.png`, fullPage: true });
    return `${shots}_desktop.png, ${shots}_phone.png`;
  });
  if (problems.length) throw new Error(problems.join("; "));
  status = 0;
} catch (error) {
  console.error(error.message);
} finally {
  await browser.close();
}
process.exit(status);
