#include "engine/copy/streamhash.h"

#include "engine/recovery/piecehasher.h"

#include <openssl/evp.h>

#include <new>

namespace qfs {

namespace {

constexpr std::size_t crc32Size = 4;
constexpr std::size_t md5Size = 16;
constexpr unsigned bitsPerByte = 8;

void require(int openSslResult)
{
    if (openSslResult != 1)
        throw std::bad_alloc();
}

const EVP_MD* algorithmOf(HashKind kind)
{
    return kind == HashKind::Md5 ? EVP_md5() : EVP_sha256();
}

} // namespace

void StreamHash::ContextDeleter::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

StreamHash::StreamHash(HashKind kind) : m_kind(kind)
{
    if (m_kind == HashKind::Crc32)
        return;
    m_context.reset(EVP_MD_CTX_new());
    if (!m_context)
        throw std::bad_alloc();
    start();
}

StreamHash::~StreamHash() = default;
StreamHash::StreamHash(StreamHash&&) noexcept = default;
StreamHash& StreamHash::operator=(StreamHash&&) noexcept = default;

void StreamHash::start()
{
    if (m_kind == HashKind::Crc32)
        m_crc = 0;
    else
        require(EVP_DigestInit_ex(m_context.get(), algorithmOf(m_kind), nullptr));
}

void StreamHash::update(const void* data, std::size_t size)
{
    if (m_kind == HashKind::Crc32)
        m_crc = crc32Add(m_crc, data, size);
    else
        require(EVP_DigestUpdate(m_context.get(), data, size));
}

StreamHash::Digest StreamHash::finish()
{
    Digest digest{};
    if (m_kind == HashKind::Crc32) {
        for (std::size_t i = 0; i < crc32Size; ++i)
            digest[i] = std::uint8_t(m_crc >> (bitsPerByte * (crc32Size - 1 - i)));
    } else {
        require(EVP_DigestFinal_ex(m_context.get(), digest.data(), nullptr));
    }
    start();
    return digest;
}

std::size_t StreamHash::digestSize(HashKind kind)
{
    switch (kind) {
    case HashKind::Md5: return md5Size;
    case HashKind::Crc32: return crc32Size;
    case HashKind::Sha256: break;
    }
    return Sha256::digestSize;
}

std::optional<StreamHash::Digest> StreamHash::fromHex(std::string_view text, HashKind kind)
{
    const std::size_t size = digestSize(kind);
    if (text.size() != 2 * size)
        return std::nullopt;
    // A shorter digest's digits padded with zeros to the full width, which Sha256 reads,
    // checking every digit.
    std::string padded(text);
    padded.resize(Sha256::hexSize, '0');
    return Sha256::fromHex(padded);
}

} // namespace qfs
