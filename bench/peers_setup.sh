# Sourced by the peer scripts: the build and work folders, the tools they
# need, and the large report (with its PDF) that every comparison reads.
# Set TOOLS to the commands to check before sourcing; $1 and $2 are the
# script's BUILD_DIR and WORK_DIR.
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build-bench}" && pwd)
WORK=${2:-/tmp/orv-bench}
PAGES=${PAGES:-10000}
FRPTOOL=$BUILD/src/frptool
FRPGEN=$BUILD/tools/frpgen
for t in $TOOLS; do
  command -v $t >/dev/null || { echo "missing $t" >&2; exit 2; }
done
mkdir -p "$WORK"
cd "$WORK"
export QT_QPA_PLATFORM=offscreen

[ -s big.frp ] || "$FRPGEN" big.frp --pages "$PAGES" >/dev/null
[ -s big.pdf ] || "$FRPTOOL" pdf big.frp -o big.pdf
