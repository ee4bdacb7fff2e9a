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

passed=0
failed=0
skipped=0
mounts=()

# The blank in the directory name makes every path the tools see contain one.
W=$(mktemp -d "${TMPDIR:-/tmp}/tst oupbuild.XXXXXX")
# Other users must be able to reach the mounts below it for the permission check.
chmod 0755 "$W"
cleanup() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount "${mounts[i]}" 2>/dev/null
    done
    rm -rf -- "$W"
}
trap cleanup EXIT

pass() {
    passed=$((passed + 1))
    echo "PASS: $1"
}

fail() {
    failed=$((failed + 1))
    echo "FAIL: $1"
    shift
    local detail
    for detail in "$@"; do
        printf '      %s\n' "$detail"
    done
}

skip() {
    skipped=$((skipped + 1))
    echo "SKIP: $1 ($2)"
}

# Fixtures ------------------------------------------------------------------------------------

fixture() {
    "$@" >>"$W/fixtures.log" 2>&1 || {
        echo "cannot prepare the fixtures: $*" >&2
        cat "$W/fixtures.log" >&2
        exit 1
    }
}

mkdir -p "$W/debs" "$W/pre hooks" "$W/post hooks" "$W/out dir"
alpha1=$("$probe" alpha 1.0 "$W/debs")
alpha2=$("$probe" alpha 2.0 "$W/debs")
beta=$("$probe" beta 3.1 "$W/debs" "$host_arch")
gamma=$("$probe" gamma 0.5 "$W/debs")
delta_arm=$("$probe" delta 4.0 "$W/debs" arm64)
delta_amd=$("$probe" delta 4.0 "$W/debs" amd64)
for deb in "$alpha1" "$alpha2" "$beta" "$gamma" "$delta_arm" "$delta_amd"; do
    [[ -f $deb ]] || {
        echo "make-probe-deb did not make $deb" >&2
        exit 1
    }
done

# shellcheck disable=SC2016 # "$1" belongs to the hook script
printf '#!/bin/bash\necho checking "$1"\n' >"$W/pre hooks/10-check.sh"
chmod 0755 "$W/pre hooks/10-check.sh"
printf 'exit 0\n' >"$W/pre hooks/.hidden.sh"
chmod 0644 "$W/pre hooks/.hidden.sh"
printf 'echo first\n' >"$W/post hooks/a-first.sh"
chmod 0644 "$W/post hooks/a-first.sh"
printf 'echo second\n' >"$W/post hooks/B-second.sh"
chmod 0750 "$W/post hooks/B-second.sh"

# A .deb kept private by its owner must still be readable by everyone inside the repository.
chmod 0600 "$beta"
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

# Packages under test. "full" is built from inside the work directory with relative paths, so
# that a builder which changes directory before using its arguments fails to find them, and
# under a umask that would make everything the builder creates unreadable to other users.
(
    umask 077
    cd "$W" &&
        fixture "$build" build --manifest "patch manifest.json" --output "out dir/full.oup" \
            --prehook "pre hooks" --posthook "post hooks" \
            "debs/${alpha2##*/}" "debs/${beta##*/}" --component contrib "debs/${gamma##*/}"
) || exit 1
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/nohooks.oup" --no-hooks "$alpha1"
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/prehook-only.oup" \
    --prehook "$W/pre hooks" "$alpha1"
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/two-archs.oup" \
    "$delta_arm" "$delta_amd" "$alpha1"
"$build" build --manifest "$W/update.json" --output "$W/out dir/empty.oup" >/dev/null 2>"$W/empty.err" ||
    echo "building a package without .deb files failed: $(cat "$W/empty.err")"

# Broken images for "info"; they are not packages the builder would ever make.
mkdir -p "$W/img/no-repo" "$W/img/no-info" "$W/img/text-repo"
for dir in no-repo no-info text-repo; do
    printf '1\n' >"$W/img/$dir/oup-format"
done
cp "$W/update.json" "$W/img/no-repo/info.json"
cp "$W/update.json" "$W/img/text-repo/info.json"
mksquashfs "$W/img/no-repo" "$W/img/ok-repo.sfs" -noappend -quiet -no-progress >/dev/null
cp "$W/img/ok-repo.sfs" "$W/img/no-info/repo.sfs"
cp "$W/notes.txt" "$W/img/text-repo/repo.sfs"
for dir in no-repo no-info text-repo; do
    mksquashfs "$W/img/$dir" "$W/img/$dir.oup" -noappend -all-root -quiet -no-progress >/dev/null
