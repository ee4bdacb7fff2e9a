#!/bin/bash
# Tests tevrin-oup-build, the package builder users run. Usage: tst_oupbuild.sh TOOLS_DIR
#
# Faults this catches:
# - a package root holding more or less than info.json, oup-format, repo.sfs and hooks.sfs
#   (none with --no-hooks), or a manifest not copied byte for byte;
# - image entries not owned by root, or a repository other users cannot read (a private .deb,
#   a umask of 077); an "all" package missing from one architecture's index;
# - relative paths that break because the builder changes directory, and paths with blanks;
# - "info" printing something other than what was put in, or an "all" package once per
#   architecture;
# - "info" calling an altered or unsigned package verified, or a signed one not verified;
# - bad input or a malformed package accepted with exit 0, refused without a message naming it,
#   or leaving a partial package behind;
# - a build that depends on anything but its inputs and SOURCE_DATE_EPOCH (directory, umask,
#   argument order, the time), or one that ignores a changed input; a build without
#   SOURCE_DATE_EPOCH that differs from a rebuild at its own recorded date;
# - "info" calling packages of different content the same, or a signed rebuild different;
# - "info --json" that does not parse or misses a package.
# Whether apt can use the repository is left to the daemon's upgrade test.
set -uo pipefail

tools=$(cd "$1" && pwd) || exit 2
build=$tools/tevrin-oup-build
host_arch=$(dpkg --print-architecture)
passed=0 failed=0
# The blank in the directory name makes every path the builder sees contain one.
W=$(mktemp -d "${TMPDIR:-/tmp}/tst oupbuild.XXXXXX")
trap 'gpgconf --homedir "$W/gnupg" --kill gpg-agent 2>/dev/null; rm -rf -- "$W"' EXIT

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

mkdir -p "$W/debs" "$W/pre hooks" "$W/post hooks" "$W/out dir"
for package in "alpha 1.0" "beta 3.1 $host_arch" "gamma 0.5" "delta 4.0 arm64" "delta 4.0 amd64"; do
    read -r name version arch <<<"$package"
    fixture "$tools/make-probe-deb" "$name" "$version" "$W/debs" ${arch:+"$arch"}
done
alpha=$W/debs/alpha_1.0_all.deb
# A .deb kept private by its owner must still be readable by everyone inside the repository.
chmod 0600 "$W/debs/beta_3.1_$host_arch.deb"
printf '#!/bin/bash\necho checking\n' >"$W/pre hooks/10-check.sh"
printf 'exit 0\n' >"$W/pre hooks/.hidden.sh"
printf 'echo second\n' >"$W/post hooks/B-second.sh"
chmod 0755 "$W/pre hooks/10-check.sh" && chmod 0644 "$W/pre hooks/.hidden.sh" && chmod 0750 "$W/post hooks/B-second.sh"
# As root, the inputs belong to someone else, so that only the builder can make the images'
# content root-owned.
((EUID != 0)) || chown -R nobody: "$W/pre hooks" "$W/post hooks" "$W/debs"
printf '{"type": 2, "data": {"systemType": "desktop", "cveId": "CVE-2026-0001", "archs": "%s"}}\n' "$host_arch" >"$W/patch manifest.json"
printf '{"type": 1, "data": {"systemType": "desktop", "archs": "%s"}}\n' "$host_arch" >"$W/update.json"
printf '{"type": 1,\n' >"$W/broken.json"
printf 'just some text\n' >"$W/notes.txt"

# "full" is built from inside the work directory with relative paths, so that a builder which
# changes directory before using its arguments fails to find them, and under a umask that would
# make everything the builder creates unreadable to other users.
(umask 077 && cd "$W" && fixture "$build" build --manifest "patch manifest.json" --output "out dir/full.oup" \
    --prehook "pre hooks" --posthook "post hooks" debs/alpha_1.0_all.deb "debs/beta_3.1_$host_arch.deb" \
    --component contrib debs/gamma_0.5_all.deb) || exit 1
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/two-archs.oup" --no-hooks \
    "$W/debs/delta_4.0_arm64.deb" "$W/debs/delta_4.0_amd64.deb" "$alpha"
