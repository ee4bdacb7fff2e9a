#!/bin/bash
# Tests tevrin-oup-build and make-probe-deb. Usage: tst_oupbuild.sh TOOLS_DIR
#
# Faults this catches:
# - a package whose root lacks one of info.json, oup-format, repo.sfs, hooks.sfs, or holds
#   anything else, or that keeps hooks.sfs despite --no-hooks;
# - a manifest that is not copied byte for byte;
# - .deb files put into the wrong pool component, indexes that miss a package, its version or
#   an architecture ("all" packages must appear under every architecture), or a Release file
#   that names the wrong suite, components or architectures;
# - a repository that apt refuses or reads wrongly (checked by running apt on the mounted image
#   when root may mount it), or whose mounted tree other users cannot read;
# - hook scripts that lose their names, hidden files, modes or content, and files that are not
#   root-owned inside the images;
# - relative paths that break because the builder changes directory, and paths with blanks;
# - "info" printing something other than what was put in, or listing an "all" package once per
#   architecture;
# - bad input that is accepted (exit 0), refused without naming it, or that leaves a partial
#   package behind.
set -uo pipefail

if (($# != 1)); then
    echo "usage: $0 TOOLS_DIR" >&2
    exit 2
fi
tools=$(cd "$1" && pwd)
build=$tools/tevrin-oup-build
probe=$tools/make-probe-deb
host_arch=$(dpkg --print-architecture)
passed=0 failed=0 skipped=0

# The blank in the directory name makes every path the tools see contain one.
W=$(mktemp -d "${TMPDIR:-/tmp}/tst oupbuild.XXXXXX")
# Other users must be able to reach the mounts below it for the permission check.
chmod 0755 "$W"
trap 'umount "$W/mnt/repo" "$W/mnt/oup" 2>/dev/null; rm -rf -- "$W"' EXIT

# expect NAME DETAIL COMMAND...: passes NAME when COMMAND succeeds, else fails it with DETAIL.
expect() {
    local name=$1 detail=$2
    shift 2
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS: $name"
    else
        failed=$((failed + 1))
        printf 'FAIL: %s\n      %s\n' "$name" "$detail"
    fi
}
skip() {
    skipped=$((skipped + 1))
    echo "SKIP: $1 ($2)"
}
fixture() {
    "$@" >>"$W/fixtures.log" 2>&1 || { cat "$W/fixtures.log"; echo "cannot prepare: $*"; exit 1; } >&2
}

# Fixtures ------------------------------------------------------------------------------------

mkdir -p "$W/debs" "$W/pre hooks" "$W/post hooks" "$W/out dir"
for package in "alpha 1.0" "alpha 2.0" "beta 3.1 $host_arch" "gamma 0.5" "delta 4.0 arm64" \
    "delta 4.0 amd64"; do
    read -r name version arch <<<"$package"
    fixture "$probe" "$name" "$version" "$W/debs" ${arch:+"$arch"}
done
alpha1=$W/debs/alpha_1.0_all.deb
# A .deb kept private by its owner must still be readable by everyone inside the repository.
chmod 0600 "$W/debs/beta_3.1_$host_arch.deb"

# shellcheck disable=SC2016 # "$1" belongs to the hook script
printf '#!/bin/bash\necho checking "$1"\n' >"$W/pre hooks/10-check.sh"
printf 'exit 0\n' >"$W/pre hooks/.hidden.sh"
printf 'echo second\n' >"$W/post hooks/B-second.sh"
chmod 0755 "$W/pre hooks/10-check.sh"
chmod 0644 "$W/pre hooks/.hidden.sh"
chmod 0750 "$W/post hooks/B-second.sh"
# As root, the inputs belong to someone else, so that only the builder can make the images'
# content root-owned.
if ((EUID == 0)); then
    chown -R nobody: "$W/pre hooks" "$W/post hooks" "$W/debs"
fi

printf '{"type": 2, "data": {"systemType": "desktop", "cveId": "CVE-2026-0001", "archs": "%s"}}\n' \
    "$host_arch" >"$W/patch manifest.json"
printf '{"type": 1, "data": {"systemType": "desktop", "archs": "%s"}}\n' "$host_arch" \
    >"$W/update.json"
printf '{"type": 1,\n' >"$W/broken.json"
printf '[{"type": 2}]\n' >"$W/array.json"
printf 'just some text\n' >"$W/notes.txt"

# "full" is built from inside the work directory with relative paths, so that a builder which
# changes directory before using its arguments fails to find them, and under a umask that would
# make everything the builder creates unreadable to other users.
(
    umask 077
    cd "$W" &&
        fixture "$build" build --manifest "patch manifest.json" --output "out dir/full.oup" \
            --prehook "pre hooks" --posthook "post hooks" debs/alpha_2.0_all.deb \
            "debs/beta_3.1_$host_arch.deb" --component contrib debs/gamma_0.5_all.deb
) || exit 1
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/nohooks.oup" --no-hooks \
    "$alpha1"
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/two-archs.oup" \
    --prehook "$W/pre hooks" "$W/debs/delta_4.0_arm64.deb" "$W/debs/delta_4.0_amd64.deb" "$alpha1"
"$build" build --manifest "$W/update.json" --output "$W/out dir/empty.oup" >/dev/null \
    2>"$W/empty.err"
expect "a package without .deb files is built with a warning" "stderr: $(cat "$W/empty.err")" \
    grep -q 'no .deb files given' "$W/empty.err"

# A broken image for "info", not a package the builder would ever make.
mkdir -p "$W/img"
cp "$W/update.json" "$W/img/info.json"
cp "$W/notes.txt" "$W/img/repo.sfs"
printf '1\n' >"$W/img/oup-format"
mksquashfs "$W/img" "$W/text-repo.oup" -noappend -all-root -quiet -no-progress >/dev/null

# Pulls an inner image out of a package; "-" means the package itself.
image_of() {
    local copy=$W/inner/$1-$2
    if [[ $2 == - ]]; then
        copy="$W/out dir/$1.oup"
    elif [[ ! -f $copy ]]; then
        mkdir -p "$W/inner"
        unsquashfs -cat "$W/out dir/$1.oup" "$2" >"$copy" 2>/dev/null || rm -f "$copy"
    fi
    printf '%s\n' "$copy"
}

# "mode owner" of one entry of an image ("" for its root directory); nothing when it is missing.
entry_attributes() {
    unsquashfs -lln -d '' "$1" 2>/dev/null |
        awk -v path="/$2" '$6 == path || (path == "/" && NF == 5) { print $1, $2 }'
}

# Tests ---------------------------------------------------------------------------------------

echo "== package root"
# package | the entries its root must hold, sorted
for row in "full|hooks.sfs info.json oup-format repo.sfs" "nohooks|info.json oup-format repo.sfs" \
    "two-archs|hooks.sfs info.json oup-format repo.sfs" "empty|hooks.sfs info.json oup-format repo.sfs"; do
    IFS='|' read -r pkg expected <<<"$row"
    actual=$(unsquashfs -lln -d '' "$W/out dir/$pkg.oup" 2>/dev/null |
        sed -nE 's#^.* /([^/]+)$#\1#p' | sort | xargs)
    expect "$pkg: root holds exactly $expected" "found: ${actual:-nothing}" [ "$actual" == "$expected" ]
done
expect "full: info.json is the manifest byte for byte" "" \
    cmp -s "$W/patch manifest.json" <(unsquashfs -cat "$W/out dir/full.oup" info.json 2>/dev/null)

echo "== entries inside the images, all owned by root"
# name | package | inner image (- = the package) | path ("" = its root) | mode (regex), always
# owned by root | texts the content must contain, separated by ";" | texts it must not contain
entry_rows=(
    "package root readable by every user|full|-||drwxr-xr-x|"
    "repo.sfs root readable by every user|full|repo.sfs||drwxr-xr-x|"
    "hooks.sfs root readable by every user|full|hooks.sfs||drwxr-xr-x|"
    "private .deb readable in pool/main|full|repo.sfs|pool/main/beta_3.1_${host_arch}.deb|-rw-r--r--|"
    "gamma in pool/contrib|full|repo.sfs|pool/contrib/gamma_0.5_all.deb|-rw-r--r--|"
    "Release names suite, components, architecture|full|repo.sfs|dists/torak/Release|-rw-r--r--|Suite: torak;Codename: torak;Components: contrib main;Architectures: $host_arch"
    "executable pre-upgrade script keeps name, mode, content|full|hooks.sfs|prehook/10-check.sh|-rwxr-xr-x|echo checking"
    "hidden pre-upgrade script is kept|full|hooks.sfs|prehook/.hidden.sh|-rw-r--r--|exit 0"
    "post-upgrade script keeps name, mode, content|full|hooks.sfs|posthook/B-second.sh|-rwxr-x---|echo second"
    "only 'all' packages: index for this machine|nohooks|repo.sfs|dists/torak/main/binary-$host_arch/Packages|-rw-r--r--|Package: alpha;Version: 1.0"
    "absent --posthook gives an empty posthook/|two-archs|hooks.sfs|posthook|drwxr-xr-x|"
    "'all' package listed for arm64|two-archs|repo.sfs|dists/torak/main/binary-arm64/Packages|-rw-r--r--|Package: alpha;Package: delta;Filename: pool/main/delta_4.0_arm64.deb|delta_4.0_amd64.deb"
    "'all' package listed for amd64|two-archs|repo.sfs|dists/torak/main/binary-amd64/Packages|-rw-r--r--|Package: alpha;Package: delta;Filename: pool/main/delta_4.0_amd64.deb|delta_4.0_arm64.deb"
    "Release of two architectures|two-archs|repo.sfs|dists/torak/Release|-rw-r--r--|Architectures: amd64 arm64"
)
for row in "${entry_rows[@]}"; do
    IFS='|' read -r name pkg inner path mode texts forbidden <<<"$row"
    image=$(image_of "$pkg" "$inner")
    attributes=$(entry_attributes "$image" "$path")
    content=
    [[ -z $texts$forbidden ]] || content=$(unsquashfs -cat "$image" "$path" 2>/dev/null)
    problems=()
    [[ $attributes =~ ^$mode\ 0/0$ ]] ||
        problems+=("expected $mode 0/0 (root-owned), found ${attributes:-no entry}")
    IFS=';' read -r -a needles <<<"$texts"
    for needle in "${needles[@]}"; do
        [[ $content == *"$needle"* ]] || problems+=("lacks '$needle'")
    done
    IFS=';' read -r -a needles <<<"$forbidden"
    for needle in "${needles[@]}"; do
        [[ $content != *"$needle"* ]] || problems+=("holds '$needle'")
    done
    expect "$pkg: $name" "$inner $path: ${problems[*]}" [ ${#problems[@]} -eq 0 ]
done

echo "== info"
# name | package | extended regex lines of the output must match | how many lines match
info_rows=(
    "manifest shown|full|\"cveId\": \"CVE-2026-0001\"|1"
    "patch package recognised|full|security patch package, CVE id: CVE-2026-0001|1"
    "system update recognised|nohooks|=> system update package|1"
    "alpha with version, arch, component|full|^ +alpha +2\\.0 +all +main\$|1"
    "beta with its architecture|full|^ +beta +3\\.1 +$host_arch +main\$|1"
    "gamma in contrib|full|^ +gamma +0\\.5 +all +contrib\$|1"
    "package count|full|Packages \\(3\\)|1"
    "post-upgrade script|full|-rwxr-x--- +posthook/B-second\\.sh|1"
    "size of repo.sfs|full|^  repo\\.sfs +[0-9.]+ [KM]iB|1"
    "no hooks image|nohooks|no hooks\\.sfs|1"
    "empty posthook shown as such|two-archs|posthook/ \\(empty\\)|1"
    "'all' package listed once|two-archs|^ +alpha +1\\.0 +all +main\$|1"
    "each architecture's package|two-archs|^ +delta +4\\.0 +[a-z]{3}64 +main\$|2"
    "empty repository|empty|Packages \\(0\\)|1"
)
declare -A info_output=()
for pkg in full nohooks two-archs empty; do
    info_output[$pkg]=$("$build" info "$W/out dir/$pkg.oup" 2>&1) ||
        info_output[$pkg]="(exit $?) ${info_output[$pkg]}"
done
for row in "${info_rows[@]}"; do
    IFS='|' read -r name pkg regex count <<<"$row"
    actual=$(grep -cE -- "$regex" <<<"${info_output[$pkg]}")
    expect "info $pkg: $name" "expected $count line(s) matching /$regex/, found $actual in:
${info_output[$pkg]}" [ "$actual" == "$count" ]
done

echo "== errors"
# The commands below read as a person would type them.
tevrin-oup-build() { "$build" "$@"; }
make-probe-deb() { "$probe" "$@"; }
# shellcheck disable=SC2016 # expanded by the eval below
build_ok='tevrin-oup-build build --manifest "$W/update.json" --output "$W/bad.oup"'
# name | extended regex stderr must match | command (shell words, may use $W and $alpha1)
error_rows=(
    "missing manifest|manifest '.*nothere\\.json' does not exist|tevrin-oup-build build --manifest \"\$W/nothere.json\" --output \"\$W/bad.oup\" \"\$alpha1\""
    "manifest not JSON|manifest '.*broken\\.json': not valid JSON|tevrin-oup-build build --manifest \"\$W/broken.json\" --output \"\$W/bad.oup\" \"\$alpha1\""
    "manifest not an object|'.*array\\.json': the top level must be a JSON object|tevrin-oup-build build --manifest \"\$W/array.json\" --output \"\$W/bad.oup\" \"\$alpha1\""
    "a file that is not a .deb|'.*notes\\.txt' is not a Debian package|$build_ok \"\$alpha1\" \"\$W/notes.txt\""
    "a .deb that does not exist|'.*missing\\.deb' is not a file|$build_ok \"\$W/missing.deb\""
    "same package twice|alpha 1\\.0 \\(all\\) is already in component main|$build_ok \"\$alpha1\" \"\$alpha1\""
    "no --output|--output|tevrin-oup-build build --manifest \"\$W/update.json\" \"\$alpha1\""
    "no --manifest|--manifest|tevrin-oup-build build --output \"\$W/bad.oup\" \"\$alpha1\""
    "unknown option|unknown option '--frobnicate'|$build_ok --frobnicate"
    "component name with a blank|bad component name 'a b'|$build_ok --component \"a b\" \"\$alpha1\""
    "component without packages|--component contrib: no \\.deb|$build_ok \"\$alpha1\" --component contrib"
    "component followed by another|--component contrib: no \\.deb|$build_ok --component contrib --component main \"\$alpha1\""
    "--no-hooks with --prehook|--no-hooks cannot be combined|$build_ok --no-hooks --prehook \"\$W/pre hooks\" \"\$alpha1\""
    "missing hook directory|hook directory '.*nowhere' does not exist|$build_ok --posthook \"\$W/nowhere\" \"\$alpha1\""
    "output directory missing|directory '.*no such dir' does not exist|tevrin-oup-build build --manifest \"\$W/update.json\" --output \"\$W/no such dir/bad.oup\" \"\$alpha1\""
    "unknown command|unknown command 'pack'|tevrin-oup-build pack \"\$W/bad.oup\""
    "info on a text file|'.*notes\\.txt' is not a squashfs image|tevrin-oup-build info \"\$W/notes.txt\""
    "info on a missing file|'.*gone\\.oup' does not exist|tevrin-oup-build info \"\$W/gone.oup\""
    "info on an image without info.json|no info\\.json|tevrin-oup-build info \"\$W/inner/full-hooks.sfs\""
    "info on an image whose repo.sfs is not an image|repo\\.sfs in '.*' is not a squashfs image|tevrin-oup-build info \"\$W/text-repo.oup\""
    "make-probe-deb with a bad name|bad package name 'Not_Valid'|make-probe-deb Not_Valid 1.0 \"\$W/debs\""
)
for row in "${error_rows[@]}"; do
    IFS='|' read -r name regex args <<<"$row"
    eval "set -- $args"
    rm -f "$W/bad.oup"
    "$@" >/dev/null 2>"$W/stderr"
    status=$?
    problem=
    if ((status == 0)); then
        problem="exit status 0"
    elif ! grep -qE -- "$regex" "$W/stderr"; then
        problem="stderr does not match /$regex/: $(cat "$W/stderr")"
    elif [[ -e $W/bad.oup ]] || compgen -G "$W/.bad.oup.partial*" >/dev/null; then
        problem="a package file was left behind"
    fi
    expect "$name" "$problem" [ -z "$problem" ]
done

echo "== apt reads the repository"
if ((EUID != 0)); then
    skip "apt reads the repository of a built package" "needs root to mount the images"
elif ! losetup -f >/dev/null 2>&1; then
    skip "apt reads the repository of a built package" "no free loop device"
elif ! mount -o ro --mkdir "$W/out dir/full.oup" "$W/mnt/oup" ||
    ! mount -o ro --mkdir "$W/mnt/oup/repo.sfs" "$W/mnt/repo"; then
    expect "the package and its repo.sfs mount as plain images" "" false
else
    mkdir -p "$W/apt/lists/partial" "$W/apt/cache/archives/partial"
    # The daemon names the components in the order of the directories below pool/; a source
    # line is split at blanks, so the blank in the work directory is escaped.
    echo "deb [trusted=yes] file://${W// /%20}/mnt/repo/ torak" \
        "$(find "$W/mnt/repo/pool" -mindepth 1 -maxdepth 1 -printf '%f ')" >"$W/apt/sources.list"
    apt_options=(
        -o "Dir::Etc::sourcelist=$W/apt/sources.list" -o Dir::Etc::sourceparts=/dev/null
        -o "Dir::State::lists=$W/apt/lists" -o Dir::State::status=/dev/null
        -o "Dir::Cache=$W/apt/cache" -o APT::Sandbox::User=root
    )
    apt-get "${apt_options[@]}" update >"$W/apt/update.log" 2>&1 &&
        ! grep -qE '^(E|W):' "$W/apt/update.log"
    status=$?
    expect "apt-get update reads the repository without errors or warnings" \
        "$(cat "$W/apt/update.log")" [ $status -eq 0 ]
    for row in "alpha 2.0 main" "beta 3.1 main" "gamma 0.5 contrib"; do
        read -r name version component <<<"$row"
        policy=$(apt-cache "${apt_options[@]}" policy "$name" 2>&1)
        expect "apt offers $name $version from torak/$component" "$policy" \
            grep -qzE "Candidate: $version.*torak/$component " <<<"$policy"
    done
    if runuser -u nobody -- test -x "$W" 2>/dev/null; then
        # shellcheck disable=SC2016 # "$1" belongs to the inner shell
        expect "the mounted repository is readable by other users" "" runuser -u nobody -- \
            sh -c 'cat "$1/dists/torak/Release" && ls "$1/pool/main"' - "$W/mnt/repo" >/dev/null
    else
        skip "the mounted repository is readable by other users" "nobody cannot reach $W"
    fi
fi

echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