done

# Helpers -------------------------------------------------------------------------------------

# Pulls an inner image out of a package; "-" means the package itself.
image_of() {
    local pkg="$W/out dir/$1.oup" inner=$2
    if [[ $inner == - ]]; then
        printf '%s\n' "$pkg"
        return
    fi
    local copy=$W/inner/$1-$inner
    if [[ ! -f $copy ]]; then
        mkdir -p "$W/inner"
        unsquashfs -cat "$pkg" "$inner" >"$copy" 2>/dev/null || rm -f "$copy"
    fi
    printf '%s\n' "$copy"
}

# "mode owner" of one entry of an image, or nothing when the entry is missing.
entry_attributes() {
    local mode owner path
    while read -r mode owner path; do
        if [[ $path == "$2" ]]; then
            printf '%s %s\n' "$mode" "$owner"
        fi
    done < <(unsquashfs -lln -d '' "$1" 2>/dev/null |
        sed -nE 's#^([^ ]+) +([^ ]+) +[0-9]+ [0-9-]+ [0-9:]+ /(.+)$#\1 \2 \3#p')
}

top_entries() {
    unsquashfs -lln -d '' "$W/out dir/$1.oup" 2>/dev/null |
        sed -nE 's#^.* /([^/]+)$#\1#p' | sort | tr '\n' ' ' | sed 's/ $//'
}

# Tests ---------------------------------------------------------------------------------------

echo "== package root"
# package | the entries its root must hold, sorted
root_rows=(
    "full|hooks.sfs info.json oup-format repo.sfs"
    "nohooks|info.json oup-format repo.sfs"
    "prehook-only|hooks.sfs info.json oup-format repo.sfs"
    "empty|hooks.sfs info.json oup-format repo.sfs"
)
for row in "${root_rows[@]}"; do
    IFS='|' read -r pkg expected <<<"$row"
    actual=$(top_entries "$pkg")
    if [[ $actual == "$expected" ]]; then
        pass "$pkg: root holds exactly $expected"
    else
        fail "$pkg: root holds exactly $expected" "found: ${actual:-nothing}"
    fi
done

if cmp -s "$W/patch manifest.json" <(unsquashfs -cat "$W/out dir/full.oup" info.json 2>/dev/null); then
    pass "full: info.json is the manifest byte for byte"
else
    fail "full: info.json is the manifest byte for byte"
fi

