#pragma once

#include <QString>

struct CheckEnvironment;

// Whether a mounted package is what a trusted maker signed. A signed package carries
// "SHA256SUMS" (one "<sha256 hex>  <name>" line for every other file of its root) and
// "SHA256SUMS.sig", a detached OpenPGP signature of that list. gpgv checks the signature
// against the keys in CheckEnvironment::trustDirectory; every file is then hashed and compared,
// so that nothing can be added, left out or altered after signing.
struct PackageSignature
{
    enum State { Unsigned, Verified, Rejected }; // OfflineUpdate::SignatureState on the bus

    State state = Unsigned;
    QString signer; // Verified: "<user id> (<primary key fingerprint>)"
    QString reason; // Rejected: why, for the log and the caller
    // Verified: "<runDirectory>/trusted.gpg", a root-owned keyring of every trusted key, for
    // the private source line's signed-by= (the inner repository is signed with the same key).
    // Empty otherwise.
    QString keyring;

    // |packageRootFd| is the package's root directory (the mounted image). Only reads through
    // it, never follows a link; runs gpgv with a private, throw-away home. Blocks while it
    // hashes: about a second per GiB of package. It vouches for the content as read now: a
    // caller who can still write the image file behind the mount could change it afterwards.
    static PackageSignature verify(const CheckEnvironment &environment, int packageRootFd);
};
