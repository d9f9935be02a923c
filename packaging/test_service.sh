#!/bin/bash
# Boots systemd in a throw-away container (systemd-nspawn on a copy-on-write view of this host,
# with a private network of its own), installs the Debian package there and checks the
# confined service as an operator would meet it: it starts only when enabled, runs without
# privileges, answers on loopback as protocol.md says, logs to the journal as it goes, comes
# back after a crash or a busy port, and goes away with the package.
#
#   packaging/test_service.sh BUILD_DIR
#
# Exit 0: passed; 1: failed; 77: this host cannot run the container (no root, no
# systemd-nspawn, no overlay file system) or the build is sanitized, whose run-time library
# must come first and so cannot run under the unit's stdbuf.
set -u -o pipefail

here=$(dirname "$(realpath "$0")")

if [ -z "${TAVRIN_IN_MOUNTNS:-}" ]; then
    build_dir=$(realpath "${1:?usage: $0 BUILD_DIR}")
    if grep -q '^TAVRIN_SANITIZE:BOOL=ON' "$build_dir/CMakeCache.txt"; then
        echo "SKIP: sanitized build"
        exit 77
    fi
    for program in systemd-nspawn unshare cpack python3; do
        command -v "$program" >/dev/null || { echo "SKIP: $program is missing"; exit 77; }
    done
    if ! unshare --mount true 2>/dev/null || ! grep -qw overlay /proc/filesystems; then
        echo "SKIP: needs root, mount namespaces and overlayfs"
        exit 77
    fi
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    if ! cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
        cat "$work/cpack.log"
        echo "FAIL: cpack could not build the package"
        exit 1
    fi
    # The overlay and the container's mounts vanish with this private mount namespace.
    TAVRIN_IN_MOUNTNS=1 unshare --mount --propagation private "$0" "$work"
    exit $?
fi

work=$1
mkdir -p "$work/layer"
mount -t tmpfs tmpfs "$work/layer"
mkdir "$work/layer/upper" "$work/layer/work" "$work/layer/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/layer/upper,workdir=$work/layer/work" "$work/layer/root"
root=$work/layer/root

cp "$work"/out/*.deb "$root/root/tavrin-server.deb"
cp "$here/service_checks.py" "$root/root/service_checks.py"
# Image builders install a policy that forbids maintainer scripts to start or stop services;
# a log host has none.
rm -f "$root/usr/sbin/policy-rc.d"
rm -f "$root/etc/machine-id"
systemd-id128 new >"$root/etc/machine-id"
cat >"$root/etc/systemd/system/tavrin-service-test.service" <<'EOF'
[Unit]
Description=Checks of the installed navigation data server
After=multi-user.target

[Service]
Type=oneshot
StandardOutput=file:/root/service-test.log
StandardError=inherit
ExecStart=/usr/bin/python3 /root/service_checks.py /root/tavrin-server.deb
ExecStopPost=/usr/bin/systemctl --no-block poweroff
EOF
mkdir -p "$root/etc/systemd/system/multi-user.target.wants"
ln -s /etc/systemd/system/tavrin-service-test.service \
    "$root/etc/systemd/system/multi-user.target.wants/tavrin-service-test.service"

timeout 300 systemd-nspawn --quiet --directory="$root" --boot --private-network \
    --register=no --keep-unit >"$work/boot.log" 2>&1 </dev/null
boot_status=$?

if [ ! -f "$root/root/service-test.log" ]; then
    # The checks run before the package is touched, so a container that never got there says
    # something about this host, not about the package.
    tail -40 "$work/boot.log"
    echo "SKIP: the container never booted far enough to run the checks (systemd-nspawn exited $boot_status)"
    exit 77
fi
cat "$root/root/service-test.log"
if ! tail -n 1 "$root/root/service-test.log" | grep -q '^service: all checks passed$'; then
    exit 1
fi
