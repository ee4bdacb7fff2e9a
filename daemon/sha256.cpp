#include "sha256.h"

#include <cerrno>
#include <fcntl.h>
#include <gcrypt.h>
#include <memory>
#include <unistd.h>

namespace {

constexpr size_t BlockSize = 1024 * 1024;

void initialize()
{
    static const bool initialized = [] {
        gcry_check_version(nullptr);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0); // nothing secret is hashed here
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    Q_UNUSED(initialized)
}

} // namespace

Sha256::Sha256()
{
    initialize();
    gcry_md_hd_t hash = nullptr;
    if (gcry_md_open(&hash, GCRY_MD_SHA256, 0) == 0)
        m_hash = hash;
}

Sha256::~Sha256()
{
    if (m_hash)
        gcry_md_close(m_hash);
}

void Sha256::add(const char *data, size_t size)
{
    if (m_hash)
        gcry_md_write(m_hash, data, size);
}

QByteArray Sha256::digest()
{
    if (!m_hash)
        return {};
    const auto *bytes = reinterpret_cast<const char *>(gcry_md_read(m_hash, GCRY_MD_SHA256));
    return QByteArray(bytes, int(gcry_md_get_algo_dlen(GCRY_MD_SHA256)));
}

bool Sha256::ofFile(int fd, QByteArray *hexDigest)
{
    Sha256 hash;
    if (!hash.isValid())
        return false;
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    const std::unique_ptr<char[]> block(new char[BlockSize]);
    for (;;) {
        const ssize_t got = read(fd, block.get(), BlockSize);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        hash.add(block.get(), size_t(got));
    }
    *hexDigest = hash.digest().toHex();
    return true;
}
