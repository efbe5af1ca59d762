#!/bin/bash
# Writes every kind of file the programs make onto a small file system that
# fills up part-way: each must fail with the file's name and the reason, leave
# the file that was there before byte for byte, and leave no temporary behind.
#   full_disk_test.sh FRPTOOL FRPGEN ORV_TESTS_PREVIEW
# Exits 77 (skipped) only when no small file system can be mounted here.
set -u
FRPTOOL=${1:?usage: full_disk_test.sh FRPTOOL FRPGEN ORV_TESTS_PREVIEW}
FRPGEN=${2:?}
PREVIEW_TESTS=${3:?}
SKIP=77
export QT_QPA_PLATFORM=offscreen

T=$(mktemp -d /tmp/orv-full.XXXXXX)
DISK=$T/disk
mkdir -p "$DISK" "$T/home"
export HOME=$T/home XDG_CONFIG_HOME=$T/home/.config XDG_DATA_HOME=$T/home/.local/share
LOOP=""
cleanup() {
  mountpoint -q "$DISK" && umount "$DISK"
  [ -n "$LOOP" ] && losetup -d "$LOOP" 2>/dev/null
  rm -rf "$T"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

if ! mount -t tmpfs -o size=2m,mode=0755 orv-full "$DISK" 2>/dev/null; then
  # Without tmpfs, a small ext2 image on a loop device does the same.
  if truncate -s 4m "$T/disk.img" && mkfs.ext2 -q -F "$T/disk.img" >/dev/null 2>&1 &&
     LOOP=$(losetup -f --show "$T/disk.img" 2>/dev/null) && mount "$LOOP" "$DISK" 2>/dev/null; then
    rm -rf "$DISK/lost+found"
  else
    echo "SKIP: neither a tmpfs nor a loop device can be mounted here"; exit $SKIP
  fi
fi

"$FRPGEN" "$T/big.frp" --pages 120 >/dev/null || { echo "FAIL: frpgen"; exit 1; }
"$FRPGEN" "$T/pages.frf" --template --band pages >/dev/null || { echo "FAIL: frpgen template"; exit 1; }
head -c 6000 /dev/urandom >"$T/previous"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The previous file at OUT, then the disk filled but for FREE bytes.
fill() {
  local out=$1 free=$2
  find "$DISK" -mindepth 1 -delete
  cp "$T/previous" "$out"
  dd if=/dev/zero of="$DISK/filler" bs=64k >/dev/null 2>&1
  dd if=/dev/zero of="$DISK/filler" bs=4k oflag=append conv=notrunc >/dev/null 2>&1
  local size
  size=$(stat -c %s "$DISK/filler")
  truncate -s $((size > free ? size - free : 0)) "$DISK/filler"
}

# NAME OUT FREE COMMAND...: the command must fail on the full disk.
check() {
  local name=$1 out=$2 free=$3
  shift 3
  fill "$out" "$free"
  local err rc
  err=$("$@" 2>&1 >/dev/null)
  rc=$?
  [ $rc = 2 ] || fail "$name: exit $rc, not 2 ($err)"
  case "$err" in
    *"$out"*"No space left on device"*) ;;
    *) fail "$name: the message does not name the file and the reason: $err" ;;
  esac
  cmp -s "$T/previous" "$out" || fail "$name: the previous file was changed"
  local left
  left=$(cd "$DISK" && ls -A | grep -v -x -e filler -e "$(basename "$out")")
  [ -z "$left" ] || fail "$name: left behind: $left"
  echo "ok: $name: $err"
}

check "save" "$DISK/out.frp" 8192 "$FRPTOOL" save "$T/big.frp" "$DISK/out.frp"
check "save --plain" "$DISK/out.frp" 65536 "$FRPTOOL" save --plain "$T/big.frp" "$DISK/out.frp"
check "pdf" "$DISK/out.pdf" 8192 "$FRPTOOL" pdf "$T/big.frp" -o "$DISK/out.pdf"
check "render" "$DISK/out.png" 8192 "$FRPTOOL" render "$T/big.frp" -o "$DISK/out.png" --zoom 300
check "thumbnail" "$DISK/out.png" 4096 "$FRPTOOL" thumbnail "$T/big.frp" "$DISK/out.png" 1024
check "prepare -o" "$DISK/out.frp" 0 "$FRPTOOL" prepare "$T/pages.frf" -o "$DISK/out.frp"
check "prepare --pdf" "$DISK/out.pdf" 4096 "$FRPTOOL" prepare "$T/pages.frf" -o "$T/ok.frp" --pdf "$DISK/out.pdf"
for kind in emf pdf png; do
  check "chart .$kind" "$DISK/chart.$kind" 0 "$FRPTOOL" chart --kind bar --3d \
    "Janeiro;Fevereiro;Março;Abril" "10;20;15;30" -o "$DISK/chart.$kind"
done
check "barcode" "$DISK/code.png" 0 "$FRPTOOL" barcode 2 "4006381333931" -o "$DISK/code.png"

# Text sent to standard output, redirected onto the full disk: the shell
# opened the file, so only the exit status and the message are ours.
fill "$DISK/out.txt" 0
err=$("$FRPTOOL" text "$T/big.frp" 2>&1 >"$DISK/out.txt")
rc=$?
[ $rc = 2 ] || fail "text > full disk: exit $rc, not 2"
case "$err" in
  *"cannot write the output: No space left on device"*) echo "ok: text > full disk: $err" ;;
  *) fail "text > full disk: $err" ;;
esac

# Nothing was lost by the failures: with room again, the same commands write.
find "$DISK" -mindepth 1 -delete
"$FRPTOOL" save "$T/big.frp" "$DISK/out.frp" && "$FRPTOOL" info "$DISK/out.frp" >/dev/null ||
  fail "saving with room again"

# The reader's own saving and exporting.
find "$DISK" -mindepth 1 -delete
ORV_FULL_DISK_DIR=$DISK "$PREVIEW_TESTS" --gtest_filter='FullDiskTest.*' --gtest_brief=1 ||
  fail "the reader's save and export"

[ $failures = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "every writer kept the previous file on a full disk"
