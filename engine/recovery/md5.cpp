#include "engine/recovery/md5.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace qfs {

void Md5::ContextDeleter::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

Md5::Md5() : m_context(EVP_MD_CTX_new())
{
    if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr) != 1)
        throw std::runtime_error("MD5 could not be set up");
}

Md5::Md5(const Md5& other) : m_context(EVP_MD_CTX_new())
{
    if (!m_context || EVP_MD_CTX_copy_ex(m_context.get(), other.m_context.get()) != 1)
        throw std::runtime_error("MD5 could not be copied");
}

Md5& Md5::operator=(const Md5& other)
{
    if (this != &other && EVP_MD_CTX_copy_ex(m_context.get(), other.m_context.get()) != 1)
        throw std::runtime_error("MD5 could not be copied");
    return *this;
}

Md5::~Md5() = default;

void Md5::add(const void* data, std::size_t size)
{
    EVP_DigestUpdate(m_context.get(), data, size);
}

Md5Digest Md5::finish()
{
    Md5Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context.get(), digest.data(), &length);
    EVP_DigestInit_ex(m_context.get(), EVP_md5(), nullptr);
    return digest;
}

Md5Digest Md5::of(const void* data, std::size_t size)
{
    Md5 md5;
    md5.add(data, size);
    return md5.finish();
}

} // namespace qfs
