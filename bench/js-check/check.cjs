// Independent checks of what orrisk-convert writes, by the JavaScript readers of the field:
// laz-perf decodes a LAZ file (point formats 0 to 8) and compares every record with the LAS
// file it was made from; copc.js walks a COPC file's hierarchy pages, decodes every node and
// checks that each point lies in its node's cube and that the nodes hold the header's count.
// Benchmark-only: nothing in the build or the tests runs it. The npm packages `copc` and
// `laz-perf` are installed by whoever runs it, outside the project:
//   npm install --prefix DIR copc laz-perf
//   NODE_PATH=DIR/node_modules node bench/js-check/check.cjs laz OUT.laz SOURCE.las
//   NODE_PATH=DIR/node_modules node bench/js-check/check.cjs copc OUT.copc.laz
'use strict';
const fs = require('fs');
const { createLazPerf } = require('laz-perf');

function fail(message) {
  console.error(`check: ${message}`);
  process.exit(1);
}

async function checkLaz(lazPath, lasPath) {
  const LazPerf = await createLazPerf();
  const laz = fs.readFileSync(lazPath);
  const las = fs.readFileSync(lasPath);
  const lasOffset = las.readUInt32LE(96);
  const lasLength = las.readUInt16LE(105);
  const filePtr = LazPerf._malloc(laz.length);
  LazPerf.HEAPU8.set(laz, filePtr);
  const reader = new LazPerf.LASZip();
  reader.open(filePtr, laz.length);
  const count = reader.getCount();
  const length = reader.getPointLength();
  if (length !== lasLength) fail(`record length ${length}, the LAS file has ${lasLength}`);
  const pointPtr = LazPerf._malloc(length);
  for (let i = 0; i < count; ++i) {
    reader.getPoint(pointPtr);
    const decoded = LazPerf.HEAPU8.subarray(pointPtr, pointPtr + length);
    const expected = las.subarray(lasOffset + i * length, lasOffset + (i + 1) * length);
    if (Buffer.compare(Buffer.from(decoded), expected) !== 0) fail(`record ${i} differs`);
  }
  reader.delete();
  console.log(`laz-perf: ${count} records of ${lazPath} equal those of ${lasPath}`);
}

async function checkCopc(path) {
  const { Copc } = require('copc');
  const lazPerf = await createLazPerf();
  const copc = await Copc.create(path);
  const [minX, minY, minZ, maxX, maxY, maxZ] = copc.info.cube;
  const side = maxX - minX;
  let points = 0, nodes = 0, pages = 0;
  const slack = (axis) => copc.header.scale[axis];
  const visit = async (page) => {
    ++pages;
    const subtree = await Copc.loadHierarchyPage(path, page);
    for (const [key, node] of Object.entries(subtree.nodes)) {
      if (!node || node.pointCount === 0) continue;
      const [d, x, y, z] = key.split('-').map(Number);
      const cell = side / 2 ** d;
      const low = [minX + x * cell, minY + y * cell, minZ + z * cell];
      const view = await Copc.loadPointDataView(path, copc, node, { lazPerf });
      if (view.pointCount !== node.pointCount) fail(`node ${key}: ${view.pointCount} points, the hierarchy says ${node.pointCount}`);
      const get = ['X', 'Y', 'Z'].map((name) => view.getter(name));
      for (let i = 0; i < view.pointCount; ++i)
        for (let axis = 0; axis < 3; ++axis) {
          const v = get[axis](i);
          if (v < low[axis] - slack(axis) || v > low[axis] + cell + slack(axis))
            fail(`node ${key}: point ${i} lies outside its cube (${['x', 'y', 'z'][axis]} = ${v})`);
        }
      points += view.pointCount;
      ++nodes;
    }
    for (const child of Object.values(subtree.pages)) if (child) await visit(child);
  };
  await visit(copc.info.rootHierarchyPage);
  if (points !== copc.header.pointCount) fail(`the nodes hold ${points} points, the header ${copc.header.pointCount}`);
  console.log(`copc.js: ${path}: ${nodes} nodes in ${pages} hierarchy pages hold the header's ${points} points, each in its cube`);
}

const [mode, first, second] = process.argv.slice(2);
(mode === 'laz' ? checkLaz(first, second) : mode === 'copc' ? checkCopc(first) : Promise.reject(new Error('usage: check.cjs laz OUT.laz SOURCE.las | copc OUT.copc.laz')))
  .catch((error) => fail(error.message));
