#pragma once

#include <QByteArray>
#include <cstddef>

struct gcry_md_handle;

// SHA-256 through the signature checker's own library: a multi-gigabyte package must cost no
// more to hash than sha256sum takes, and Qt's own SHA-256 takes twice that. Safe to use in a
// child forked from the daemon.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    bool isValid() const { return m_hash != nullptr; }
    void add(const char *data, size_t size);
    // The digest of everything added, as 32 raw bytes; ends the hashing.
    QByteArray digest();

    // One streamed pass over |fd| from its current offset to its end.
    static bool ofFile(int fd, QByteArray *hexDigest);

private:
    gcry_md_handle *m_hash = nullptr;
};
