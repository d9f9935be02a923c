#!/bin/bash
# Builds the Debian package from a configured and built build folder and checks what a host
# would get from it: the control data, the maintainer scripts, every file with its owner and
# mode, the systemd unit and the manual pages.
#
#   packaging/test_package.sh BUILD_DIR [TOOL...]
#
# TOOL names the companion programs that this build has (navquery, navreplay, navdisplay);
# each must be in the package, with a manual page made from its --help where the build found
# help2man.
# Exit 0: all checks passed; 1: a check failed; 77: this host cannot build Debian packages.
set -u -o pipefail

build_dir=$(cd "${1:?usage: $0 BUILD_DIR [TOOL...]}" && pwd)
shift
tools=()
for tool in "$@"; do
    [ -n "$tool" ] && tools+=("$tool")  # CMake passes an empty word for a tool it lacks
done

for program in cpack dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$program" >/dev/null; then
        echo "SKIP: $program is missing; install cmake and dpkg-dev"
        exit 77
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
expect_equal() {  # what, expected, actual
    if [ "$2" != "$3" ]; then fail "$1: expected '$2', got '$3'"; fi
}

# --- Build ------------------------------------------------------------------------------------

if ! cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the package"
    exit 1
fi
mapfile -t debs < <(find "$work/out" -maxdepth 1 -name '*.deb')
if [ "${#debs[@]}" -ne 1 ]; then
    echo "FAIL: expected one .deb, found ${#debs[@]}"
    exit 1
fi
deb=${debs[0]}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
arch=$(dpkg --print-architecture)
expect_equal "package file name" "tavrin-server_${version}-1_${arch}.deb" "$(basename "$deb")"

# --- Control data -----------------------------------------------------------------------------