fixture unsquashfs -d "$W/full" "$W/out dir/full.oup"
fixture unsquashfs -d "$W/two" "$W/out dir/two-archs.oup"
# Malformed packages: each lacks a part, or holds a text file where an image belongs.
for row in "no-manifest info.json" "no-repo repo.sfs" "text-repo repo.sfs text"; do
    read -r name part text <<<"$row"
    rm -rf "$W/img" && cp -r "$W/full" "$W/img" && rm "$W/img/$part"
    [[ -z $text ]] || cp "$W/notes.txt" "$W/img/$part"
    fixture mksquashfs "$W/img" "$W/$name.oup" -noappend -all-root -quiet -no-progress
done

echo "== package contents"
for row in "full|hooks.sfs info.json oup-format repo.sfs" "two-archs|info.json oup-format repo.sfs"; do
    IFS='|' read -r pkg expected <<<"$row"
    actual=$(unsquashfs -lln -d '' "$W/out dir/$pkg.oup" 2>/dev/null | sed -nE 's#^.* /([^/]+)$#\1#p' | sort | xargs)
    check "$pkg: root holds exactly $expected" "found: ${actual:-nothing}" [ "$actual" == "$expected" ]
done
check "full: info.json is the manifest byte for byte" "" cmp -s "$W/patch manifest.json" "$W/full/info.json"
for image in "out dir/full.oup" full/repo.sfs full/hooks.sfs; do
    listing=$(unsquashfs -lln -d '' "$W/$image" 2>/dev/null)
    # shellcheck disable=SC2016 # the fields belong to awk
    check "$image: every entry owned by root" "$listing" awk '$2 != "0/0" { bad = 1 } END { exit bad || NR == 0 }' <<<"$listing"
    # Hook scripts keep their own modes; everything else must be readable by other users.
    # shellcheck disable=SC2016 # the fields belong to awk
    [[ $image == *hooks.sfs ]] || check "$image: every entry readable by other users" "$listing" \
        awk '$1 !~ /^.......r/ { bad = 1 } END { exit bad || NR == 0 }' <<<"$listing"
done
index=$(unsquashfs -cat "$W/two/repo.sfs" dists/torak/main/binary-arm64/Packages 2>&1)
check "two-archs: the 'all' package is in the arm64 index" "$index" grep -q '^Package: alpha$' <<<"$index"

echo "== info"
# name; package; extended regex lines of the output must match; how many lines match
info_rows=(
    "patch package recognised;full;security patch package, CVE id: CVE-2026-0001;1"
    "system update recognised;two-archs;=> system update package;1"
    "components;full;^ +Components: contrib main\$;1"
    "beta with its architecture;full;^ +beta +3\\.1 +$host_arch +main\$;1"
    "gamma in contrib;full;^ +gamma +0\\.5 +all +contrib\$;1"
    "hook scripts with names and modes;full;^ +(-rwxr-xr-x +prehook/10-check|-rw-r--r-- +prehook/\\.hidden|-rwxr-x--- +posthook/B-second)\\.sh ;3"
    "architectures;two-archs;^ +Architectures: amd64 arm64\$;1"
    "'all' package listed once;two-archs;^ +alpha +1\\.0 +all +main\$;1"
    "each architecture's package;two-archs;^ +delta +4\\.0 +(amd|arm)64 +main\$;2"
)
for row in "${info_rows[@]}"; do
    IFS=';' read -r name pkg regex count <<<"$row"
    output=$("$build" info "$W/out dir/$pkg.oup" 2>&1) || output="(exit $?) $output"
    actual=$(grep -cE -- "$regex" <<<"$output")
    check "info $pkg: $name" "expected $count line(s) matching /$regex/, found $actual in:
$output" [ "$actual" == "$count" ]
done

echo "== signing"
mkdir -m 0700 "$W/gnupg"
fixture gpg --homedir "$W/gnupg" --batch --passphrase '' --quick-gen-key 'Package Maker <maker@example.org>' ed25519 sign never
fpr=$(gpg --homedir "$W/gnupg" --with-colons --list-secret-keys 2>/dev/null | awk -F: '$1 == "fpr" { print $10; exit }')
gpg --homedir "$W/gnupg" --export "$fpr" >"$W/maker.gpg"
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/signed.oup" \
    --sign-key "$fpr" --gpg-homedir "$W/gnupg" "$alpha"