echo "== entries inside the images"
# name | package | inner image (- = the package) | path | mode (regex) | texts the content
# must contain, separated by ";" | texts it must not contain
entry_rows=(
    "oup-format marker|full|-|oup-format|-rw-r--r--|"
    "alpha in pool/main|full|repo.sfs|pool/main/alpha_2.0_all.deb|-rw-r--r--|"
    "beta in pool/main|full|repo.sfs|pool/main/beta_3.1_${host_arch}.deb|-rw-r--r--|"
    "gamma in pool/contrib|full|repo.sfs|pool/contrib/gamma_0.5_all.deb|-rw-r--r--|"
    "main index lists alpha and beta|full|repo.sfs|dists/torak/main/binary-$host_arch/Packages|-rw-r--r--|Package: alpha;Version: 2.0;Package: beta;Version: 3.1;Filename: pool/main/alpha_2.0_all.deb|gamma"
    "contrib index lists gamma|full|repo.sfs|dists/torak/contrib/binary-$host_arch/Packages|-rw-r--r--|Package: gamma;Version: 0.5;Filename: pool/contrib/gamma_0.5_all.deb|alpha"
    "compressed index beside the plain one|full|repo.sfs|dists/torak/main/binary-$host_arch/Packages.gz|-rw-r--r--|"
    "Release names suite, components, architecture|full|repo.sfs|dists/torak/Release|-rw-r--r--|Suite: torak;Codename: torak;Components: contrib main;Architectures: $host_arch"
    "repository root readable by all|full|repo.sfs|pool|drwxr-xr-x|"
    "executable pre-upgrade script keeps name and mode|full|hooks.sfs|prehook/10-check.sh|-rwxr-xr-x|echo checking"
    "hidden pre-upgrade script is kept|full|hooks.sfs|prehook/.hidden.sh|-rw-r--r--|exit 0"
    "post-upgrade scripts keep names and modes|full|hooks.sfs|posthook/B-second.sh|-rwxr-x---|echo second"
    "lower-case post-upgrade script|full|hooks.sfs|posthook/a-first.sh|-rw-r--r--|echo first"
    "absent --posthook gives an empty posthook/|prehook-only|hooks.sfs|posthook|drwxr-xr-x|"
    "only 'all' packages: index for this machine|prehook-only|repo.sfs|dists/torak/main/binary-$host_arch/Packages|-rw-r--r--|Package: alpha;Version: 1.0"
    "'all' package listed for arm64|two-archs|repo.sfs|dists/torak/main/binary-arm64/Packages|-rw-r--r--|Package: alpha;Package: delta;Filename: pool/main/delta_4.0_arm64.deb|delta_4.0_amd64.deb"
    "'all' package listed for amd64|two-archs|repo.sfs|dists/torak/main/binary-amd64/Packages|-rw-r--r--|Package: alpha;Package: delta;Filename: pool/main/delta_4.0_amd64.deb|delta_4.0_arm64.deb"
    "Release of two architectures|two-archs|repo.sfs|dists/torak/Release|-rw-r--r--|Architectures: amd64 arm64"
    "no .deb files: empty pool|empty|repo.sfs|pool|drwxr-xr-x|"
)
for row in "${entry_rows[@]}"; do
    IFS='|' read -r name pkg inner path mode texts forbidden <<<"$row"
    name="$pkg: $name"
    image=$(image_of "$pkg" "$inner")
    attributes=$(entry_attributes "$image" "$path")
    if [[ -z $attributes ]]; then
        fail "$name" "$inner has no $path"
        continue
    fi
    if ! [[ $attributes =~ ^$mode\ 0/0$ ]]; then
        fail "$name" "$path: expected $mode 0/0 (root-owned), found $attributes"
        continue
    fi
    content=
    [[ -z $texts$forbidden ]] || content=$(unsquashfs -cat "$image" "$path" 2>/dev/null)
    missing=
    IFS=';' read -r -a needles <<<"$texts"
    for needle in "${needles[@]}"; do
        [[ $content == *"$needle"* ]] || missing+="'$needle' "
    done
    unwanted=
    IFS=';' read -r -a needles <<<"$forbidden"
    for needle in "${needles[@]}"; do
        [[ $content != *"$needle"* ]] || unwanted+="'$needle' "
    done
    if [[ -n $missing ]]; then
        fail "$name" "$path lacks $missing"
    elif [[ -n $unwanted ]]; then
        fail "$name" "$path holds $unwanted"
    else
        pass "$name"
    fi
done

echo "== ownership and the images' root directories"
for pkg in full nohooks; do
    for inner in - repo.sfs hooks.sfs; do
        [[ $pkg == nohooks && $inner == hooks.sfs ]] && continue
        image=$(image_of "$pkg" "$inner")
        listing=$(unsquashfs -lln -d '' "$image" 2>/dev/null)
        others=$(awk '$2 != "0/0"' <<<"$listing" | head -3)
        if [[ -n $listing && -z $others ]]; then
            pass "$pkg $inner: every entry is owned by root"
        else
            fail "$pkg $inner: every entry is owned by root" "${others:-cannot read $image}"
        fi
        # The root line is the only one without a path after the time.
        root_mode=$(sed -nE 's#^([^ ]+) .* [0-9:]+ $#\1#p' <<<"$listing")
        if [[ $root_mode == drwxr-xr-x ]]; then
            pass "$pkg $inner: root directory readable by every user"
        else
            fail "$pkg $inner: root directory readable by every user" "mode ${root_mode:-unknown}"
        fi
    done
done