field() { dpkg-deb -f "$deb" "$1"; }
expect_equal "Package" "tavrin-server" "$(field Package)"
expect_equal "Version" "${version}-1" "$(field Version)"
expect_equal "Architecture" "$arch" "$(field Architecture)"
expect_equal "Section" "net" "$(field Section)"
expect_equal "Priority" "optional" "$(field Priority)"
expect_equal "Recommends" "systemd" "$(field Recommends)"
[[ $(field Maintainer) =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer is not 'Name <address>': $(field Maintainer)"
[ -n "$(field Installed-Size)" ] || fail "Installed-Size is missing"
# The programs need the C and C++ run-time libraries; dpkg-shlibdeps must have found both.
depends=$(field Depends)
for library in libc6 libstdc++6; do
    [[ ", $depends" == *", $library "* || ", $depends," == *", $library,"* ]] ||
        fail "Depends lacks $library: $depends"
done

description=$(field Description)
summary=$(head -n 1 <<<"$description")
[ -n "$summary" ] && [ "${#summary}" -le 80 ] || fail "Description summary empty or over 80 characters: $summary"
grep -q "38002" <<<"$description" && grep -q "20289" <<<"$description" && grep -q "8080" <<<"$description" ||
    fail "Description does not name the three ports"
while IFS= read -r line; do
    [ "${#line}" -le 80 ] || fail "Description line over 80 characters: ${line:0:40}..."
done <<<"$description"

# --- Maintainer scripts -----------------------------------------------------------------------

mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
    if [ ! -f "$work/control/$script" ]; then
        fail "control archive lacks $script"
        continue
    fi
    expect_equal "mode of $script" "755" "$(stat -c %a "$work/control/$script")"
    sh -n "$work/control/$script" || fail "$script is not valid sh"
done
[ -f "$work/control/md5sums" ] || fail "control archive lacks md5sums"
# Nothing in the package is configuration: the server reads no files.
[ ! -s "$work/control/conffiles" ] || fail "unexpected conffiles: $(cat "$work/control/conffiles")"

# On a host where systemd is not running (a build host, a container) the scripts must not
# call systemctl at all, and must succeed whatever dpkg passes them.
mkdir "$work/bin"
for program in systemctl deb-systemd-invoke; do
    printf '#!/bin/sh\necho "%s $*" >> "%s/systemctl.calls"\n' "$program" "$work" >"$work/bin/$program"
    chmod +x "$work/bin/$program"
done
if [ ! -d /run/systemd/system ]; then
    for call in "postinst configure" "postinst configure 0.9.0-1" "prerm remove" "prerm upgrade 1.0.0-1" \
        "postrm remove" "postrm upgrade 1.0.0-1"; do
        read -r -a args <<<"$call"
        PATH="$work/bin:$PATH" sh "$work/control/${args[0]}" "${args[@]:1}" || fail "$call exited $?"
    done
    [ ! -e "$work/systemctl.calls" ] || fail "scripts called systemctl without systemd: $(cat "$work/systemctl.calls")"
fi

# --- Files ------------------------------------------------------------------------------------

# Every entry as "mode owner path", directories left out.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort >"$work/files"

expected=(
    "-rwxr-xr-x root/root ./usr/sbin/TavrinServer"
    "-rw-r--r-- root/root ./usr/lib/systemd/system/tavrin-server.service"
    "-rw-r--r-- root/root ./usr/share/man/man8/TavrinServer.8.gz"
    "-rw-r--r-- root/root ./usr/share/doc/tavrin-server/protocol.md"
    "-rw-r--r-- root/root ./usr/share/doc/tavrin-server/operations.md"
    "-rw-r--r-- root/root ./usr/share/doc/tavrin-server/examples/tavrin-firewall.nft"
)
for tool in "${tools[@]}"; do
    expected+=("-rwxr-xr-x root/root ./usr/bin/$tool")
    if grep -q '^TAVRIN_HELP2MAN:FILEPATH=/' "$build_dir/CMakeCache.txt"; then
        expected+=("-rw-r--r-- root/root ./usr/share/man/man1/$tool.1.gz")
    fi
done
printf '%s\n' "${expected[@]}" | sort >"$work/expected"
if ! diff -u "$work/expected" "$work/files" >"$work/files.diff"; then
    fail "package contents differ from the expected list (- expected, + packaged):"
    cat "$work/files.diff"
fi

mkdir "$work/root"
dpkg-deb -x "$deb" "$work/root"
root=$work/root

for program in usr/sbin/TavrinServer "${tools[@]/#/usr/bin/}"; do
    [ -f "$root/$program" ] || continue
    file -b "$root/$program" | grep -q "ELF .* executable\|ELF .* pie executable\|ELF .*shared object" ||
        fail "$program is not an ELF program"
    # Only the package is stripped; symbols stay in the build folder.
    if readelf -S "$root/$program" | grep -q '\.symtab'; then fail "$program is not stripped"; fi
done

# The firewall recipe in operations.md is the file shipped beside it, word for word.
docs=$root/usr/share/doc/tavrin-server
python3 -c 'import sys; sys.exit(open(sys.argv[1]).read() not in open(sys.argv[2]).read())' \
    "$docs/examples/tavrin-firewall.nft" "$docs/operations.md" ||
    fail "operations.md does not show examples/tavrin-firewall.nft as shipped"

# --- The systemd unit -------------------------------------------------------------------------

unit=$root/usr/lib/systemd/system/tavrin-server.service
setting() { sed -n "s/^$1=//p" "$unit"; }
exec_start=$(setting ExecStart)
server_path=${exec_start##* }
expect_equal "program the unit starts" "/usr/sbin/TavrinServer" "$server_path"
for program in $exec_start; do
    case $program in
        /usr/sbin/TavrinServer) [ -x "$root$program" ] || fail "unit starts $program, not in the package" ;;
        /*) [ -x "$program" ] || fail "unit starts $program, missing on this host" ;;
    esac
done
for doc in $(setting Documentation); do
    case $doc in
        file://*) [ -f "$root${doc#file://}" ] || fail "unit documents $doc, not in the package" ;;
        man:*) page=${doc#man:} && name=${page%(*} && section=${page#*(} && section=${section%)} &&
            { [ -f "$root/usr/share/man/man$section/$name.$section.gz" ] || fail "unit documents $doc, not in the package"; } ;;
    esac
done
# The settings the service relies on; a typo would only show when systemd reads the unit.
for wanted in "DynamicUser=yes" "Restart=on-failure" "StandardOutput=journal" "NoNewPrivileges=yes" \
    "ProtectSystem=strict" "ProtectHome=yes" "PrivateTmp=yes" "RestrictAddressFamilies=AF_INET AF_UNIX" \
    "MemoryDenyWriteExecute=yes" "SystemCallFilter=@system-service" "WantedBy=multi-user.target"; do
    grep -qxF "$wanted" "$unit" || fail "unit lacks '$wanted'"
done
if command -v systemd-analyze >/dev/null; then
    # Anything it prints is a complaint; the man page link is checked against the package.
    verify=$(MANPATH="$root/usr/share/man" systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify failed"
    [ -z "$verify" ] || fail "systemd-analyze verify: $verify"
else
    echo "note: systemd-analyze is missing; the unit's syntax was not verified"
fi

# --- Manual pages -----------------------------------------------------------------------------

for page in "$root"/usr/share/man/man*/*.gz; do
    [ -f "$page" ] || continue
    gzip -t "$page" || fail "$page is not a valid gzip file"
    if command -v groff >/dev/null; then
        warnings=$(gzip -dc "$page" | groff -man -ww -z 2>&1)
        [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
    fi
done
gzip -dc "$root/usr/share/man/man8/TavrinServer.8.gz" | grep -q '^\.TH TAVRINSERVER 8 ' ||
    fail "TavrinServer.8 does not declare itself section 8"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed for $(basename "$deb")"
    exit 1
fi
echo "package $(basename "$deb"): all checks passed"
