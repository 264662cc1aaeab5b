#!/usr/bin/env bash
# The Debian package end to end: built from the plain build, its name, control
# data and file list, lintian; then installed, used, removed and purged with
# dpkg --root in a throwaway copy of this machine (an overlay over / in a
# private mount namespace), so no account, service or file outlives the test.
#   package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
build=$2
if [ "${3:-}" != --inside ]; then
  [ "$(id -u)" = 0 ] || { echo "SKIP: the package test installs as root"; exit 77; }
fi
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${3:-}" != --inside ]; then
  work=$(mktemp -d /tmp/ringpost-package.XXXXXX)
  trap 'rm -rf "$work"' EXIT
  "$src/scripts/package" --build "$build" --out "$work/dist"

  version=$(sed -n 's/^project(Ringpost .*VERSION \([0-9.]*\)).*/\1/p' "$src/CMakeLists.txt")
  arch=$(dpkg --print-architecture)
  deb=$work/dist/ringpost_${version}_${arch}.deb
  [ -f "$deb" ] || fail "no $deb: $(ls "$work/dist")"
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Package)" = ringpost ] || fail "Package: $(field Package)"
  [ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
  [ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
  for dep in adduser init-system-helpers libssl3 libc6 libqt6widgets6; do
    field Depends | grep -qw "$dep" || fail "Depends lacks $dep: $(field Depends)"
  done
  dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qx './postinst' || fail "no postinst"

  dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' > "$work/files"
  for f in /opt/ringpost/RingpostSvc /opt/ringpost/RingpostCfg /opt/ringpost/libKOVAPOP3.so \
           /opt/ringpost/libKOVASMTP.so /opt/ringpost/ringpost-service /opt/ringpost/ringpost-registry \
           /lib/systemd/system/ringpost.service /usr/share/applications/ringpost-console.desktop \
           /usr/share/icons/hicolor/scalable/apps/ringpost.svg \
           /usr/share/man/man8/RingpostSvc.8.gz /usr/share/man/man1/RingpostCfg.1.gz \
           /usr/include/kova/KOVAPOP3.h /usr/include/kova/KOVASMTP.h /usr/include/kova/KOVAMail.h \
           "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/pkgconfig/kovapop3.pc" \
           "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/pkgconfig/kovasmtp.pc" \
           /usr/share/doc/ringpost/copyright /usr/share/doc/ringpost/changelog.gz; do
    grep -qx "$f" "$work/files" || fail "$f is not in the package"
  done
  # Only what the package is for: no test program, no build path, nothing
  # below the home directory but the deliverables.
  if grep -E 'test|fuzz|bench|/usr/local|^/opt/ringpost/.+/' "$work/files"; then fail "unexpected files"; fi
  mkdir "$work/x"
  dpkg-deb -x "$deb" "$work/x"
  # The home directory is group-writable: no program or library there may look
  # for libraries in it, or a library someone adds there would run as root.
  for f in "$work"/x/opt/ringpost/*; do
    if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -E 'ORIGIN|/opt'; then fail "$f searches the home directory"; fi
  done
  readelf -d "$work/x/opt/ringpost/RingpostSvc" | grep -q "RUNPATH.*\[/usr/lib/.*/ringpost\]" ||
    fail "the engine does not find its libraries through the root-only links"
  desktop-file-validate "$work/x/usr/share/applications/ringpost-console.desktop"
  for page in man8/RingpostSvc.8 man1/RingpostCfg.1; do
    zcat "$work/x/usr/share/man/$page.gz" | grep -q '^\.SH SYNOPSIS' || fail "manual page $page"
  done

  unshare --mount true 2>/dev/null || { echo "SKIP: no private mount namespace here"; exit 77; }
  unshare --mount --propagation private "$0" "$src" "$build" --inside "$deb" "$work"
  echo "package test passed"
  exit 0
fi

# ---- inside a private mount namespace: the throwaway root ----
deb=$4
work=$5
root=$work/root
mkdir -p "$work/layer" "$root"
mount -t tmpfs tmpfs "$work/layer"
mkdir "$work/layer/upper" "$work/layer/work"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/layer/upper,workdir=$work/layer/work" "$root" ||
  { echo "SKIP: no overlay over / here"; exit 77; }
mount --rbind /dev "$root/dev"
mount -t proc proc "$root/proc"
# A fresh /run has no /run/systemd/system: no systemd runs here, as in a
# container or chroot, and the package must start nothing by itself.
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
in_root() { chroot "$root" "$@"; }
home=/opt/ringpost
key='HKLM\SYSTEM\CurrentControlSet\Services\KOVARingpost'

# The engine run in here must not outlive the test.
stop_all() {
  in_root "$home/ringpost-service" stop-all >/dev/null 2>&1 || true
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null || true
  done
}
trap stop_all EXIT

if in_root getent passwd ringpost >/dev/null || [ -e "$root$home" ]; then
  echo "SKIP: this machine has Ringpost installed; the test installs it afresh"
  exit 77
fi
cp "$deb" "$root/tmp/"
dpkg --root="$root" -i "$root/tmp/$(basename "$deb")" > "$work/dpkg.log" 2>&1 || fail "$(cat "$work/dpkg.log")"

echo "-- installed"
in_root getent passwd ringpost | grep -q ':/nonexistent:' || fail "account: $(in_root getent passwd ringpost)"
[ "$(in_root stat -c '%U:%G %a' "$home")" = "root:ringpost 3775" ] || fail "home: $(in_root stat -c '%U:%G %a' "$home")"
[ "$(in_root stat -c '%U %a' /var/lib/ringpost/registry)" = "root 755" ] || fail "registry directory"
[ "$(in_root stat -c '%U' /var/lib/ringpost/eventlog/Application.log)" = ringpost ] || fail "event log"
[ -L "$root/etc/systemd/system/multi-user.target.wants/ringpost.service" ] || fail "boot unit not enabled"
in_root "$home/ringpost-registry" query "$key" > "$work/key"
for v in 'ObjectName *REG_SZ *ringpost' 'Start *REG_DWORD *0x2' "ImagePath *REG_EXPAND_SZ *$home/RingpostSvc"; do
  grep -Eq "$v" "$work/key" || fail "service entry lacks $v: $(cat "$work/key")"
done
in_root "$home/ringpost-service" query KOVARingpost | grep -q 'STATE *: 1 ' || fail "something started the service"

echo "-- a program of one's own against the installed headers and pkg-config files"
cp "$src/packaging/tests/use_libraries.c" "$root/tmp/"
in_root sh -c 'cd /tmp && cc -Wall -Werror use_libraries.c $(pkg-config --cflags --libs kovapop3 kovasmtp) -o use_libraries'
in_root /tmp/use_libraries

echo "-- the boot hook starts the service as its account"
# Starts what is set to start at boot, then waits while it is starting.
start_and_settle() {
  in_root "$home/ringpost-service" start-auto >/dev/null
  for _ in $(seq 1 100); do
    in_root "$home/ringpost-service" query KOVARingpost > "$work/status"
    grep -q 'STATE *: 2 ' "$work/status" || return 0
    sleep 0.1
  done
}
uid=$(in_root id -u ringpost)
# Without a list the engine stops with 3 (no list), not 1 (key unreadable).
start_and_settle
grep -Eq 'STATE *: 1 .*' "$work/status" && grep -Eq 'SERVICE_EXIT_CODE *: 3 ' "$work/status" ||
  fail "$(cat "$work/status")"

# A group member makes a list; it belongs to the group, so the service reads it.
in_root adduser --quiet --disabled-password --gecos '' alice
in_root adduser --quiet alice ringpost
in_root setpriv --reuid=alice --regid=alice --init-groups sh -c "umask 007 && mkdir $home/Tea &&
  printf '[General]\r\nName=Tea\r\n[POP3]\r\nServer=127.0.25.1:1\r\n' > $home/Tea/Settings.INI &&
  printf 'ann@example.org\r\n' > $home/Tea/Members.TXT"
[ "$(in_root stat -c '%G' "$home/Tea/Members.TXT")" = ringpost ] || fail "a new list is not the group's"
start_and_settle
grep -q 'STATE *: 4 ' "$work/status" || fail "service not running: $(cat "$work/status")"
pid=$(sed -n 's/ *PID *: *//p' "$work/status")
[ "$(awk '/^Uid:/ {print $2}' "/proc/$pid/status")" = "$uid" ] || fail "the service does not run as ringpost"
grep -q 'KOVA(tm) Ringpost starting' "$root/var/lib/ringpost/eventlog/Application.log" || fail "no event written"
in_root "$home/ringpost-service" stop-all >/dev/null

echo "-- removed: lists, account and system directory stay"
dpkg --root="$root" -r ringpost >/dev/null
[ -f "$root$home/Tea/Members.TXT" ] || fail "remove took the list"
[ ! -e "$root$home/RingpostSvc" ] || fail "remove left the engine"
[ -d "$root/var/lib/ringpost/registry" ] || fail "remove took the system directory"
in_root getent passwd ringpost >/dev/null || fail "remove took the account"

echo "-- purged: only what the package made goes"
dpkg --root="$root" -P ringpost >/dev/null
[ -f "$root$home/Tea/Members.TXT" ] || fail "purge took the list"
[ ! -e "$root/var/lib/ringpost" ] || fail "purge left the system directory"
[ ! -e "$root/etc/systemd/system/multi-user.target.wants/ringpost.service" ] || fail "purge left the boot link"