echo "== info"
# name | package | extended regex one line of the output must match | how many lines match
info_rows=(
    "manifest shown|full|\"cveId\": \"CVE-2026-0001\"|1"
    "patch package recognised|full|security patch package, CVE id: CVE-2026-0001|1"
    "system update recognised|nohooks|=> system update package|1"
    "alpha with version, arch, component|full|^ +alpha +2\\.0 +all +main\$|1"
    "beta with its architecture|full|^ +beta +3\\.1 +$host_arch +main\$|1"
    "gamma in contrib|full|^ +gamma +0\\.5 +all +contrib\$|1"
    "components|full|Components: contrib main|1"
    "package count|full|Packages \\(3\\)|1"
    "executable pre-upgrade script|full|-rwxr-xr-x +prehook/10-check\\.sh|1"
    "hidden pre-upgrade script|full|prehook/\\.hidden\\.sh|1"
    "first post-upgrade script|full|-rw-r--r-- +posthook/a-first\\.sh|1"
    "second post-upgrade script|full|-rwxr-x--- +posthook/B-second\\.sh|1"
    "size of repo.sfs|full|^  repo\\.sfs +[0-9.]+ [KM]iB|1"
    "size of hooks.sfs|full|^  hooks\\.sfs +[0-9.]+ [KM]iB|1"
    "no hooks image|nohooks|no hooks\\.sfs|1"
    "empty posthook shown as such|prehook-only|posthook/ \\(empty\\)|1"
    "'all' package listed once|two-archs|^ +alpha +1\\.0 +all +main\$|1"
    "one architecture's package|two-archs|^ +delta +4\\.0 +amd64 +main\$|1"
    "other architecture's package|two-archs|^ +delta +4\\.0 +arm64 +main\$|1"
    "empty repository|empty|Packages \\(0\\)|1"
)
declare -A info_output=()
for row in "${info_rows[@]}"; do
    IFS='|' read -r name pkg regex count <<<"$row"
    name="info $pkg: $name"
    if [[ -z ${info_output[$pkg]+set} ]]; then
        info_output[$pkg]=$("$build" info "$W/out dir/$pkg.oup" 2>&1) || info_output[$pkg]="(exit $?) ${info_output[$pkg]}"
    fi
    actual=$(grep -cE -- "$regex" <<<"${info_output[$pkg]}")
    if [[ $actual == "$count" ]]; then
        pass "$name"
    else
        fail "$name" "expected $count line(s) matching /$regex/, found $actual in:" "${info_output[$pkg]}"
    fi
done

echo "== errors"
# name | extended regex stderr must match | arguments (shell words, may use $W and the debs)
error_rows=(
    "missing manifest|manifest '.*nothere\\.json' does not exist|build --manifest \"\$W/nothere.json\" --output \"\$W/bad.oup\" \"\$alpha1\""
    "manifest not JSON|manifest '.*broken\\.json': not valid JSON|build --manifest \"\$W/broken.json\" --output \"\$W/bad.oup\" \"\$alpha1\""
    "manifest not an object|'.*array\\.json': the top level must be a JSON object|build --manifest \"\$W/array.json\" --output \"\$W/bad.oup\" \"\$alpha1\""
    "a file that is not a .deb|'.*notes\\.txt' is not a Debian package|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" \"\$alpha1\" \"\$W/notes.txt\""
    "a .deb that does not exist|'.*missing\\.deb' is not a file|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" \"\$W/missing.deb\""
    "same package twice|alpha 1\\.0 \\(all\\) is already in component main|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" \"\$alpha1\" \"\$alpha1\""
    "no --output|--output|build --manifest \"\$W/update.json\" \"\$alpha1\""
    "no --manifest|--manifest|build --output \"\$W/bad.oup\" \"\$alpha1\""
    "unknown option|unknown option '--frobnicate'|build --frobnicate --manifest \"\$W/update.json\" --output \"\$W/bad.oup\""
    "component name with a blank|bad component name 'a b'|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" --component \"a b\" \"\$alpha1\""
    "component without packages|--component contrib: no \\.deb|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" \"\$alpha1\" --component contrib"
    "component followed by another|--component contrib: no \\.deb|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" --component contrib --component main \"\$alpha1\""
    "--no-hooks with --prehook|--no-hooks cannot be combined|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" --no-hooks --prehook \"\$W/pre hooks\" \"\$alpha1\""
    "missing hook directory|hook directory '.*nowhere' does not exist|build --manifest \"\$W/update.json\" --output \"\$W/bad.oup\" --posthook \"\$W/nowhere\" \"\$alpha1\""
    "output directory missing|directory '.*no such dir' does not exist|build --manifest \"\$W/update.json\" --output \"\$W/no such dir/bad.oup\" \"\$alpha1\""
    "unknown command|unknown command 'pack'|pack \"\$W/bad.oup\""
    "info on a text file|'.*notes\\.txt' is not a squashfs image|info \"\$W/notes.txt\""
    "info on a missing file|'.*gone\\.oup' does not exist|info \"\$W/gone.oup\""
    "info on an image without repo.sfs|no repo\\.sfs|info \"\$W/img/no-repo.oup\""
    "info on an image without info.json|no info\\.json|info \"\$W/img/no-info.oup\""
    "info on an image whose repo.sfs is not an image|repo\\.sfs in '.*' is not a squashfs image|info \"\$W/img/text-repo.oup\""
    "make-probe-deb with a bad name|bad package name 'Not_Valid'|PROBE Not_Valid 1.0 \"\$W/debs\""
)
for row in "${error_rows[@]}"; do
    IFS='|' read -r name regex args <<<"$row"
    eval "set -- $args"
    program=$build
    if [[ $1 == PROBE ]]; then
        program=$probe
        shift
    fi
    rm -f "$W/bad.oup"
    "$program" "$@" >"$W/stdout" 2>"$W/stderr"
    status=$?
    if ((status == 0)); then
        fail "$name" "exit status 0"
    elif ! grep -qE -- "$regex" "$W/stderr"; then
        fail "$name" "stderr does not match /$regex/:" "$(cat "$W/stderr")"
    elif [[ -e $W/bad.oup ]] || compgen -G "$W/.bad.oup.partial*" >/dev/null; then
        fail "$name" "a package file was left behind"
    else
        pass "$name"
    fi
