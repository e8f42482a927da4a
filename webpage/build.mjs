// Builds the station page into static files: node build.mjs OUTDIR
// The page's script and seisplotjs are bundled into one file, so the page
// loads nothing from anywhere but the station.
import * as esbuild from "esbuild";
import { copyFileSync, mkdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2] ?? join(here, "dist");
mkdirSync(out, { recursive: true });
await esbuild.build({
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
// seisplotjs is MIT: its notice goes with the bundle.
copyFileSync(join(here, "node_modules", "seisplotjs", "LICENSE"), join(out, "LICENSE-seisplotjs.txt"));
