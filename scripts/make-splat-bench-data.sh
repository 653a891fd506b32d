#!/usr/bin/env bash
# Writes the splat-format benchmark inputs: make-bench-data's 1M-splat SH-3 scene converted to
# SPZ (versions 4 and 3), compressed PLY and SOG with the npm package @playcanvas/splat-transform
# (installed here into bench-data/splat-transform with the machine's node and npm), and to
# .splat by a few lines of Python (the package writes no .splat). A benchmark-input tool only:
# nothing in the build or the tests needs it. Where node, npm or the package are missing it
# says so and exits 0; the benchmarks then skip with a message.
# Usage: scripts/make-splat-bench-data.sh [DATA_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
data=${1:-${ORRISK_BENCH_DATA:-$PWD/bench-data}}
mkdir -p "$data"
source_ply=$data/splat-1m-sh3.ply
[[ -f $source_ply ]] || ../shared/tools/make-bench-data "$data" --only splat-1m-sh3

if [[ ! -f $data/splat-1m-sh3.splat ]]; then
  python3 - "$source_ply" "$data/splat-1m-sh3.splat" <<'PY'
import math, struct, sys
source, target = sys.argv[1], sys.argv[2]
with open(source, 'rb') as f:
    header = b''
    while not header.endswith(b'end_header\n'):
        header += f.readline()
    names = [l.split()[-1].decode() for l in header.split(b'\n') if l.startswith(b'property')]
    count = int(header.split(b'element vertex ')[1].split(b'\n')[0])
    col = {n: i for i, n in enumerate(names)}
    record = struct.Struct('<%df' % len(names))
    out = bytearray()
    clamp = lambda v: max(0, min(255, int(round(v))))
    for _ in range(count):
        v = record.unpack(f.read(record.size))
        rot = [v[col['rot_%d' % k]] for k in range(4)]
        n = math.sqrt(sum(r * r for r in rot)) or 1.0
        out += struct.pack('<6f', v[col['x']], v[col['y']], v[col['z']],
                           *(math.exp(v[col['scale_%d' % k]]) for k in range(3)))
        out += bytes(clamp((0.5 + 0.28209479177387814 * v[col['f_dc_%d' % k]]) * 255) for k in range(3))
        out.append(clamp(255 / (1 + math.exp(-v[col['opacity']]))))
        out += bytes(clamp(r / n * 128 + 128) for r in rot)
with open(target, 'wb') as f:
    f.write(out)
PY
fi

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "make-splat-bench-data: node and npm are not installed; SPZ, compressed PLY and SOG inputs skipped" >&2
  exit 0
fi
tool=$data/splat-transform/node_modules/.bin/splat-transform
if [[ ! -x $tool ]]; then
  if ! npm install --prefix "$data/splat-transform" --no-audit --no-fund @playcanvas/splat-transform >&2; then
    echo "make-splat-bench-data: @playcanvas/splat-transform could not be installed; inputs skipped" >&2
    exit 0
  fi
fi
convert() {
  [[ -e $data/$1 ]] || "$tool" -q -w "${@:2}" "$source_ply" "$data/$1"
}
convert splat-1m-sh3.spz
convert splat-1m-sh3_v3.spz --spz-version 3
convert splat-1m-sh3.compressed.ply
# SOG clusters the SH into a palette of up to 65536 entries by k-means, each pass comparing
# every splat with every entry (1M x 64K x 45 values): seconds with WebGPU, but on the CPU
# hours even with one pass (`-g cpu -i 1`: 10K splats with an 8K palette took 6 s of CPU,
# 50K with 32K 223 s; the cost grows with splats times palette, so 1M with 64K would take
# some 2.5 hours). Without a GPU adapter the SH-3 bundle is skipped,
# and the scene is also written without its SH (seconds) so that SOG's image decoding is
# measured on all 1M splats: compare .../sog_sh0 with its own decompression.
# Without a GPU the first tenth of the scene (make-bench-data --scale 0.1) is converted with
# its SH instead: 100K splats with a 64K palette, about a quarter of an hour of one core.
if "$tool" -L 2>&1 | grep -q "No GPU adapters"; then
  echo "make-splat-bench-data: no GPU adapter for SOG's SH clustering; splat-1m-sh3.sog skipped," \
       "splat-100k-sh3.sog made on the CPU instead" >&2
  if [[ ! -e $data/splat-100k-sh3.ply ]]; then
    tenth=$(mktemp -d "$data/tenth.XXXXXX")
    ../shared/tools/make-bench-data "$tenth" --only splat-1m-sh3 --scale 0.1
    mv "$tenth/splat-1m-sh3.ply" "$data/splat-100k-sh3.ply"
    rmdir "$tenth"
  fi
  [[ -e $data/splat-100k-sh3.sog ]] || "$tool" -q -w -g cpu -i 1 "$data/splat-100k-sh3.ply" "$data/splat-100k-sh3.sog"
else
  convert splat-1m-sh3.sog
fi
[[ -e $data/splat-1m-sh0.sog ]] || "$tool" -q -w "$source_ply" -H 0 "$data/splat-1m-sh0.sog"
