#!/bin/bash
# Installs the Debian package on a freshly made Debian 12 system and uses it as a new user
# would: apt resolves the package's declared dependencies from Debian alone, the program is
# started from its desktop entry by an ordinary user with a new HOME, a member is created, an
# examination entered and saved; then the package is removed and purged and the member's
# database must still be in the user's data folder and open.
#
# A tool, not a test of `make test`: it needs root, the Debian mirror and several minutes.
#
#   sudo scripts/fresh-install-check.sh [PACKAGE.deb]
#
# Settings (environment):
#   ROOT=/var/tmp/kvr-fresh        the fresh system, made anew on every run (removed at the end
#                                  unless KEEP=1)
#   BASE=/var/tmp/kvr-fresh-base   an untouched debootstrap result, made on the first run and
#                                  copied for the next ones (FRESH_BASE=1 makes it anew)
#   MIRROR=http://deb.debian.org/debian
#   NO_RECOMMENDS=1                install without the recommended packages (what systems
#                                  configured with APT::Install-Recommends "false" get)
#   SHOTS=DIR                      where the screenshots are copied (default: the log folder)
#   LOG=/var/tmp/kvr-fresh-log     logs of every step and the measured figures (figures.txt)
set -euo pipefail

HERE=$(cd "$(dirname "$0")/.." && pwd)
ROOT=${ROOT:-/var/tmp/kvr-fresh}
BASE=${BASE:-/var/tmp/kvr-fresh-base}
MIRROR=${MIRROR:-http://deb.debian.org/debian}
LOG=${LOG:-/var/tmp/kvr-fresh-log}
SHOTS=${SHOTS:-$LOG}
USER_NAME=hanako
MEMBER=123456
TOOLS="xvfb xdotool dbus at-spi2-core python3-pyatspi imagemagick sqlcipher libglib2.0-bin"

DEB=${1:-$(ls "$HERE"/build/kvr-chart-db_*.deb 2>/dev/null | tail -1)}
[ "$(id -u)" = 0 ] || { echo "run as root (debootstrap, chroot, mount)"; exit 2; }
[ -f "$DEB" ] || { echo "no package: make package first, or name the .deb"; exit 2; }
case "$ROOT" in /|/usr*|/home|/work*|"$HERE"*) echo "refusing ROOT=$ROOT"; exit 2 ;; esac
exec 9>"$ROOT.lock"  # one run at a time: removing the root of a finished run takes a while
flock -n 9 || { echo "another run is using $ROOT"; exit 2; }
mkdir -p "$LOG" "$SHOTS"
FIGURES=$LOG/figures.txt
: >"$FIGURES"

