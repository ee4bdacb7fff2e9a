# Sourced by the benchmarks that need a large signed package. Needs $work (an empty directory
# of the benchmark's), $source_dir and $build set.
#
# make_signed_package SIZE_MIB: makes a signing key whose public half is trusted in
# $work/trusted/, and $work/package/, the unpacked root of a real signed package from
# tevrin-oup-build whose repo.sfs is SIZE_MIB of random data (hashing does not care what the
# bytes are, and a real repository image of that size would take minutes to build), signed
# again. Sets $fingerprint.
make_signed_package() {
    local size_mib=$1
    mkdir -m 0700 "$work/gnupg"
    mkdir -m 0755 "$work/trusted" "$work/run"
    gpg --passphrase '' --quick-gen-key 'Bench Maker <bench@example.org>' ed25519 sign never
    fingerprint=$(gpg --with-colons --list-secret-keys | awk -F: '$1 == "fpr" { print $10; exit }')
    gpg --export "$fingerprint" >"$work/trusted/bench.gpg"
    chmod 0644 "$work/trusted/bench.gpg"

    local deb
    deb=$("$source_dir/tools/make-probe-deb" bench-probe 1.0 "$work" | tail -n 1)
    printf '{"type": 1, "data": {"systemType": "desktop", "archs": "amd64"}}\n' >"$work/info.json"
    TEVRIN_BINARY_DIR=$build "$source_dir/tools/tevrin-oup-build" build \
        --manifest "$work/info.json" --output "$work/small.oup" --sign-key "$fingerprint" \
        --gpg-homedir "$work/gnupg" "$deb" >/dev/null
    unsquashfs -q -n -d "$work/package" "$work/small.oup" >/dev/null
    head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/package/repo.sfs"
    (cd "$work/package" && sha256sum -- hooks.sfs info.json oup-format repo.sfs >SHA256SUMS)
    gpg --yes --local-user "$fingerprint" --detach-sign -o "$work/package/SHA256SUMS.sig" \
        "$work/package/SHA256SUMS"
}

gpg() { command gpg --homedir "$work/gnupg" --batch --quiet "$@" 2>/dev/null; }
