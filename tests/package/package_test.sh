#!/usr/bin/env bash
# The Debian packages as an administrator gets them: made by cpack from the build folder, unpacked
# into a scratch root, and checked there. Each program answers --version with the project's version,
# the menu entry and the manual pages pass their validators, the service unit passes systemd's
# verification with an exposure rated "OK" or better, the shipped configuration file starts the
# installed server, the packages' dependencies were found in the binaries, and the bash completion
# offers table names.
#   package_test.sh BUILD_DIR CPACK VERSION DESKTOP
# DESKTOP is 1 when the build makes the desktop tool (and its package), 0 otherwise.
set -euo pipefail
build=$1
cpack=$2
version=$3
desktop=$4

work=$(mktemp -d)
server=
cleanup() {
    [ -z "$server" ] || kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! "$cpack" -G DEB -B "$work/debs" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    exit 1
fi

programs=(mobcfg-cli mobcfg-server)
[ "$desktop" = 1 ] && programs+=(mobcfg)
for p in "${programs[@]}"; do
    deb=$(echo "$work/debs/${p}_${version}-"*.deb)
    if [ ! -f "$deb" ]; then
        fail "no package $p among: $(ls "$work/debs")"
        continue
    fi
    dpkg-deb -x "$deb" "$root"
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *libc6* && $depends == *libqt6core6* ]] || fail "$p depends on: $depends"
    out=$(QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" --version) || fail "$p --version exited with $?"
    [ "$out" = "$p $version" ] || fail "$p --version said: $out"
    page=$root/usr/share/man/man1/$p.1.gz
    if [ -f "$page" ]; then
        zcat "$page" | mandoc -T lint -W warning || fail "manual page of $p"
        zcat "$page" | grep -q "mobcfg $version" || fail "manual page of $p does not carry version $version"
    else
        fail "no manual page for $p"
    fi
done
dpkg-deb -f "$work/debs/mobcfg-server_${version}-"*.deb Depends | grep -q adduser || fail "mobcfg-server does not depend on adduser"
dpkg-deb --ctrl-tarfile "$work/debs/mobcfg-server_${version}-"*.deb | tar -xO ./conffiles | grep -qx /etc/mobcfg/mobcfg-server.conf ||
    fail "the server's configuration file is no conffile"

if [ "$desktop" = 1 ]; then
    entry=$root/usr/share/applications/mobcfg.desktop
    desktop-file-validate "$entry" || fail "desktop entry"
    grep -q '^Name\[ru\]=' "$entry" || fail "no Russian name"
    grep -q '^Comment\[ru\]=' "$entry" || fail "no Russian comment"
    for size in 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256 scalable; do
        ls "$root/usr/share/icons/hicolor/$size/apps/mobcfg."* >/dev/null 2>&1 || fail "no $size icon"
    done
fi

# The shipped configuration, with the paths of this test, starts the installed server.
conf=$root/etc/mobcfg/mobcfg-server.conf
[ "$(stat -c %a "$conf")" = 640 ] || fail "the configuration file is readable by others"
"$root/usr/bin/mobcfg-server" --config "$conf" --port 0 --db "$work/server.db" --files "$work/files" \
    2>"$work/server.log" &
server=$!
for _ in $(seq 1 200); do
    grep -q "listening on" "$work/server.log" && break
    sleep 0.05
done
grep -q "listening on 127.0.0.1:" "$work/server.log" || fail "the shipped configuration: $(cat "$work/server.log")"
kill -TERM "$server"
wait "$server" || fail "the server stopped with $?"
server=

unit=$root/lib/systemd/system/mobcfg-server.service
grep -q "^ExecStart=/usr/bin/mobcfg-server --config /etc/mobcfg/mobcfg-server.conf$" "$unit" || fail "unit: $(grep ExecStart "$unit")"
if command -v systemd-analyze >/dev/null; then
    # Verified against this machine's systemd, with the program where the scratch root holds it.
    mkdir "$work/unit"
    sed "s|/usr/bin/mobcfg-server|$root/usr/bin/mobcfg-server|" "$unit" >"$work/unit/mobcfg-server.service"
    systemd-analyze verify --man=no "$work/unit/mobcfg-server.service" || fail "systemd-analyze verify"
    rating=$(systemd-analyze security --offline=true --root="$root" /lib/systemd/system/mobcfg-server.service | tail -1)
    echo "$rating"
    [[ $rating =~ (OK|SAFE|PERFECT) ]] || fail "exposure: $rating"
else
    echo "systemd-analyze is missing: the unit is not verified"
fi

completions=$(bash -c 'source "$1"; COMP_WORDS=(mobcfg-cli --user u --password p dump gp); COMP_CWORD=6; _mobcfg_cli; echo "${COMPREPLY[*]}"' \
    _ "$root/usr/share/bash-completion/completions/mobcfg-cli")
[ "$completions" = "gps gpeople gpsug gpsshab" ] || fail "completion of \"dump gp\": $completions"

[ "$failures" -eq 0 ] || exit 1
echo "packages checked: ${programs[*]}"
