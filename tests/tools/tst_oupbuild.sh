#!/bin/bash
# Tests tevrin-oup-build and make-probe-deb. Usage: tst_oupbuild.sh TOOLS_DIR
#
# Faults this catches:
# - a package whose root lacks one of info.json, oup-format, repo.sfs, hooks.sfs, or holds
#   anything else, or that keeps hooks.sfs despite --no-hooks; a manifest not copied byte for
#   byte;
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

tools=$(cd "$1" && pwd) || exit 2
build=$tools/tevrin-oup-build
host_arch=$(dpkg --print-architecture)
passed=0 failed=0 skipped=0
# The blank in the directory name makes every path the tools see contain one. Other users must
# reach the mounts below it.
W=$(mktemp -d "${TMPDIR:-/tmp}/tst oupbuild.XXXXXX")
chmod 0755 "$W"
trap 'umount "$W/mnt/repo" "$W/mnt/oup" 2>/dev/null; rm -rf -- "$W"' EXIT

# check NAME DETAIL COMMAND...: passes NAME when COMMAND succeeds, else fails it with DETAIL.
check() {
    local name=$1 detail=$2
    shift 2
    if "$@"; then
        passed=$((passed + 1)) && echo "PASS: $name"
    else
        failed=$((failed + 1)) && printf 'FAIL: %s\n      %s\n' "$name" "$detail"
    fi
}
fixture() {
    "$@" >>"$W/fixtures.log" 2>&1 || { cat "$W/fixtures.log"; echo "cannot prepare: $*"; exit 1; } >&2
}

mkdir -p "$W/debs" "$W/pre hooks" "$W/post hooks" "$W/out dir" "$W/img"
for package in "alpha 1.0" "alpha 2.0" "beta 3.1 $host_arch" "gamma 0.5" "delta 4.0 arm64" "delta 4.0 amd64"; do
    read -r name version arch <<<"$package"
    fixture "$tools/make-probe-deb" "$name" "$version" "$W/debs" ${arch:+"$arch"}
done
alpha1=$W/debs/alpha_1.0_all.deb
# A .deb kept private by its owner must still be readable by everyone inside the repository.
chmod 0600 "$W/debs/beta_3.1_$host_arch.deb"
# shellcheck disable=SC2016 # "$1" belongs to the hook script
printf '#!/bin/bash\necho checking "$1"\n' >"$W/pre hooks/10-check.sh"
printf 'exit 0\n' >"$W/pre hooks/.hidden.sh"
printf 'echo second\n' >"$W/post hooks/B-second.sh"
chmod 0755 "$W/pre hooks/10-check.sh" && chmod 0644 "$W/pre hooks/.hidden.sh" && chmod 0750 "$W/post hooks/B-second.sh"
# As root, the inputs belong to someone else, so that only the builder can make the images'
# content root-owned.
((EUID != 0)) || chown -R nobody: "$W/pre hooks" "$W/post hooks" "$W/debs"
printf '{"type": 2, "data": {"systemType": "desktop", "cveId": "CVE-2026-0001", "archs": "%s"}}\n' "$host_arch" >"$W/patch manifest.json"
printf '{"type": 1, "data": {"systemType": "desktop", "archs": "%s"}}\n' "$host_arch" >"$W/update.json"
printf '{"type": 1,\n' >"$W/broken.json"
printf '[{"type": 2}]\n' >"$W/array.json"
printf 'just some text\n' >"$W/notes.txt"

# "full" is built from inside the work directory with relative paths, so that a builder which
# changes directory before using its arguments fails to find them, and under a umask that would
# make everything the builder creates unreadable to other users.
(umask 077 && cd "$W" && fixture "$build" build --manifest "patch manifest.json" --output "out dir/full.oup" \
    --prehook "pre hooks" --posthook "post hooks" debs/alpha_2.0_all.deb "debs/beta_3.1_$host_arch.deb" \
    --component contrib debs/gamma_0.5_all.deb) || exit 1
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/nohooks.oup" --no-hooks "$alpha1"
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/two-archs.oup" --prehook "$W/pre hooks" \
    "$W/debs/delta_4.0_arm64.deb" "$W/debs/delta_4.0_amd64.deb" "$alpha1"
"$build" build --manifest "$W/update.json" --output "$W/out dir/empty.oup" >/dev/null 2>"$W/empty.err"
check "a package without .deb files is built with a warning" "$(cat "$W/empty.err")" grep -q 'no .deb files given' "$W/empty.err"
# A broken image for "info", not a package the builder would ever make.
cp "$W/update.json" "$W/img/info.json" && cp "$W/notes.txt" "$W/img/repo.sfs" && printf '1\n' >"$W/img/oup-format"
mksquashfs "$W/img" "$W/text-repo.oup" -noappend -all-root -quiet -no-progress >/dev/null

