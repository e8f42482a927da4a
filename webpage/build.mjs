// Builds the station page into static files: node build.mjs OUTDIR
// The page's script and seisplotjs are bundled into one file, so the page
// loads nothing from anywhere but the station.
import * as esbuild from "esbuild";
import { copyFileSync, existsSync, mkdirSync, readdirSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2] ?? join(here, "dist");
mkdirSync(out, { recursive: true });
const result = await esbuild.build({
  metafile: true,
  entryPoints: [join(here, "src", "main.js")],
  bundle: true,
  minify: true,
  format: "esm",
  target: ["es2020"],
  outfile: join(out, "app.js"),
  legalComments: "linked",
  logLevel: "warning",
});
for (const name of ["index.html", "style.css", "icon.svg"]) {
  copyFileSync(join(here, "src", name), join(out, name));
}
// The licence notice of every package whose code the bundle holds goes
// with it.
const packages = new Set();
const bundled = Object.values(result.metafile.outputs).flatMap((o) =>
  Object.entries(o.inputs).filter(([, use]) => use.bytesInOutput > 0).map(([input]) => input));
for (const input of bundled) {
  const m = input.match(/node_modules\/((?:@[^/]+\/)?[^/]+)\//);
  if (m) packages.add(m[1]);
}
let notices = "The station page bundles these npm packages; their licence notices follow.\n";
for (const name of [...packages].sort()) {
  const folder = join(here, "node_modules", name);
  const info = JSON.parse(readFileSync(join(folder, "package.json"), "utf8"));
  notices += `\n==== ${name} ${info.version} (${info.license ?? "see below"})\n`;
  const file = existsSync(folder) && readdirSync(folder).find((f) => /^(licen[cs]e|copying)/i.test(f));
  notices += file ? readFileSync(join(folder, file), "utf8") : "(no licence file in the package)\n";
}
writeFileSync(join(out, "LICENSES.txt"), notices);