done

if grep -q 'no .deb files given' "$W/empty.err"; then
    pass "a package without .deb files is built with a warning"
else
    fail "a package without .deb files is built with a warning" "stderr: $(cat "$W/empty.err")"
fi
if "$build" --help | grep -q '^Usage:'; then
    pass "--help prints the usage and exits 0"
else
    fail "--help prints the usage and exits 0"
fi

echo "== apt reads the repository"
apt_skip_reason=
if ((EUID != 0)); then
    apt_skip_reason="needs root to mount the images"
elif ! losetup -f >/dev/null 2>&1; then
    apt_skip_reason="no free loop device"
fi
if [[ -n $apt_skip_reason ]]; then
    skip "apt reads the repository of a built package" "$apt_skip_reason"
else
    mkdir -p "$W/mnt/oup" "$W/mnt/repo" "$W/apt/lists/partial" "$W/apt/cache/archives/partial"
    if mount -o ro "$W/out dir/full.oup" "$W/mnt/oup" &&
        mounts+=("$W/mnt/oup") &&
        mount -o ro "$W/mnt/oup/repo.sfs" "$W/mnt/repo" &&
        mounts+=("$W/mnt/repo"); then
        pass "the package and its repo.sfs mount as plain images"
        # The daemon names the components in the order of the directories below pool/.
        components=$(find "$W/mnt/repo/pool" -mindepth 1 -maxdepth 1 -printf '%f ')
        # A source line is split at blanks, so the blank in the work directory is escaped.
        echo "deb [trusted=yes] file://${W// /%20}/mnt/repo/ torak $components" >"$W/apt/sources.list"
        apt_options=(
            -o "Dir::Etc::sourcelist=$W/apt/sources.list" -o Dir::Etc::sourceparts=/dev/null
            -o "Dir::State::lists=$W/apt/lists" -o Dir::State::status=/dev/null
            -o "Dir::Cache=$W/apt/cache" -o APT::Sandbox::User=root
        )
        if apt-get "${apt_options[@]}" update >"$W/apt/update.log" 2>&1 &&
            ! grep -qE '^(E|W):' "$W/apt/update.log"; then
            pass "apt-get update reads the repository without errors or warnings"
        else
            fail "apt-get update reads the repository without errors or warnings" "$(cat "$W/apt/update.log")"
        fi
        # package | version apt must offer | component it comes from
        apt_rows=(
            "alpha|2.0|main"
            "beta|3.1|main"
            "gamma|0.5|contrib"
        )
        for row in "${apt_rows[@]}"; do
            IFS='|' read -r name version component <<<"$row"
            policy=$(apt-cache "${apt_options[@]}" policy "$name" 2>&1)
            if [[ $policy == *"Candidate: $version"* && $policy == *"torak/$component "* ]]; then
                pass "apt offers $name $version from torak/$component"
            else
                fail "apt offers $name $version from torak/$component" "$policy"
            fi
        done
        if ! runuser -u nobody -- test -x "$W" 2>/dev/null; then
            skip "the mounted repository is readable by other users" "user nobody cannot reach $W"
        elif runuser -u nobody -- cat "$W/mnt/repo/dists/torak/Release" >/dev/null 2>&1 &&
            runuser -u nobody -- ls "$W/mnt/repo/pool/main" >/dev/null 2>&1; then
            pass "the mounted repository is readable by other users"
        else
            fail "the mounted repository is readable by other users"
        fi
    else
        fail "the package and its repo.sfs mount as plain images"
    fi
fi

echo "$passed passed, $failed failed, $skipped skipped"
((failed == 0))
