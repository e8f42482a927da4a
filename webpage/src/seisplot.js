// The parts of seisplotjs the page uses, taken from the package's own
// TypeScript modules so that the bundle holds only them (the package's
// prebuilt single file drags maps, templates and zip along: 1.8 MB
// against 0.35 MB).
export * as luxon from "luxon";
export * as miniseed from "../node_modules/seisplotjs/src/miniseed.ts";
export * as scale from "../node_modules/seisplotjs/src/scale.ts";
export * as seedlink from "../node_modules/seisplotjs/src/seedlink.ts";
export * as seismogram from "../node_modules/seisplotjs/src/seismogram.ts";
export * as seismograph from "../node_modules/seisplotjs/src/seismograph.ts";
export * as seismographconfig from "../node_modules/seisplotjs/src/seismographconfig.ts";