say() { echo "== $*"; }
figure() { echo "$*" | tee -a "$FIGURES"; }
in_root() { chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"; }
seconds() { local t0=$1; echo "$(( $(date +%s%N) / 1000000 - t0 ))" | awk '{printf "%.1f", $1 / 1000}'; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

unmount_all() {
    # Innermost first; nothing of ROOT may stay mounted before it is removed.
    findmnt -rn -o TARGET | { grep "^$ROOT/" || true; } | sort -r | while read -r m; do umount -l "$m"; done
}
remove_root() {
    unmount_all
    if findmnt -rn -o TARGET | grep -q "^$ROOT/"; then echo "still mounted below $ROOT"; exit 1; fi
    rm -rf --one-file-system "$ROOT"
}
finish() {
    local status=$?
    unmount_all
    if [ "${KEEP:-0}" != 1 ]; then say "removing $ROOT"; remove_root; fi
    say "end, status $status"
}

# ---------------------------------------------------------------- a fresh system
command -v debootstrap >/dev/null || { echo "debootstrap missing: scripts/install-deps.sh installs it"; exit 2; }
if [ ! -x "$BASE/usr/bin/apt" ] || [ "${FRESH_BASE:-0}" = 1 ]; then
    say "debootstrap bookworm (minbase) into $BASE"
    rm -rf --one-file-system "$BASE"
    t=$(now_ms)
    debootstrap --variant=minbase bookworm "$BASE" "$MIRROR" >"$LOG/debootstrap.log" 2>&1
    figure "debootstrap: $(seconds "$t") s"
else
    figure "debootstrap: reused $BASE (made $(stat -c %y "$BASE/var/log/bootstrap.log" 2>/dev/null | cut -d. -f1))"
fi
[ -d "$ROOT" ] && remove_root
trap finish EXIT
cp -a "$BASE" "$ROOT"
figure "fresh system: $(du -sh --one-file-system "$ROOT" | cut -f1), $(in_root dpkg-query -W -f='.\n' | wc -l) packages"
cat >"$ROOT/etc/apt/sources.list" <<EOF
deb $MIRROR bookworm main
deb $MIRROR bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
cat /etc/resolv.conf >"$ROOT/etc/resolv.conf"
mount -t proc proc "$ROOT/proc"
mount -t sysfs sysfs "$ROOT/sys"
mount --bind /dev "$ROOT/dev"
mount --bind /dev/pts "$ROOT/dev/pts"

# ---------------------------------------------------------------- apt install ./kvr-chart-db_*.deb
say "apt install ./$(basename "$DEB")"
in_root apt-get update >"$LOG/apt-update.log" 2>&1
cp "$DEB" "$ROOT/tmp/"
extra=""
[ "${NO_RECOMMENDS:-0}" = 1 ] && extra=--no-install-recommends
t=$(now_ms)
chroot "$ROOT" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    sh -c "cd /tmp && apt install -y $extra ./$(basename "$DEB")" >"$LOG/apt-install.log" 2>&1
figure "apt install: $(seconds "$t") s${extra:+ ($extra)}"
figure "  $(grep -m1 'newly installed' "$LOG/apt-install.log")"
figure "  $(grep -m1 '^Need to get' "$LOG/apt-install.log")"
figure "  $(grep -m1 '^After this operation' "$LOG/apt-install.log")"
figure "kvr-chart-db installed size: $(in_root dpkg-query -W -f='${Installed-Size}' kvr-chart-db) KiB"
in_root sh -c 'ldd /usr/lib/kvr-chart-db/KVRChartDB | grep "not found"' && { echo "libraries missing"; exit 1; }

# ---------------------------------------------------------------- the test driver's tools only
say "tools of the driver: $TOOLS"
in_root apt-get install -y --no-install-recommends $TOOLS >"$LOG/apt-tools.log" 2>&1
mkdir -p "$ROOT/opt/kvr-check"
cp "$HERE/tests/e2e/entry_flow.py" "$HERE/scripts/fresh_install_driver.py" "$HERE/src/platform/passwords.h" \
    "$ROOT/opt/kvr-check/"
in_root useradd -m -s /bin/bash "$USER_NAME"
install -d -m 1777 "$ROOT/tmp/.X11-unix"  # made at boot on a real system; X servers of users need it
as_user() {
    # A network namespace of its own: the X servers' abstract sockets stay apart from the host's.
    unshare --net chroot "$ROOT" /usr/sbin/runuser -u "$USER_NAME" -- /usr/bin/env -i HOME=/home/$USER_NAME \
        USER=$USER_NAME PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 "$@"
}

# ---------------------------------------------------------------- started from the desktop entry
say "as $USER_NAME: desktop entry, member $MEMBER, examination saved"
as_user python3 /opt/kvr-check/fresh_install_driver.py /opt/kvr-check/passwords.h /tmp/kvr-shots \
    2>&1 | tee "$LOG/driver.log"
grep -q '^PASSED' "$LOG/driver.log" || exit 1
figure "desktop entry to start screen: $(sed -n 's/.*start screen after \([0-9.]* s\).*/\1/p' "$LOG/driver.log")"
cp "$ROOT"/tmp/kvr-shots/*.png "$SHOTS/"

# ---------------------------------------------------------------- removed; the data stay
say "apt remove, dpkg --purge"
in_root apt remove -y kvr-chart-db >"$LOG/apt-remove.log" 2>&1
# The package has no configuration files, so remove leaves nothing for apt purge to find.
in_root dpkg --purge kvr-chart-db >>"$LOG/apt-remove.log" 2>&1
if in_root dpkg-query -W -f='${Status}' kvr-chart-db 2>/dev/null | grep -q ' installed' || [ -e "$ROOT/usr/lib/kvr-chart-db" ] \
    || [ -e "$ROOT/usr/bin/kvr-chart-db" ]; then
    echo "the package is still installed"; exit 1
fi
DB=/home/$USER_NAME/.local/share/KVR-Chart-DB/$MEMBER/KVR-DB-$MEMBER.MDB
[ -f "$ROOT$DB" ] || { echo "the member database is gone: $DB"; exit 1; }
KEY=$(sed -n 's/.*kProgramPassword *= *"\([^"]*\)".*/\1/p' "$HERE/src/platform/passwords.h")
rows=$(printf "PRAGMA key='%s';\nPRAGMA cipher_page_size=4096;\nSELECT count(*) FROM TExamData WHERE PatientID=1;\n" "$KEY" |
    as_user sqlcipher "$DB" | tail -1)
[ "$rows" = 6 ] || { echo "the member database after removal holds $rows rows of patient 1, not 6"; exit 1; }
figure "after purge: $DB is there ($(du -k "$ROOT$DB" | cut -f1) KiB) and opens: the 6 rows of the examination"
ls -lR "$ROOT/home/$USER_NAME/.local/share/KVR-Chart-DB" >"$LOG/data-folder-after-purge.txt"
say "passed; figures in $FIGURES"