# The daemon's signature tests check that the daemon and apt accept what is signed here; this
# checks the builder's own verification in "info".
fixture unsquashfs -d "$W/signed" "$W/out dir/signed.oup"
printf '{"type": 2}\n' >"$W/signed/info.json"
fixture mksquashfs "$W/signed" "$W/out dir/altered.oup" -noappend -all-root -quiet -no-progress
# name | package | exit status of info | extended regex a line of its output must match
signature_rows=(
    "signer named|signed|0|^  Signed by: Package Maker <maker@example\.org> \($fpr\)\$"
    "signed package verified|signed|0|^  => verified\$"
    "altered package not verified|altered|1|^  => NOT verified"
    "unsigned package said so|full|0|^  none: the package is not signed\$"
)
info_matches() { ((status == expected)) && grep -qE -- "$regex" <<<"$output"; }
for row in "${signature_rows[@]}"; do
    IFS='|' read -r name pkg expected regex <<<"$row"
    output=$("$build" info "$W/out dir/$pkg.oup" --keyring "$W/maker.gpg" 2>&1)
    status=$?
    check "info $pkg: $name" "exit status $status (expected $expected), no line matching /$regex/ in:
$output" info_matches
done

echo "== reproducible builds"
# Every build here is of the same inputs, copied to a second directory whose files are older,
# unless the row changes one. Same inputs must give the same bytes.
cp -a "$W/debs" "$W/debs2" && cp -a "$W/pre hooks" "$W/pre2" && cp "$W/patch manifest.json" "$W/manifest2.json"
touch -d '2001-02-03 04:05:06' "$W"/debs2/* "$W/pre2" "$W"/pre2/* "$W/manifest2.json"
printf '{"type": 2, "data": {"systemType": "desktop", "cveId": "CVE-2026-0002", "archs": "%s"}}\n' "$host_arch" >"$W/other.json"
printf '#!/bin/bash\necho checking!\n' >"$W/pre2/changed.sh"
fixture "$tools/make-probe-deb" alpha 1.1 "$W/debs3"
export SOURCE_DATE_EPOCH=1700000000
repro() { # output manifest prehook-dir debs...
    local out=$1 manifest=$2 pre=$3
    shift 3
    "$build" build --manifest "$manifest" --output "$W/out dir/$out.oup" --prehook "$pre" "$@" >/dev/null 2>&1
}
fixture repro ref "$W/patch manifest.json" "$W/pre hooks" "$alpha" "$W/debs/beta_3.1_$host_arch.deb" --component contrib "$W/debs/gamma_0.5_all.deb"
ref_sum=$(sha256sum <"$W/out dir/ref.oup")
# name | same or differs | builder arguments after the output name (eval'd)
repro_rows=(
    "other directory, older files, umask 077|same|(umask 077 && repro copy \"\$W/manifest2.json\" \"\$W/pre2\" \"\$W/debs2/alpha_1.0_all.deb\" \"\$W/debs2/beta_3.1_$host_arch.deb\" --component contrib \"\$W/debs2/gamma_0.5_all.deb\")"
    "arguments in another order|same|repro order \"\$W/patch manifest.json\" \"\$W/pre hooks\" --component contrib \"\$W/debs/gamma_0.5_all.deb\" --component main \"\$W/debs/beta_3.1_$host_arch.deb\" \"\$alpha\""
    "another SOURCE_DATE_EPOCH|differs|SOURCE_DATE_EPOCH=1700000001 repro epoch \"\$W/patch manifest.json\" \"\$W/pre hooks\" \"\$alpha\" \"\$W/debs/beta_3.1_$host_arch.deb\" --component contrib \"\$W/debs/gamma_0.5_all.deb\""
    "another manifest|differs|repro manifest \"\$W/other.json\" \"\$W/pre hooks\" \"\$alpha\" \"\$W/debs/beta_3.1_$host_arch.deb\" --component contrib \"\$W/debs/gamma_0.5_all.deb\""
    "another .deb|differs|repro deb \"\$W/patch manifest.json\" \"\$W/pre hooks\" \"\$W/debs3/alpha_1.1_all.deb\" \"\$W/debs/beta_3.1_$host_arch.deb\" --component contrib \"\$W/debs/gamma_0.5_all.deb\""
    "another component|differs|repro component \"\$W/patch manifest.json\" \"\$W/pre hooks\" \"\$alpha\" \"\$W/debs/beta_3.1_$host_arch.deb\" \"\$W/debs/gamma_0.5_all.deb\""
    "another hook script|differs|repro hook \"\$W/patch manifest.json\" \"\$W/pre2\" \"\$alpha\" \"\$W/debs/beta_3.1_$host_arch.deb\" --component contrib \"\$W/debs/gamma_0.5_all.deb\""
)
rm "$W/pre2/changed.sh"
repro_sum() { # row command
    rm -f "$W/out dir/$2.oup"
    eval "$3" || return 1
    sha256sum <"$W/out dir/$2.oup"
}
for row in "${repro_rows[@]}"; do
    IFS='|' read -r name expected command <<<"$row"
    out=${command#*repro }
    out=${out%% *}
    [[ $name != "another hook script" ]] || printf '#!/bin/bash\necho checking!\n' >"$W/pre2/changed.sh"
    sum=$(repro_sum "$name" "$out" "$command") || sum="(build failed)"
    if [[ $expected == same ]]; then
        check "$name: same SHA-256" "reference $ref_sum, this build $sum" [ "$sum" == "$ref_sum" ]
    else
        check "$name: SHA-256 changes" "both $sum" [ "$sum" != "$ref_sum" -a "$sum" != "(build failed)" ]
    fi
done
rm -f "$W/pre2/changed.sh"

# Without SOURCE_DATE_EPOCH the one date recorded is the build's: rebuilt at that date, the
# package is the same.
unset SOURCE_DATE_EPOCH
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/now.oup" --no-hooks "$alpha"
recorded=$(unsquashfs -s "$W/out dir/now.oup" 2>/dev/null | sed -n 's/^Creation or last append time //p')
SOURCE_DATE_EPOCH=$(date -d "$recorded" +%s) fixture "$build" build --manifest "$W/update.json" \
    --output "$W/out dir/again.oup" --no-hooks "$alpha"
check "no SOURCE_DATE_EPOCH: a rebuild at the recorded date is the same" "recorded: $recorded" \
    cmp -s "$W/out dir/now.oup" "$W/out dir/again.oup"

echo "== content"
# A signed build of the same inputs holds the same content; one changed input does not.
SOURCE_DATE_EPOCH=1700000000 fixture "$build" build --manifest "$W/update.json" \
    --output "$W/out dir/signed-again.oup" --sign-key "$fpr" --gpg-homedir "$W/gnupg" "$alpha"
fixture "$build" build --manifest "$W/update.json" --output "$W/out dir/unsigned.oup" "$alpha"
# "info" fails on a package that does not verify, and still prints its report.
content() { { "$build" info --json "$W/out dir/$1.oup" 2>/dev/null || true; } | python3 -c 'import json, sys; print(json.load(sys.stdin)["content"])'; }
# name | package | package | same or differs
content_rows=(
    "signed builds at different dates|signed|signed-again|same"
    "signed and unsigned builds|signed|unsigned|same"
    "a build altered after signing|signed|altered|differs"
    "other inputs|full|now|differs"
)
for row in "${content_rows[@]}"; do
    IFS='|' read -r name one other expected <<<"$row"
    second=
    first=$(content "$one") && second=$(content "$other") || first="(info failed)"
    if [[ $expected == same ]]; then
        check "content: $name the same" "$first vs $second" [ "$first" == "$second" -a -n "$first" ]
    else
        check "content: $name differs" "both $first" [ "$first" != "$second" -a "$first" != "(info failed)" ]
    fi
done

echo "== info --json"
json_names() {
    { "$build" info --json "$W/out dir/$1.oup" --keyring "$W/maker.gpg" 2>/dev/null || true; } | python3 -c '
import json, sys
report = json.load(sys.stdin)
print(report["manifest"]["reading"]["upgradeType"], report["signature"]["state"],
      " ".join(sorted("%s/%s/%s" % (p["name"], p["architecture"], p["size"] > 0) for p in report["packages"])),
      " ".join(h["path"] for h in (report["hooks"] or {}).get("prehook", [])))'
}
# package | upgrade type, signature state, every package as name/arch/has-size, prehook scripts
json_rows=(
    "full|2 unsigned alpha/all/True beta/$host_arch/True gamma/all/True prehook/.hidden.sh prehook/10-check.sh"
    "two-archs|1 unsigned alpha/all/True delta/amd64/True delta/arm64/True "
    "signed|1 verified alpha/all/True "
    "altered|2 not-verified alpha/all/True "
)
for row in "${json_rows[@]}"; do
    IFS='|' read -r pkg expected <<<"$row"
    actual=$(json_names "$pkg") || actual="(no JSON)"
    check "info --json $pkg: parses and names every package" "expected '$expected', got '$actual'" [ "$actual" == "$expected" ]
done

echo "== errors"
# name | exit status | extended regex stderr must match | command, B for a build otherwise fine
error_rows=(
    "missing manifest|1|manifest '.*nothere\\.json' does not exist|$build build --manifest \$W/nothere.json --output \$W/bad.oup \$alpha"
    "manifest not JSON|1|manifest '.*broken\\.json': not valid JSON|$build build --manifest \$W/broken.json --output \$W/bad.oup \$alpha"
    "a file that is not a .deb|1|'.*notes\\.txt' is not a Debian package|B \$alpha \$W/notes.txt"
    "same package twice|1|alpha 1\\.0 \\(all\\) is already in component main|B \$alpha \$alpha"
    "output directory missing|1|directory '.*no such dir' does not exist|$build build --manifest \$W/update.json --output \$W/no\\ such\\ dir/bad.oup \$alpha"
    "unknown signing key|1|no secret key 'nobody@example\\.org'|B --sign-key nobody@example.org --gpg-homedir \$W/gnupg \$alpha"
    "SOURCE_DATE_EPOCH not a number|1|SOURCE_DATE_EPOCH 'yesterday' is not a number|env SOURCE_DATE_EPOCH=yesterday $build build --manifest \$W/update.json --output \$W/bad.oup \$alpha"
    "manifest checker not a program|1|TEVRIN_OUP_MANIFESTCHECK='.*notes\\.txt' is not an executable file|env TEVRIN_OUP_MANIFESTCHECK=\$W/notes.txt $build build --manifest \$W/update.json --output \$W/bad.oup \$alpha"
    "info on a text file|1|'.*notes\\.txt' is not a squashfs image|$build info \$W/notes.txt"
    "info on a package without a manifest|1|'.*no-manifest\\.oup' has no info\\.json|$build info \$W/no-manifest.oup"
    "info on a package without a repository image|1|'.*no-repo\\.oup' has no repo\\.sfs|$build info \$W/no-repo.oup"
    "info on a package whose repository is not an image|1|repo\\.sfs in '.*text-repo\\.oup' is not a squashfs image|$build info \$W/text-repo.oup"
)
B() { "$build" build --manifest "$W/update.json" --output "$W/bad.oup" "$@"; }
for row in "${error_rows[@]}"; do
    IFS='|' read -r name expected regex command <<<"$row"
    rm -f "$W/bad.oup"
    # The tools' paths hold no blanks; those in names below the work directory are escaped.
    command=${command//\$W/\"\$W\"}
    eval "set -- ${command//\$alpha/\"\$alpha\"}"
    "$@" >/dev/null 2>"$W/stderr"
    status=$?
    problem=
    if ((status != expected)); then
        problem="exit status $status, not $expected: $(cat "$W/stderr")"
    elif ! grep -qE -- "$regex" "$W/stderr"; then
        problem="stderr does not match /$regex/: $(cat "$W/stderr")"
    elif [[ -e $W/bad.oup ]] || compgen -G "$W/.bad.oup.partial*" >/dev/null; then
        problem="a package file was left behind"
    fi
    check "$name" "$problem" [ -z "$problem" ]
done

echo "$passed passed, $failed failed"
((failed == 0))