echo "== package root"
for row in "full|hooks.sfs info.json oup-format repo.sfs" "nohooks|info.json oup-format repo.sfs" \
    "empty|hooks.sfs info.json oup-format repo.sfs"; do
    IFS='|' read -r pkg expected <<<"$row"
    actual=$(unsquashfs -lln -d '' "$W/out dir/$pkg.oup" 2>/dev/null | sed -nE 's#^.* /([^/]+)$#\1#p' | sort | xargs)
    check "$pkg: root holds exactly $expected" "found: ${actual:-nothing}" [ "$actual" == "$expected" ]
done
check "full: info.json is the manifest byte for byte" "" \
    cmp -s "$W/patch manifest.json" <(unsquashfs -cat "$W/out dir/full.oup" info.json 2>/dev/null)

echo "== entries inside the images, all owned by root"
# name | package | inner image (- = the package) | path ("" = its root) | mode (regex) | texts the
# content must contain, separated by ";" | texts it must not contain
entry_rows=(
    "package root readable by every user|full|-||drwxr-xr-x|"
    "private .deb readable in pool/main|full|repo.sfs|pool/main/beta_3.1_${host_arch}.deb|-rw-r--r--|"
    "gamma in pool/contrib|full|repo.sfs|pool/contrib/gamma_0.5_all.deb|-rw-r--r--|"
    "Release names suite, components, architecture|full|repo.sfs|dists/torak/Release|-rw-r--r--|Suite: torak;Codename: torak;Components: contrib main;Architectures: $host_arch"
    "executable pre-upgrade script keeps name, mode, content|full|hooks.sfs|prehook/10-check.sh|-rwxr-xr-x|echo checking"
    "hidden pre-upgrade script is kept|full|hooks.sfs|prehook/.hidden.sh|-rw-r--r--|exit 0"
    "post-upgrade script keeps name, mode, content|full|hooks.sfs|posthook/B-second.sh|-rwxr-x---|echo second"
    "only 'all' packages: index for this machine|nohooks|repo.sfs|dists/torak/main/binary-$host_arch/Packages|-rw-r--r--|Package: alpha;Version: 1.0"
    "absent --posthook gives an empty posthook/|two-archs|hooks.sfs|posthook|drwxr-xr-x|"
    "'all' package listed for arm64|two-archs|repo.sfs|dists/torak/main/binary-arm64/Packages|-rw-r--r--|Package: alpha;Filename: pool/main/delta_4.0_arm64.deb|delta_4.0_amd64.deb"
    "'all' package listed for amd64|two-archs|repo.sfs|dists/torak/main/binary-amd64/Packages|-rw-r--r--|Package: alpha;Filename: pool/main/delta_4.0_amd64.deb|delta_4.0_arm64.deb"
    "Release of two architectures|two-archs|repo.sfs|dists/torak/Release|-rw-r--r--|Architectures: amd64 arm64"
)
mkdir -p "$W/inner"
for row in "${entry_rows[@]}"; do
    IFS='|' read -r name pkg inner path mode texts forbidden <<<"$row"
    image="$W/out dir/$pkg.oup"
    if [[ $inner != - ]]; then
        [[ -f $W/inner/$pkg-$inner ]] || unsquashfs -cat "$image" "$inner" >"$W/inner/$pkg-$inner" 2>/dev/null
        image=$W/inner/$pkg-$inner
    fi
    attributes=$(unsquashfs -lln -d '' "$image" 2>/dev/null | awk -v p="/$path" '$6 == p || (p == "/" && NF == 5) { print $1, $2 }')
    content=$(unsquashfs -cat "$image" "$path" 2>/dev/null)
    problems=()
    [[ $attributes =~ ^$mode\ 0/0$ ]] || problems+=("expected $mode 0/0 (root-owned), found ${attributes:-no entry}")
    IFS=';' read -r -a needles <<<"$texts"
    for needle in "${needles[@]}"; do [[ $content == *"$needle"* ]] || problems+=("lacks '$needle'"); done
    [[ -z $forbidden || $content != *"$forbidden"* ]] || problems+=("holds '$forbidden'")
    check "$pkg: $name" "$inner $path: ${problems[*]}" [ ${#problems[@]} -eq 0 ]
done

echo "== info"
# name | package | extended regex lines of the output must match | how many lines match
info_rows=(
    "patch package recognised|full|security patch package, CVE id: CVE-2026-0001|1"
    "system update recognised|nohooks|=> system update package|1"
    "beta with its architecture|full|^ +beta +3\\.1 +$host_arch +main\$|1"
    "gamma in contrib|full|^ +gamma +0\\.5 +all +contrib\$|1"
    "package count|full|Packages \\(3\\)|1"
    "post-upgrade script|full|-rwxr-x--- +posthook/B-second\\.sh|1"
    "no hooks image|nohooks|no hooks\\.sfs|1"
    "'all' package listed once|two-archs|^ +alpha +1\\.0 +all +main\$|1"
    "each architecture's package|two-archs|^ +delta +4\\.0 +[a-z]{3}64 +main\$|2"
    "empty repository|empty|Packages \\(0\\)|1"
)
for row in "${info_rows[@]}"; do
    IFS='|' read -r name pkg regex count <<<"$row"
    output=$("$build" info "$W/out dir/$pkg.oup" 2>&1) || output="(exit $?) $output"
    actual=$(grep -cE -- "$regex" <<<"$output")
    check "info $pkg: $name" "expected $count line(s) matching /$regex/, found $actual in:
$output" [ "$actual" == "$count" ]
done

echo "== errors"
# name | extended regex stderr must match | command, with B for a build that is otherwise fine
error_rows=(
    "missing manifest|manifest '.*nothere\\.json' does not exist|$build build --manifest \$W/nothere.json --output \$W/bad.oup \$alpha1"
    "manifest not JSON|manifest '.*broken\\.json': not valid JSON|$build build --manifest \$W/broken.json --output \$W/bad.oup \$alpha1"
    "manifest not an object|'.*array\\.json': the top level must be a JSON object|$build build --manifest \$W/array.json --output \$W/bad.oup \$alpha1"
    "a file that is not a .deb|'.*notes\\.txt' is not a Debian package|B \$alpha1 \$W/notes.txt"
    "a .deb that does not exist|'.*missing\\.deb' is not a file|B \$W/missing.deb"
    "same package twice|alpha 1\\.0 \\(all\\) is already in component main|B \$alpha1 \$alpha1"
    "unknown option|unknown option '--frobnicate'|B --frobnicate"
    "component name with a blank|bad component name 'a b'|B --component 'a b' \$alpha1"
    "component without packages|--component contrib: no \\.deb|B --component contrib --component main \$alpha1"
    "--no-hooks with --prehook|--no-hooks cannot be combined|B --no-hooks --prehook \$W/pre\\ hooks \$alpha1"
    "output directory missing|directory '.*no such dir' does not exist|$build build --manifest \$W/update.json --output \$W/no\\ such\\ dir/bad.oup \$alpha1"
    "unknown command|unknown command 'pack'|$build pack \$W/bad.oup"
    "info on a text file|'.*notes\\.txt' is not a squashfs image|$build info \$W/notes.txt"
    "info on an image without info.json|no info\\.json|$build info \$W/inner/full-hooks.sfs"
    "info on an image whose repo.sfs is not an image|repo\\.sfs in '.*' is not a squashfs image|$build info \$W/text-repo.oup"
    "make-probe-deb with a bad name|bad package name 'Not_Valid'|$tools/make-probe-deb Not_Valid 1.0 \$W/debs"
)
B() { "$build" build --manifest "$W/update.json" --output "$W/bad.oup" "$@"; }
for row in "${error_rows[@]}"; do
    IFS='|' read -r name regex command <<<"$row"
    rm -f "$W/bad.oup"
    # The tools' paths hold no blanks; those in names below the work directory are escaped.
    command=${command//\$W/\"\$W\"}
    eval "set -- ${command//\$alpha1/\"\$alpha1\"}"
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
    check "$name" "$problem" [ -z "$problem" ]
done

echo "== apt reads the repository"
if ((EUID != 0)) || ! losetup -f >/dev/null 2>&1; then
    skipped=$((skipped + 1)) && echo "SKIP: apt reads the repository (needs root and a free loop device)"
elif ! mount -o ro --mkdir "$W/out dir/full.oup" "$W/mnt/oup" || ! mount -o ro --mkdir "$W/mnt/oup/repo.sfs" "$W/mnt/repo"; then
    check "the package and its repo.sfs mount as plain images" "" false
else
    mkdir -p "$W/apt/lists/partial" "$W/apt/cache/archives/partial"
    # The daemon names the components in the order of the directories below pool/; a source
    # line is split at blanks, so the blank in the work directory is escaped.
    echo "deb [trusted=yes] file://${W// /%20}/mnt/repo/ torak $(find "$W/mnt/repo/pool" -mindepth 1 -maxdepth 1 -printf '%f ')" >"$W/apt/sources.list"
    apt_options=(-o "Dir::Etc::sourcelist=$W/apt/sources.list" -o Dir::Etc::sourceparts=/dev/null -o "Dir::State::lists=$W/apt/lists"
        -o Dir::State::status=/dev/null -o "Dir::Cache=$W/apt/cache" -o APT::Sandbox::User=root)
    apt-get "${apt_options[@]}" update >"$W/apt/update.log" 2>&1 && ! grep -qE '^(E|W):' "$W/apt/update.log"
    status=$?
    check "apt-get update reads the repository without errors or warnings" "$(cat "$W/apt/update.log")" [ $status -eq 0 ]
    for row in "alpha 2.0 main" "beta 3.1 main" "gamma 0.5 contrib"; do
        read -r name version component <<<"$row"
        policy=$(apt-cache "${apt_options[@]}" policy "$name" 2>&1)
        check "apt offers $name $version from torak/$component" "$policy" grep -qzE "Candidate: $version.*torak/$component " <<<"$policy"
    done
    # shellcheck disable=SC2016 # "$1" belongs to the inner shell
    check "the mounted repository is readable by other users" "" \
        runuser -u nobody -- sh -c 'cat "$1/dists/torak/Release" && ls "$1/pool/main"' - "$W/mnt/repo" >/dev/null
fi

echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
