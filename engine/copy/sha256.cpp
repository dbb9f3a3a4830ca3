#include "engine/copy/sha256.h"

#include <openssl/evp.h>

#include <new>

namespace qfs {

namespace {

void require(int openSslResult)
{
    if (openSslResult != 1)
        throw std::bad_alloc();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

void Sha256::ContextDeleter::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    if (!m_context)
        throw std::bad_alloc();
    require(EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr));
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(const void* data, std::size_t size)
{
    require(EVP_DigestUpdate(m_context.get(), data, size));
}

Sha256::Digest Sha256::finish()
{
    Digest digest{};
    require(EVP_DigestFinal_ex(m_context.get(), digest.data(), nullptr));
    require(EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr));
    return digest;
}

Sha256::Digest Sha256::of(std::string_view bytes)
{
    Sha256 hash;
    hash.update(bytes.data(), bytes.size());
    return hash.finish();
}

std::string Sha256::hex(const Digest& digest)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(hexSize);
    for (const std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

std::optional<Sha256::Digest> Sha256::fromHex(std::string_view text)
{
    if (text.size() != hexSize)
        return std::nullopt;
    Digest digest{};
    for (std::size_t i = 0; i < digest.size(); ++i) {
        const int high = hexValue(text[2 * i]);
        const int low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        digest[i] = std::uint8_t(high << 4 | low);
    }
    return digest;
}

} // namespace qfs
